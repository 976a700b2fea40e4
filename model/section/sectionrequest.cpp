#include "model/section/sectionrequest.h"

#include "model/section/sectionpostprocess.h"

#include <algorithm>
#include <cmath>

namespace {

bool near(float a, float b)
{
    return std::fabs(a - b) <= 1e-6f;
}

bool near(const QVector3D& a, const QVector3D& b)
{
    return near(a.x(), b.x()) && near(a.y(), b.y()) && near(a.z(), b.z());
}

} // namespace

SectionCacheKey sectionCacheKey(const SectionRequest& r, std::uint64_t geometryRevision)
{
    SectionCacheKey key;
    key.surface = r.surface;
    key.band = r.bandThickness;
    key.keep = r.keepRatio;
    key.revision = geometryRevision;
    if (r.surface) {
        key.normal = r.normal;
        key.origin = r.origin;
        key.u = r.u;
        key.v = r.v;
    } else {
        key.axis = axisIndex(r.axis);
        key.position = r.position;
    }
    return key;
}

bool sectionCacheKeyMatches(const SectionCacheKey& k, const SectionRequest& r, std::uint64_t geometryRevision)
{
    if (k.revision != geometryRevision || k.surface != r.surface || !near(k.band, r.bandThickness)
        || !near(k.keep, r.keepRatio))
        return false;
    if (r.surface)
        return near(k.normal, r.normal) && near(k.origin, r.origin) && near(k.u, r.u) && near(k.v, r.v);
    return k.axis == axisIndex(r.axis) && near(k.position, r.position);
}

SectionLines computeSectionLines(MeshModel& model, const SectionRequest& request, const SliceCutter* cutter)
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
    const auto raw = model.sliceAxis(request.axis, request.position, request.bandThickness, cutter);
    return raw.empty() ? SectionLines() : postProcessSection(raw, request.axis, settings);
}
