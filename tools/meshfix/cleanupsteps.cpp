// Conversions and the light repair steps: stitching, degenerate faces,
// non-manifold vertices, small or enclosed components, hole filling and
// orientation. Self-intersections have their own file (the heaviest CGAL
// headers).
#include "tools/meshfix/soup.h"
#include "tools/meshfix/steps.h"

#include <CGAL/Polygon_mesh_processing/connected_components.h>
#include <CGAL/Polygon_mesh_processing/measure.h>
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/orientation.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair.h>
#include <CGAL/Polygon_mesh_processing/repair_degeneracies.h>
#include <CGAL/Polygon_mesh_processing/stitch_borders.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>

namespace PMP = CGAL::Polygon_mesh_processing;

namespace repairprogram {

namespace {

using Face = SurfaceMesh::Face_index;
using Vertex = SurfaceMesh::Vertex_index;
using Vector = fairing::Kernel::Vector_3;

double faceArea(const SurfaceMesh& mesh, Face f)
{
    const auto h = mesh.halfedge(f);
    const fairing::Point& a = mesh.point(mesh.source(h));
    const fairing::Point& b = mesh.point(mesh.target(h));
    const fairing::Point& c = mesh.point(mesh.target(mesh.next(h)));
    return 0.5 * std::sqrt(CGAL::cross_product(b - a, c - a).squared_length());
}

template <class... Parts>
std::string text(const Parts&... parts)
{
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

struct Component {
    std::vector<Face> faces;
    double area = 0.0;
    bool closed = true;
    CGAL::Bbox_3 box;
};

std::vector<Component> componentsOf(const SurfaceMesh& mesh, const SurfaceMesh::Property_map<Face, std::size_t>& id,
                                    std::size_t count)
{
    std::vector<Component> parts(count);
    for (Face f : mesh.faces()) {
        Component& part = parts[id[f]];
        part.faces.push_back(f);
        part.area += faceArea(mesh, f);
        for (auto h : CGAL::halfedges_around_face(mesh.halfedge(f), mesh)) {
            if (mesh.is_border(mesh.opposite(h)))
                part.closed = false;
            part.box += mesh.point(mesh.target(h)).bbox();
        }
    }
    return parts;
}

bool boxInside(const CGAL::Bbox_3& inner, const CGAL::Bbox_3& outer)
{
    for (int i = 0; i < 3; ++i)
        if (inner.min(i) < outer.min(i) || inner.max(i) > outer.max(i))
            return false;
    return true;
}

// Parity of a ray's crossings with a closed component. Returns -1 when the
// ray grazes an edge or a vertex and the answer is not to be trusted.
int crossings(const SurfaceMesh& mesh, const Component& part, const fairing::Point& origin, const Vector& direction)
{
    const double eps = 1e-9;
    int hits = 0;
    for (Face f : part.faces) {
        const auto h = mesh.halfedge(f);
        const fairing::Point& a = mesh.point(mesh.source(h));
        const fairing::Point& b = mesh.point(mesh.target(h));
        const fairing::Point& c = mesh.point(mesh.target(mesh.next(h)));
        const Vector e1 = b - a, e2 = c - a;
        const Vector p = CGAL::cross_product(direction, e2);
        const double det = e1 * p;
        if (std::abs(det) < 1e-300)
            continue;
        const Vector s = origin - a;
        const double u = (s * p) / det;
        if (u < -eps || u > 1 + eps)
            continue;
        const Vector q = CGAL::cross_product(s, e1);
        const double v = (direction * q) / det;
        if (v < -eps || u + v > 1 + eps)
            continue;
        const double t = (e2 * q) / det;
        if (t <= 0)
            continue;
        if (u < eps || v < eps || u + v > 1 - eps)
            return -1;
        ++hits;
    }
    return hits % 2;
}

// A vertex of inner lies inside the closed component outer.
bool enclosedBy(const SurfaceMesh& mesh, const Component& inner, const Component& outer)
{
    if (!boxInside(inner.box, outer.box))
        return false;
    const fairing::Point origin = mesh.point(mesh.target(mesh.halfedge(inner.faces.front())));
    // Directions unlikely to run along any edge of a scan.
    const Vector directions[] = {{0.5773, 0.6181, 0.5335}, {-0.4472, 0.7071, -0.5477}, {0.8017, -0.2673, 0.5345}};
    for (const Vector& d : directions) {
        const int parity = crossings(mesh, outer, origin, d);
        if (parity >= 0)
            return parity == 1;
    }
    return false;
}

} // namespace

bool buildMesh(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, SurfaceMesh& mesh,
               std::size_t& splitVertices)
{
    std::vector<fairing::Point> points;
    points.reserve(vertices.size());
    for (const Vec3f& v : vertices)
        points.emplace_back(v.x, v.y, v.z);
    std::vector<std::array<std::size_t, 3>> polygons;
    polygons.reserve(faces.size());
    for (const Triangle& t : faces)
        polygons.push_back({t[0], t[1], t[2]});
    splitVertices = 0;
    if (!isOrientedManifold(vertices.size(), faces)) {
        const std::size_t before = points.size();
        PMP::orient_polygon_soup(points, polygons);
        splitVertices = points.size() - before;
    }
    mesh.clear();
    PMP::polygon_soup_to_polygon_mesh(points, polygons, mesh);
    return mesh.number_of_faces() > 0;
}

void meshToArrays(const SurfaceMesh& mesh, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    vertices.clear();
    faces.clear();
    std::vector<std::uint32_t> index(mesh.num_vertices(), UINT32_MAX);
    faces.reserve(mesh.number_of_faces());
    for (Face f : mesh.faces()) {
        Triangle t;
        int c = 0;
        for (Vertex v : CGAL::vertices_around_face(mesh.halfedge(f), mesh)) {
            if (c == 3)
                break;
            std::uint32_t& slot = index[std::size_t(v)];
            if (slot == UINT32_MAX) {
                slot = std::uint32_t(vertices.size());
                const fairing::Point& p = mesh.point(v);
                vertices.push_back({float(p.x()), float(p.y()), float(p.z())});
            }
            t[c++] = slot;
        }
        if (c == 3)
            faces.push_back(t);
    }
}

double surfaceArea(const SurfaceMesh& mesh)
{
    double area = 0.0;
    for (Face f : mesh.faces())
        area += faceArea(mesh, f);
    return area;
}

StepResult stitchBorders(SurfaceMesh& mesh, const StepContext&)
{
    const std::size_t stitched = PMP::stitch_borders(mesh);
    return {true, text(stitched, " border edge pairs stitched")};
}

StepResult removeDegenerateFaces(SurfaceMesh& mesh, const StepContext&)
{
    const std::size_t before = mesh.number_of_faces();
    const bool all = PMP::remove_degenerate_faces(mesh);
    mesh.collect_garbage();
    const std::size_t removed = before > mesh.number_of_faces() ? before - mesh.number_of_faces() : 0;
    if (!all)
        return {true, text(removed, " degenerate faces removed; some could not be removed")};
    return {true, text(removed, " degenerate faces removed")};
}

StepResult splitNonManifoldVertices(SurfaceMesh& mesh, const StepContext&)
{
    const std::size_t split = PMP::duplicate_non_manifold_vertices(mesh);
    return {true, text(split, " non-manifold vertices split")};
}

StepResult dropSmallComponents(SurfaceMesh& mesh, const StepContext& context, const StepSettings& settings)
{
    auto id = mesh.add_property_map<Face, std::size_t>("f:component", 0).first;
    const std::size_t count = PMP::connected_components(mesh, id);
    const std::vector<Component> parts = componentsOf(mesh, id, count);
    std::size_t largest = 0;
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (parts[i].area > parts[largest].area)
            largest = i;
    std::vector<std::size_t> tiny, enclosed;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (i != largest && parts[i].area < settings.tinyComponentAreaFraction * parts[largest].area)
            tiny.push_back(i);
    // A scanner cannot see inside a closed part: a closed shell within
    // another is a doubled or stray inner wall.
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!parts[i].closed || std::find(tiny.begin(), tiny.end(), i) != tiny.end())
            continue;
        for (std::size_t j = 0; j < parts.size(); ++j) {
            if (j == i || !parts[j].closed || parts[j].area < parts[i].area)
                continue;
            if (context.stop && context.stop())
                return {false, "stopped at its time budget"};
            if (enclosedBy(mesh, parts[i], parts[j])) {
                enclosed.push_back(i);
                break;
            }
        }
        if (context.progress)
            context.progress(double(i + 1) / double(parts.size()));
    }
    std::vector<std::size_t> drop = tiny;
    drop.insert(drop.end(), enclosed.begin(), enclosed.end());
    if (!drop.empty()) {
        PMP::remove_connected_components(mesh, drop, id);
        mesh.collect_garbage();
    }
    mesh.remove_property_map(id);
    return {true, text(count, " components; ", tiny.size(), " small ones and ", enclosed.size(),
                       " enclosed shells removed")};
}

StepResult fillHoles(SurfaceMesh& mesh, const StepContext& context, const StepSettings& settings)
{
    const fairing::HoleFillReport r = fairing::fillAllHoles(
        mesh, settings.fill, context.stop, [&context](std::size_t done, std::size_t total) {
            if (context.progress)
                context.progress(double(done) / double(total));
        });
    const std::size_t closed = r.faired + r.refinedOnly + r.fanned;
    std::string report = text(r.holes, " holes: ", r.faired, " filled with faired patches");
    if (r.refinedOnly)
        report += text(", ", r.refinedOnly, " filled without fairing (too large, or the solve failed)");
    if (r.fanned)
        report += text(", ", r.fanned, " closed with a centre fan");
    if (closed < r.holes)
        report += text(", ", r.holes - closed, " left open", r.stopped ? " (time budget)" : "");
    return {true, report};
}

StepResult orientOutward(SurfaceMesh& mesh, const StepContext&)
{
    auto id = mesh.add_property_map<Face, std::size_t>("f:component", 0).first;
    const std::size_t count = PMP::connected_components(mesh, id);
    std::vector<std::vector<Face>> parts(count);
    for (Face f : mesh.faces())
        parts[id[f]].push_back(f);
    mesh.remove_property_map(id);
    std::size_t flipped = 0;
    for (const std::vector<Face>& part : parts) {
        // Signed volume about the component's own centre: exact for closed
        // shells, the sensible guess for a surface still open somewhere.
        Vector centre(0, 0, 0);
        std::size_t corners = 0;
        for (Face f : part)
            for (Vertex v : CGAL::vertices_around_face(mesh.halfedge(f), mesh)) {
                centre = centre + (mesh.point(v) - CGAL::ORIGIN);
                ++corners;
            }
        const fairing::Point o = CGAL::ORIGIN + centre / double(std::max<std::size_t>(corners, 1));
        double volume = 0.0;
        for (Face f : part) {
            const auto h = mesh.halfedge(f);
            const Vector a = mesh.point(mesh.source(h)) - o;
            const Vector b = mesh.point(mesh.target(h)) - o;
            const Vector c = mesh.point(mesh.target(mesh.next(h))) - o;
            volume += a * CGAL::cross_product(b, c);
        }
        if (volume < 0.0) {
            PMP::reverse_face_orientations(part, mesh);
            ++flipped;
        }
    }
    return {true, text(count, " components; ", flipped, " turned outward")};
}

} // namespace repairprogram
