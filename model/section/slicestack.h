#pragma once

#include "model/mesh/meshmodel.h"
#include "model/section/sectionlines.h"

#include <vector>

// Evenly spaced raw cuts along one axis: no keep ratio, no smoothing or
// chaining, so every slice shows the scan as it is.
struct SliceStackRequest {
    Axis axis = Axis::Z;
    float bandThickness = 0.0f;  // mm, 0 = exact cut
    int count = 10;              // slices, numbered 1..count
};

// Slice number i (1..count) sits at lo + i * (hi - lo) / (count + 1) between
// the model's bounds on the axis, in single precision; the ends of the part
// are never cut. Element i - 1 is slice i.
std::vector<float> sliceStackPositions(const MeshModel& model, const SliceStackRequest& request);

// The raw cut at position in section coordinates of the request's axis.
SectionLines sliceStackSection(MeshModel& model, const SliceStackRequest& request, float position);
