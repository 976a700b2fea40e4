// Self-intersections: overlapping closed shells are merged into the surface
// of their union; anything else is cut out and refilled locally, where CGAL
// can. The report says how many intersecting face pairs were found and how
// many remain.
#include "tools/meshfix/steps.h"

#include <CGAL/Polygon_mesh_processing/border.h>
#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Polygon_mesh_processing/corefinement.h>
#include <CGAL/Polygon_mesh_processing/repair_self_intersections.h>
#include <CGAL/Polygon_mesh_processing/self_intersections.h>

#include <CGAL/Polygon_mesh_processing/bbox.h>

#include <algorithm>
#include <exception>
#include <sstream>
#include <thread>
#include <utility>

namespace PMP = CGAL::Polygon_mesh_processing;

namespace repairprogram {

namespace {

using Face = SurfaceMesh::Face_index;
using FacePair = std::pair<Face, Face>;

// The search on two threads: faces are split at the median along the
// mesh's longest side, a face straddling the cut going to both halves. Two
// faces that intersect share a point, and both lie in the half that point
// lies in, so every pair is found; pairs found twice are merged.
std::vector<FacePair> intersectingPairs(const SurfaceMesh& mesh)
{
    const auto search = [&mesh](const std::vector<Face>& faces) {
        std::vector<FacePair> pairs;
        PMP::self_intersections<CGAL::Sequential_tag>(faces, mesh, std::back_inserter(pairs));
        return pairs;
    };
    std::vector<Face> all(mesh.faces().begin(), mesh.faces().end());
    if (all.size() < 200000)
        return search(all);
    const CGAL::Bbox_3 box = CGAL::Polygon_mesh_processing::bbox(mesh);
    int axis = 0;
    for (int i = 1; i < 3; ++i)
        if (box.max(i) - box.min(i) > box.max(axis) - box.min(axis))
            axis = i;
    std::vector<std::pair<double, double>> extent(all.size());
    std::vector<double> centres(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        double lo = 1e300, hi = -1e300;
        for (auto v : CGAL::vertices_around_face(mesh.halfedge(all[i]), mesh)) {
            const double c = mesh.point(v)[axis];
            lo = std::min(lo, c);
            hi = std::max(hi, c);
        }
        extent[i] = {lo, hi};
        centres[i] = 0.5 * (lo + hi);
    }
    std::nth_element(centres.begin(), centres.begin() + std::ptrdiff_t(centres.size() / 2), centres.end());
    const double cut = centres[centres.size() / 2];
    std::vector<Face> low, high;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (extent[i].first <= cut)
            low.push_back(all[i]);
        if (extent[i].second >= cut)
            high.push_back(all[i]);
    }
    std::vector<FacePair> lowPairs;
    std::exception_ptr failure;
    std::thread worker([&]() {
        try {
            lowPairs = search(low);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    std::vector<FacePair> pairs;
    try {
        pairs = search(high);
    } catch (...) {
        worker.join();
        throw;
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    pairs.insert(pairs.end(), lowPairs.begin(), lowPairs.end());
    for (FacePair& p : pairs)
        if (p.second < p.first)
            std::swap(p.first, p.second);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
    return pairs;
}

// Every face of every pair lies on a closed component.
bool onClosedShells(SurfaceMesh& mesh, const std::vector<FacePair>& pairs)
{
    auto id = mesh.add_property_map<Face, std::size_t>("f:shell", 0).first;
    const std::size_t count = PMP::connected_components(mesh, id);
    std::vector<char> closed(count, 1);
    for (auto h : mesh.halfedges())
        if (mesh.is_border(h))
            closed[id[mesh.face(mesh.opposite(h))]] = 0;
    bool all = true;
    for (const FacePair& p : pairs)
        all = all && closed[id[p.first]] && closed[id[p.second]];
    mesh.remove_property_map(id);
    return all;
}

} // namespace

StepResult removeSelfIntersections(SurfaceMesh& mesh, const StepContext& context)
{
    const std::vector<FacePair> found = intersectingPairs(mesh);
    if (found.empty())
        return {true, "no self-intersections"};
    if (context.progress)
        context.progress(0.3);
    std::string how;
    if (onClosedShells(mesh, found)) {
        SurfaceMesh merged = mesh;
        bool fixed = false;
        try {
            fixed = PMP::experimental::autorefine_and_remove_self_intersections(merged);
        } catch (const std::exception&) {
            fixed = false;
        }
        if (fixed) {
            merged.collect_garbage();
            mesh = std::move(merged);
            how = "overlapping shells merged";
        }
    }
    std::size_t remaining = how.empty() ? found.size() : 0;
    if (how.empty() && !(context.stop && context.stop())) {
        SurfaceMesh local = mesh;
        try {
            PMP::experimental::remove_self_intersections(local);
            local.collect_garbage();
            const std::size_t left = intersectingPairs(local).size();
            // Kept only when it helped; the pipeline's area check guards the rest.
            if (left < found.size()) {
                mesh = std::move(local);
                remaining = left;
                how = "intersecting regions cut out and refilled";
            }
        } catch (const std::exception&) {
        }
    }
    if (context.progress)
        context.progress(0.9);
    std::ostringstream report;
    report << found.size() << " intersecting face pairs found";
    if (!how.empty())
        report << " (" << how << ")";
    if (remaining == 0)
        report << "; all fixed";
    else
        report << "; " << remaining << " remain that could not be fixed";
    return {true, report.str()};
}

} // namespace repairprogram
