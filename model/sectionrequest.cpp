#include "model/sectionrequest.h"

#include "model/sectionpostprocess.h"

#include <algorithm>

SectionLines computeSectionLines(MeshModel& model, const SectionRequest& request)
{
    SectionPostProcessSettings settings;
    settings.keepRatio = request.keepRatio;
    settings.smoothStrength = request.smoothStrength;
    settings.bandThickness = request.bandThickness;
    settings.smoothAndChain = request.smoothAndChain;
    if (request.surface) {
        const auto raw = model.slicePlane(request.normal, request.origin, request.bandThickness);
        return raw.empty() ? SectionLines() : postProcessSection(raw, request.origin, request.u, request.v, settings);
    }
    const int axis = std::clamp(request.axis, 0, 2);
    const auto raw = model.sliceAxis(axis, request.position, request.bandThickness);
    return raw.empty() ? SectionLines() : postProcessSection(raw, axis, settings);
}
