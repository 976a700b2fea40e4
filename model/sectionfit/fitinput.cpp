#include "model/sectionfit/fitinput.h"

#include "model/section/sectionpostprocess.h"

#include <algorithm>

QList<QList<QPointF>> exactSectionChains(MeshModel& model, const SectionRequest& request, const SliceCutter* cutter)
{
    std::vector<MeshModel::SliceSegment3D> raw;
    SectionLines lines;
    if (request.surface) {
        raw = model.slicePlane(request.normal, request.origin, 0.0f);
        lines = toSectionLines(raw, request.origin, request.u, request.v);
    } else {
        raw = model.sliceAxis(request.axis, request.position, 0.0f, cutter);
        lines = toSectionLines(raw, request.axis);
    }
    lines = sanitizeSectionLines(lines);
    if (lines.isEmpty())
        return {};
    // Single-precision cut points: a micrometre-scale weld joins repeats of
    // one point and nothing else.
    const double weld = std::max(1e-4, 1e-6 * sectionStatistics(lines).extent);
    return chainSegmentsToPolylines(lines, weld);
}
