#include "model/wireframe/wireframerequest.h"

#include "model/wireframe/lattice.h"

WireSegments wireframeSegments(MeshModel& model, const WireframeRequest& request, const SliceCutter* cutter,
                               Progress* progress)
{
    if (!model.hasMesh())
        return {};
    const Vec3f lo = model.boundsMin(), hi = model.boundsMax();
    if (request.lattice) {
        LatticeSegments lattice = computeLatticeSegments(model, cutter, progress);
        if (lattice.empty())
            return {};
        LatticeLanes lanes;
        buildLatticeLanes(lattice, lanes, lo, hi);
        std::vector<std::uint32_t> map;
        return selectLatticeForDisplay(lattice, lanes, lo, hi, request.complexity, map);
    }
    LongFeatureDisplay display = selectLongFeaturesForDisplay(buildLongFeatureSegments(model, request.edgeAngle),
                                                              boxDiagonal(model), request.complexity, request.cleanup);
    if (request.keepTop >= 1)
        keepFirstLongFeatures(display, std::size_t(request.keepTop));
    return std::move(display.segments);
}
