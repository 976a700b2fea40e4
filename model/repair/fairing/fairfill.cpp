// The only translation unit that instantiates CGAL's hole filling: it takes
// most of a minute to compile, so everything else reaches it through the two
// headers.
#include "model/repair/fairing/fairfill.h"
#include "model/repair/fairing/surfacemesh.h"

#include <CGAL/boost/graph/Euler_operations.h>
#include <CGAL/Polygon_mesh_processing/border.h>
#include <CGAL/Polygon_mesh_processing/fair.h>
#include <CGAL/Polygon_mesh_processing/triangulate_hole.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

namespace PMP = CGAL::Polygon_mesh_processing;

namespace fairing {

namespace {

using Halfedge = SurfaceMesh::Halfedge_index;
using Vertex = SurfaceMesh::Vertex_index;
using Face = SurfaceMesh::Face_index;

struct Stopped {};

// Polls the stop check from inside the triangulation search, which has no
// other way out. It throws before the mesh is touched: the search only
// reads the rim, and faces are added after it has finished.
class StopVisitor : public PMP::Hole_filling::Default_visitor {
public:
    explicit StopVisitor(const StopCheck& stop) : stop_(stop) {}
    void quadratic_step() const { poll(); }
    void cubic_step() const { poll(); }
    void start_planar_phase() const { check(); }
    void start_quadratic_phase(std::size_t) const { check(); }
    void start_cubic_phase(int) const { check(); }

private:
    void poll() const
    {
        if ((++steps_ & 1023u) == 0)
            check();
    }
    void check() const
    {
        if (stop_ && stop_())
            throw Stopped{};
    }
    const StopCheck& stop_;
    mutable std::size_t steps_ = 0;
};

std::size_t rimLength(const SurfaceMesh& mesh, Halfedge h)
{
    std::size_t n = 0;
    for (Halfedge c : CGAL::halfedges_around_face(h, mesh)) {
        (void)c;
        ++n;
    }
    return n;
}

struct PatchOutcome {
    std::vector<Face> faces;
    std::vector<Vertex> vertices;
    bool faired = false;
};

// Triangulate, refine and fair one hole of mesh. Faces are added only once
// the triangulation has been found, so a stop leaves the mesh as it was.
bool fillOne(SurfaceMesh& mesh, Halfedge border, const FairFillOptions& options, const StopCheck& stop,
             PatchOutcome& out)
{
    StopVisitor visitor(stop);
    const bool exhaustive = rimLength(mesh, border) <= options.exhaustiveSearchLimit;
    PMP::triangulate_and_refine_hole(mesh, border, std::back_inserter(out.faces), std::back_inserter(out.vertices),
                                     CGAL::parameters::density_control_factor(options.density)
                                         .use_delaunay_triangulation(true)
                                         .do_not_use_cubic_algorithm(!exhaustive)
                                         .visitor(visitor));
    if (out.faces.empty())
        return false;
    // A patch without inner vertices has nothing to fair.
    out.faired = out.vertices.empty() ||
                 (out.vertices.size() <= options.fairingVertexLimit &&
                  PMP::fair(mesh, out.vertices, CGAL::parameters::fairing_continuity(options.continuity)));
    return true;
}

} // namespace

FillStatus fillHole(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                    const std::vector<std::uint32_t>& rim, const FairFillOptions& options, HolePatch& out,
                    const StopCheck& stop, std::string* why)
{
    const auto fail = [why](const char* reason) {
        if (why)
            *why = reason;
        return FillStatus::NotFilled;
    };
    out = HolePatch{};
    if (rim.size() < 3)
        return fail("the rim has fewer than three vertices");
    for (std::uint32_t v : rim)
        if (v >= vertices.size())
            return fail("the rim names a vertex that does not exist");
    for (const Vec3f& p : vertices)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            return fail("a vertex near the hole is not a finite point");

    try {
        SurfaceMesh mesh;
        mesh.reserve(vertices.size(), faces.size() * 3 / 2, faces.size() * 2);
        for (const Vec3f& p : vertices)
            mesh.add_vertex(Point(p.x, p.y, p.z));
        for (const Triangle& t : faces) {
            if (!t.inRange(vertices.size()) || t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
                continue;
            if (mesh.add_face(Vertex(t[0]), Vertex(t[1]), Vertex(t[2])) == SurfaceMesh::null_face())
                return fail("the surface around the hole is not manifold");
        }
        // The rim runs along its edges as their triangles do; the hole's side
        // of the first edge is the halfedge running back.
        const Halfedge border = mesh.halfedge(Vertex(rim[1]), Vertex(rim[0]));
        if (border == SurfaceMesh::null_halfedge() || !mesh.is_border(border))
            return fail("the rim is not a border of the surface");
        std::size_t walked = 0;
        std::size_t next = 1;
        for (Halfedge h : CGAL::halfedges_around_face(border, mesh)) {
            // Walking the hole's side visits the rim backwards.
            if (walked >= rim.size() || mesh.source(h) != Vertex(rim[next % rim.size()]))
                return fail("the rim does not close the hole on its own");
            next = next == 0 ? rim.size() - 1 : next - 1;
            ++walked;
        }
        if (walked != rim.size())
            return fail("the rim does not close the hole on its own");

        const std::size_t firstNew = mesh.number_of_vertices();
        PatchOutcome patch;
        if (!fillOne(mesh, border, options, stop, patch))
            return fail("no triangulation of the rim was found");
        out.faired = patch.faired;
        std::vector<std::uint32_t> index(mesh.num_vertices(), 0);
        for (Vertex v : mesh.vertices()) {
            const std::size_t i = std::size_t(v);
            if (i < firstNew) {
                index[i] = std::uint32_t(i);
                continue;
            }
            index[i] = std::uint32_t(vertices.size() + out.newVertices.size());
            const Point& p = mesh.point(v);
            out.newVertices.push_back({float(p.x()), float(p.y()), float(p.z())});
        }
        out.triangles.reserve(patch.faces.size());
        for (Face f : patch.faces) {
            Triangle t;
            int c = 0;
            for (Vertex v : CGAL::vertices_around_face(mesh.halfedge(f), mesh))
                t[c++] = index[std::size_t(v)];
            out.triangles.push_back(t);
        }
        return FillStatus::Filled;
    } catch (const Stopped&) {
        out = HolePatch{};
        return FillStatus::Stopped;
    } catch (const std::bad_alloc&) {
        out = HolePatch{};
        return fail("out of memory");
    } catch (const std::exception&) {
        // CGAL reports broken preconditions (say, a rim that folds onto
        // itself) as exceptions.
        out = HolePatch{};
        return fail("the geometry around the hole defeated the triangulation");
    }
}

HoleFillReport fillAllHoles(SurfaceMesh& mesh, const FairFillOptions& options, const StopCheck& stop,
                            const std::function<void(std::size_t, std::size_t)>& onHole)
{
    HoleFillReport report;
    std::vector<Halfedge> borders;
    PMP::extract_boundary_cycles(mesh, std::back_inserter(borders));
    report.holes = borders.size();
    for (std::size_t i = 0; i < borders.size(); ++i) {
        if (stop && stop()) {
            report.stopped = true;
            break;
        }
        const Halfedge border = borders[i];
        PatchOutcome patch;
        bool filled = false;
        try {
            filled = fillOne(mesh, border, options, stop, patch);
        } catch (const Stopped&) {
            report.stopped = true;
            break;
        } catch (const std::exception&) {
            filled = false;
        }
        if (filled) {
            (patch.faired ? report.faired : report.refinedOnly) += 1;
            report.newFaces += patch.faces.size();
        } else if (mesh.is_border(border)) {
            // One polygon over the hole, split into a fan around its centroid.
            const std::size_t rim = rimLength(mesh, border);
            Kernel::Vector_3 sum(0, 0, 0);
            for (Vertex v : CGAL::vertices_around_face(border, mesh))
                sum = sum + (mesh.point(v) - CGAL::ORIGIN);
            CGAL::Euler::fill_hole(border, mesh);
            const Halfedge centre = CGAL::Euler::add_center_vertex(border, mesh);
            mesh.point(mesh.target(centre)) = CGAL::ORIGIN + sum / double(rim);
            ++report.fanned;
            report.newFaces += rim;
        }
        if (onHole)
            onHole(i + 1, borders.size());
    }
    return report;
}

} // namespace fairing
