#include "model/section/slicestack.h"

#include <algorithm>

std::vector<float> sliceStackPositions(const MeshModel& model, const SliceStackRequest& request)
{
    std::vector<float> positions;
    if (!model.hasMesh() || request.count < 1)
        return positions;
    const int axis = std::clamp(request.axis, 0, 2);
    const float lo = model.boundsMin()[axis], hi = model.boundsMax()[axis];
    positions.reserve(std::size_t(request.count));
    for (int i = 1; i <= request.count; ++i)
        positions.push_back(lo + float(i) * (hi - lo) / float(request.count + 1));
    return positions;
}

SectionLines sliceStackSection(MeshModel& model, const SliceStackRequest& request, float position)
{
    const int axis = std::clamp(request.axis, 0, 2);
    return toSectionLines(model.sliceAxis(axis, position, request.bandThickness), axis);
}
