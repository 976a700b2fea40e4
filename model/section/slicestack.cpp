#include "model/section/slicestack.h"

#include <algorithm>

std::vector<float> sliceStackPositions(const MeshModel& model, const SliceStackRequest& request)
{
    std::vector<float> positions;
    if (!model.hasMesh() || request.count < 1)
        return positions;
    const float lo = model.boundsMin()[request.axis], hi = model.boundsMax()[request.axis];
    positions.reserve(std::size_t(request.count));
    for (int i = 1; i <= request.count; ++i)
        positions.push_back(lo + float(i) * (hi - lo) / float(request.count + 1));
    return positions;
}

SectionLines sliceStackSection(MeshModel& model, const SliceStackRequest& request, float position)
{
    return toSectionLines(model.sliceAxis(request.axis, position, request.bandThickness), request.axis);
}
