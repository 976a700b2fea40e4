#pragma once

#include "model/mesh/meshmodel.h"

#include <QString>
#include <QTextStream>

#include <vector>

// The 2D drawing's files. Both use QTextStream's default real formatting
// (six significant digits); SVG y is the negated drawing y so +y points up.

struct DrawingExportContext {
    std::vector<MeshModel::DrawingEdge2D> edges;
    float minX = 0.0f;
    float maxY = 0.0f;
    float width = 1.0f;  // at least 1
    float height = 1.0f; // at least 1
    float margin = 0.05f;
};

// Extent of the edges with the width, height and margin rules applied.
DrawingExportContext makeDrawingExportContext(std::vector<MeshModel::DrawingEdge2D> edges);

// Layer of an edge class: SILHOUETTE, CONTOUR, FEATURE (feature and
// boundary), HIDDEN; unknown classes go to CONTOUR.
QString drawingDxfLayer(int type);

void writeDrawingDxf(QTextStream& stream, const DrawingExportContext& context);
void writeDrawingSvg(QTextStream& stream, const DrawingExportContext& context);

// True when a path ends in ".dxf" (any case): the drawing goes out as DXF,
// anything else as SVG.
bool isDrawingDxfPath(const QString& path);
// The file's text for that path, so the window and halvoran-cli write the
// same bytes.
void writeDrawingForPath(QTextStream& stream, const DrawingExportContext& context, const QString& path);

// Writes the file as writeDrawingForPath does. False when the file cannot be
// opened.
bool writeDrawingFile(const DrawingExportContext& context, const QString& path);
