#pragma once

#include "model/common/progress.h"
#include "export/dxfwriter.h"
#include "model/section/slicestack.h"

#include <QTextStream>

#include <functional>

// The progress callback is called before slice i (1..count) with i - 1
// slices done; false stops.

// One ENTITIES section with every slice's lines as LINEs on "SLICE_<i>". A
// slice that misses the mesh writes nothing, so its layer does not appear.
// False when progress stopped it (the caller discards the file). lineCount,
// when given, receives the number of LINEs written.
bool writeSliceStackDxf(QTextStream& stream, MeshModel& model, const SliceStackRequest& request,
                        const ItemProgress& progress = {}, qsizetype* lineCount = nullptr);
