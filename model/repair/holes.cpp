// Boundary loops, loop triangulation and the hole fill that uses them.
#include "model/repair/holes.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace holes {

namespace {

bool usable(const Triangle& t, std::size_t vertexCount)
{
    return t.inRange(vertexCount) && t[0] != t[1] && t[1] != t[2] && t[0] != t[2];
}

// Faces around each vertex (compressed rows), usable faces only.
struct VertexFaces {
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> faces;

    void build(const std::vector<Triangle>& tris, std::size_t vertexCount, const std::vector<char>* removed = nullptr)
    {
        offsets.assign(vertexCount + 1, 0);
        for (std::size_t f = 0; f < tris.size(); ++f) {
            if (!usable(tris[f], vertexCount) || (removed && (*removed)[f]))
                continue;
            for (int c = 0; c < 3; ++c)
                ++offsets[tris[f][c] + 1];
        }
        for (std::size_t v = 0; v < vertexCount; ++v)
            offsets[v + 1] += offsets[v];
        faces.assign(offsets[vertexCount], 0);
        std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
        for (std::size_t f = 0; f < tris.size(); ++f) {
            if (!usable(tris[f], vertexCount) || (removed && (*removed)[f]))
                continue;
            for (int c = 0; c < 3; ++c)
                faces[fill[tris[f][c]]++] = std::uint32_t(f);
        }
    }
};

struct DirectedEdge {
    std::uint32_t from;
    std::uint32_t to;
};

// Every edge used by exactly one usable triangle, directed as in that triangle.
std::vector<DirectedEdge> boundaryEdges(const std::vector<Triangle>& tris, std::size_t vertexCount)
{
    VertexFaces around;
    around.build(tris, vertexCount);
    std::vector<DirectedEdge> edges;
    struct Neighbour {
        std::uint32_t vertex;
        bool outgoing;
    };
    std::vector<Neighbour> neighbours;
    for (std::uint32_t v = 0; v < vertexCount; ++v) {
        neighbours.clear();
        for (std::uint32_t i = around.offsets[v]; i < around.offsets[v + 1]; ++i) {
            const Triangle& t = tris[around.faces[i]];
            const int c = t[0] == v ? 0 : (t[1] == v ? 1 : 2);
            neighbours.push_back({t[(c + 1) % 3], true});
            neighbours.push_back({t[(c + 2) % 3], false});
        }
        std::sort(neighbours.begin(), neighbours.end(),
                  [](const Neighbour& a, const Neighbour& b) { return a.vertex < b.vertex; });
        for (std::size_t i = 0; i < neighbours.size();) {
            std::size_t j = i + 1;
            while (j < neighbours.size() && neighbours[j].vertex == neighbours[i].vertex)
                ++j;
            const std::uint32_t w = neighbours[i].vertex;
            if (j - i == 1 && v < w)
                edges.push_back(neighbours[i].outgoing ? DirectedEdge{v, w} : DirectedEdge{w, v});
            i = j;
        }
    }
    return edges;
}

// A closed walk that may pass a vertex more than once, cut into simple loops.
void splitIntoSimpleLoops(const std::vector<std::uint32_t>& walk, std::vector<Loop>& out)
{
    std::vector<std::uint32_t> stack;
    std::unordered_map<std::uint32_t, std::size_t> position;
    for (std::uint32_t v : walk) {
        const auto found = position.find(v);
        if (found != position.end()) {
            const std::size_t p = found->second;
            if (stack.size() - p >= 3)
                out.emplace_back(stack.begin() + std::ptrdiff_t(p), stack.end());
            for (std::size_t i = p + 1; i < stack.size(); ++i)
                position.erase(stack[i]);
            stack.resize(p + 1);
            continue;
        }
        position.emplace(v, stack.size());
        stack.push_back(v);
    }
    if (stack.size() >= 3)
        out.push_back(std::move(stack));
}

double length(const double v[3])
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

void centroidFan(std::vector<Vec3f>& vertices, const Loop& loop, std::vector<Triangle>& out)
{
    double c[3] = {0, 0, 0};
    for (std::uint32_t v : loop)
        for (int k = 0; k < 3; ++k)
            c[k] += vertices[v][k];
    const double n = double(loop.size());
    const auto centre = std::uint32_t(vertices.size());
    vertices.push_back({float(c[0] / n), float(c[1] / n), float(c[2] / n)});
    for (std::size_t i = 0; i < loop.size(); ++i)
        out.push_back({loop[(i + 1) % loop.size()], loop[i], centre});
}

struct P2 {
    double x, y;
};

double cross2(P2 o, P2 a, P2 b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool insideOrOn(P2 p, P2 a, P2 b, P2 c)
{
    return cross2(a, b, p) >= 0.0 && cross2(b, c, p) >= 0.0 && cross2(c, a, p) >= 0.0;
}

// Ear clipping of the loop projected along normal; false when stuck.
bool clipEars(const std::vector<Vec3f>& vertices, const Loop& loop, const double normal[3],
              std::vector<Triangle>& out)
{
    // Plane basis with v = n x u, so a loop turning about n runs counter-clockwise.
    double u[3];
    if (std::abs(normal[0]) < 0.9) {
        u[0] = 0.0, u[1] = normal[2], u[2] = -normal[1];
    } else {
        u[0] = -normal[2], u[1] = 0.0, u[2] = normal[0];
    }
    const double ul = length(u);
    for (double& x : u)
        x /= ul;
    const double w[3] = {normal[1] * u[2] - normal[2] * u[1], normal[2] * u[0] - normal[0] * u[2],
                         normal[0] * u[1] - normal[1] * u[0]};
    std::vector<P2> points(loop.size());
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const Vec3f p = vertices[loop[i]];
        points[i] = {p.x * u[0] + p.y * u[1] + p.z * u[2], p.x * w[0] + p.y * w[1] + p.z * w[2]};
    }

    std::vector<std::size_t> ring(loop.size());
    for (std::size_t i = 0; i < ring.size(); ++i)
        ring[i] = i;
    std::vector<Triangle> ears;
    std::size_t i = 0, misses = 0;
    while (ring.size() > 3) {
        const std::size_t n = ring.size();
        const std::size_t ia = ring[(i + n - 1) % n], ib = ring[i % n], ic = ring[(i + 1) % n];
        const P2 a = points[ia], b = points[ib], c = points[ic];
        bool ear = 0.5 * cross2(a, b, c) > 1e-10;
        for (std::size_t k = 0; ear && k < n; ++k) {
            const std::size_t other = ring[k];
            if (other == ia || other == ib || other == ic)
                continue;
            const P2 p = points[other];
            const bool atCorner = (p.x == a.x && p.y == a.y) || (p.x == b.x && p.y == b.y) || (p.x == c.x && p.y == c.y);
            if (!atCorner && insideOrOn(p, a, b, c))
                ear = false;
        }
        if (ear) {
            ears.push_back({loop[ic], loop[ib], loop[ia]});
            ring.erase(ring.begin() + std::ptrdiff_t(i % n));
            i = (i + ring.size() - 1) % ring.size();
            misses = 0;
        } else {
            i = (i + 1) % n;
            if (++misses > n)
                return false;
        }
    }
    ears.push_back({loop[ring[2]], loop[ring[1]], loop[ring[0]]});
    out.insert(out.end(), ears.begin(), ears.end());
    return true;
}

struct LoopPatch {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;              // local indices
    std::vector<std::uint32_t> localToGlobal; // per local vertex
    std::vector<std::uint32_t> rim;           // the loop in local indices
};

// The triangles within `rings` rings of the loop as a small mesh.
LoopPatch extractPatch(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                       const VertexFaces& around, const Loop& loop, int rings)
{
    LoopPatch patch;
    std::unordered_map<std::uint32_t, std::uint32_t> local;
    std::vector<std::uint32_t> frontier;
    auto addVertex = [&](std::uint32_t v) {
        const auto inserted = local.emplace(v, std::uint32_t(patch.localToGlobal.size()));
        if (inserted.second) {
            patch.localToGlobal.push_back(v);
            patch.vertices.push_back(vertices[v]);
            frontier.push_back(v);
        }
        return inserted.first->second;
    };
    for (std::uint32_t v : loop)
        patch.rim.push_back(addVertex(v));
    std::unordered_map<std::uint32_t, char> taken;
    for (int ring = 0; ring < rings; ++ring) {
        std::vector<std::uint32_t> current;
        current.swap(frontier);
        for (std::uint32_t v : current) {
            for (std::uint32_t i = around.offsets[v]; i < around.offsets[v + 1]; ++i) {
                const std::uint32_t f = around.faces[i];
                if (!taken.emplace(f, 1).second)
                    continue;
                const Triangle& t = faces[f];
                patch.faces.push_back({addVertex(t[0]), addVertex(t[1]), addVertex(t[2])});
            }
        }
    }
    return patch;
}

// The loop closed by a faired patch: new vertices appended to vertices, the
// closing triangles to out. False, nothing appended, when the fairing could
// not close it (or was stopped; stopped then tells).
bool fairLoop(std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, const VertexFaces& around,
              const Loop& loop, const FillOptions& options, const fairing::StopCheck& stop,
              std::vector<Triangle>& out, bool& stopped)
{
    const LoopPatch patch = extractPatch(vertices, faces, around, loop, options.rings);
    fairing::HolePatch filled;
    const fairing::FillStatus status =
        fairing::fillHole(patch.vertices, patch.faces, patch.rim, options.fairing, filled, stop);
    stopped = status == fairing::FillStatus::Stopped;
    if (status != fairing::FillStatus::Filled)
        return false;
    const std::size_t localCount = patch.vertices.size();
    const auto firstNew = std::uint32_t(vertices.size());
    vertices.insert(vertices.end(), filled.newVertices.begin(), filled.newVertices.end());
    for (const Triangle& t : filled.triangles) {
        Triangle g;
        for (int c = 0; c < 3; ++c)
            g[c] = t[c] < localCount ? patch.localToGlobal[t[c]] : firstNew + std::uint32_t(t[c] - localCount);
        out.push_back(g);
    }
    return true;
}

} // namespace

std::vector<Loop> findBoundaryLoops(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    const std::size_t vertexCount = vertices.size();
    const std::vector<DirectedEdge> edges = boundaryEdges(faces, vertexCount);
    std::vector<Loop> loops;
    if (edges.empty())
        return loops;

    // Boundary edges at each vertex (compressed rows).
    std::vector<std::uint32_t> offsets(vertexCount + 1, 0);
    for (const DirectedEdge& e : edges) {
        ++offsets[e.from + 1];
        ++offsets[e.to + 1];
    }
    for (std::size_t v = 0; v < vertexCount; ++v)
        offsets[v + 1] += offsets[v];
    std::vector<std::uint32_t> incident(offsets[vertexCount]);
    {
        std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
        for (std::uint32_t e = 0; e < edges.size(); ++e) {
            incident[fill[edges[e].from]++] = e;
            incident[fill[edges[e].to]++] = e;
        }
    }

    std::vector<char> used(edges.size(), 0);
    std::vector<std::uint32_t> walk;
    for (std::uint32_t first = 0; first < edges.size(); ++first) {
        if (used[first])
            continue;
        used[first] = 1;
        const std::uint32_t start = edges[first].from;
        std::uint32_t current = edges[first].to;
        walk.assign(1, start);
        bool closed = true;
        while (current != start) {
            // Prefer leaving along an edge's own direction, so that where
            // loops touch the walk stays on a consistently wound rim.
            std::uint32_t next = UINT32_MAX;
            for (std::uint32_t i = offsets[current]; i < offsets[current + 1]; ++i) {
                const std::uint32_t e = incident[i];
                if (used[e])
                    continue;
                if (edges[e].from == current) {
                    next = e;
                    break;
                }
                if (next == UINT32_MAX)
                    next = e;
            }
            if (next == UINT32_MAX) {
                closed = false;
                break;
            }
            used[next] = 1;
            walk.push_back(current);
            current = edges[next].from == current ? edges[next].to : edges[next].from;
        }
        if (closed)
            splitIntoSimpleLoops(walk, loops);
    }
    return loops;
}

std::size_t countBoundaryEdges(const std::vector<Triangle>& faces, std::size_t vertexCount)
{
    return boundaryEdges(faces, vertexCount).size();
}

std::size_t triangulateLoop(std::vector<Vec3f>& vertices, const Loop& loop, std::vector<Triangle>& out)
{
    if (loop.size() < 3)
        return 0;
    for (std::uint32_t v : loop)
        if (v >= vertices.size())
            return 0;
    const std::size_t before = out.size();
    // Newell's normal: the loop turns counter-clockwise about it.
    double normal[3] = {0, 0, 0};
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const Vec3f a = vertices[loop[i]], b = vertices[loop[(i + 1) % loop.size()]];
        normal[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
        normal[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
        normal[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
    }
    const double len = length(normal);
    if (!(len >= 1e-12) || !std::isfinite(len)) {
        centroidFan(vertices, loop, out);
        return out.size() - before;
    }
    for (double& x : normal)
        x /= len;
    if (loop.size() == 3) {
        out.push_back({loop[2], loop[1], loop[0]});
        return 1;
    }
    if (!clipEars(vertices, loop, normal, out))
        centroidFan(vertices, loop, out);
    return out.size() - before;
}

bool fillHoles(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, const std::vector<Loop>& holeList,
               const std::set<std::uint32_t>& keepOpen, const FillOptions& options, std::string* error,
               Progress* progress, FillStats* stats)
{
    std::vector<std::size_t> toFill;
    for (std::size_t i = 0; i < holeList.size(); ++i)
        if (!keepOpen.count(std::uint32_t(i)))
            toFill.push_back(i);
    if (toFill.empty()) {
        if (error)
            *error = "No holes selected to fill.";
        return false;
    }
    const ProgressStage stage(progress, 5, 90);
    const fairing::StopCheck stop = [&stage]() { return stage.canceled(); };
    const std::size_t vertexCount = vertices.size();
    FillStats local;
    // Patches come from the surface as it was: a fill only adds triangles,
    // so the neighbourhood of every other loop stays the same.
    VertexFaces around;
    if (options.fair)
        around.build(faces, vertexCount);
    std::vector<Triangle> added;
    bool canceled = false;
    for (std::size_t done = 0; done < toFill.size() && !canceled; ++done) {
        if (!stage.step(done, toFill.size())) {
            canceled = true;
            break;
        }
        const Loop& loop = holeList[toFill[done]];
        const bool inRange = std::all_of(loop.begin(), loop.end(), [&](std::uint32_t v) { return v < vertexCount; });
        if (loop.size() < 3 || !inRange) {
            ++local.skipped;
            continue;
        }
        bool stopped = false;
        if (options.fair && fairLoop(vertices, faces, around, loop, options, stop, added, stopped)) {
            ++local.faired;
            continue;
        }
        if (stopped) {
            canceled = true;
            break;
        }
        if (triangulateLoop(vertices, loop, added) > 0)
            ++local.triangulated;
        else
            ++local.skipped;
    }
    if (canceled) {
        vertices.resize(vertexCount);
        if (error)
            *error = "Hole filling canceled.";
        return false;
    }
    faces.insert(faces.end(), added.begin(), added.end());
    stage.finish();
    if (stats)
        *stats = local;
    return true;
}

} // namespace holes

#include "model/mesh/meshmodel.h"

std::vector<std::vector<std::uint32_t>> MeshModel::findBoundaryLoops() const
{
    return holes::findBoundaryLoops(vertices.vec(), faces.vec());
}

bool MeshModel::fillSelectedHoles(const std::vector<std::vector<std::uint32_t>>& holeList,
                                  const std::set<std::uint32_t>& keepOpen, std::string* error, Progress* progress)
{
    if (!hasMesh()) {
        if (error)
            *error = "No mesh loaded.";
        return false;
    }
    std::vector<Vec3f> newVertices = vertices.vec();
    std::vector<Triangle> newFaces = faces.vec();
    if (!holes::fillHoles(newVertices, newFaces, holeList, keepOpen, {}, error, progress))
        return false;
    vertices.assign(std::move(newVertices));
    faces.assign(std::move(newFaces));
    updateCaches();
    return true;
}
