#include "model/sectionfit/fitinput.h"

#include "model/section/sectionpostprocess.h"

#include <algorithm>

QList<QList<QPointF>> exactSectionChains(MeshModel& model, const SectionRequest& request)
{
    std::vector<MeshModel::SliceSegment3D> raw;
    SectionLines lines;
    if (request.surface) {
        raw = model.slicePlane(request.normal, request.origin, 0.0f);
        lines = toSectionLines(raw, request.origin, request.u, request.v);
    } else {
        const int axis = std::clamp(request.axis, 0, 2);
        raw = model.sliceAxis(axis, request.position, 0.0f);
        lines = toSectionLines(raw, axis);
    }
    lines = sanitizeSectionLines(lines);
    if (lines.isEmpty())
        return {};
    // Single-precision cut points: a micrometre-scale weld joins repeats of
    // one point and nothing else.
    const double weld = std::max(1e-4, 1e-6 * sectionStatistics(lines).extent);
    return chainSegmentsToPolylines(lines, weld);
}
