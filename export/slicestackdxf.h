#pragma once

#include "export/dxfwriter.h"
#include "model/section/slicestack.h"

#include <QTextStream>

#include <functional>

// Called before slice i (1..count) with i - 1 slices done; false stops.
using SliceStackProgress = std::function<bool(int done)>;

// One ENTITIES section with every slice's lines as LINEs on "SLICE_<i>". A
// slice that misses the mesh writes nothing, so its layer does not appear.
// False when progress stopped it (the caller discards the file). lineCount,
// when given, receives the number of LINEs written.
bool writeSliceStackDxf(QTextStream& stream, MeshModel& model, const SliceStackRequest& request,
                        const SliceStackProgress& progress = {}, qsizetype* lineCount = nullptr);
