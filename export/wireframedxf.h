#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshmodel.h"

#include <QString>
#include <QTextStream>

#include <functional>
#include <vector>

// Layers of the two wireframe kinds.
inline const QString kWireLatticeLayer = QStringLiteral("WIRE_LATTICE");
inline const QString kWireFeatureLayer = QStringLiteral("WIRE_FEATURE");

// The progress callback is called before segments 0, 256, 512, ... with the
// segment counter; when it returns false the writer stops and returns false,
// and the caller drops the file.

// ENTITIES only (no header or tables): one 3D LINE per segment on layer, then
// ENDSEC and EOF. Returns false when progress asked to stop.
bool writeWireframeDxf(QTextStream& stream, const std::vector<MeshModel::SliceSegment3D>& segments,
                       const QString& layer, const ItemProgress& progress = {});
