// Boundary loops, loop triangulation and the hole fill that uses them.
#include "model/repair/holes.h"

#include "model/mesh/flathash.h"

#include <algorithm>
#include <cmath>
#include <cstring>
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

struct VertexKey {
    float x, y, z;
    bool operator==(const VertexKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct VertexKeyHash {
    std::uint64_t operator()(const VertexKey& k) const
    {
        std::uint32_t bits[3];
        static_assert(sizeof(bits) == sizeof(VertexKey));
        std::memcpy(bits, &k, sizeof(bits));
        std::uint64_t h = 1469598103934665603ull;
        for (std::uint32_t b : bits) {
            h ^= b;
            h *= 1099511628211ull;
        }
        return h ^ (h >> 29);
    }
};

std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b)
{
    return a < b ? (std::uint64_t(a) << 32 | b) : (std::uint64_t(b) << 32 | a);
}

LoopPatch extractPatch(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                       const VertexFaces& around, const Loop& loop)
{
    LoopPatch patch;
    std::unordered_map<std::uint32_t, std::uint32_t> local;
    std::vector<char> faceTaken;
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
        if (v < vertices.size())
            addVertex(v);
    std::unordered_map<std::size_t, char> taken;
    for (int ring = 0; ring < 3; ++ring) {
        std::vector<std::uint32_t> current;
        current.swap(frontier);
        for (std::uint32_t v : current) {
            if (v + 1 >= around.offsets.size())
                continue;
            for (std::uint32_t i = around.offsets[v]; i < around.offsets[v + 1]; ++i) {
                const std::size_t f = around.faces[i];
                if (!taken.emplace(f, 1).second)
                    continue;
                const Triangle& t = faces[f];
                patch.faces.push_back({addVertex(t[0]), addVertex(t[1]), addVertex(t[2])});
                patch.faceIndices.push_back(f);
            }
        }
    }
    return patch;
}

// Result triangles of the repaired patch that belong in the mesh: the patch's
// own surface and the new surface grown from the hole's loop. A repair that
// closes everything also caps the patch's outer rim; those caps are new
// regions that touch no loop edge and are dropped.
std::vector<Triangle> keepLoopSideOfResult(const MeshFixResult& result, const std::vector<std::uint32_t>& resultToGlobal,
                                           const std::vector<Triangle>& patchGlobalFaces, const Loop& loop)
{
    struct TriKey {
        std::uint32_t a, b, c;
        bool operator==(const TriKey& o) const { return a == o.a && b == o.b && c == o.c; }
    };
    auto sortedKey = [](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        std::uint32_t v[3] = {a, b, c};
        std::sort(v, v + 3);
        return TriKey{v[0], v[1], v[2]};
    };
    struct TriHash {
        std::size_t operator()(const TriKey& k) const
        {
            return std::size_t(k.a) * 73856093u ^ std::size_t(k.b) * 19349663u ^ std::size_t(k.c) * 83492791u;
        }
    };
    std::unordered_map<TriKey, char, TriHash> original;
    for (const Triangle& t : patchGlobalFaces)
        original.emplace(sortedKey(t[0], t[1], t[2]), 1);
    std::unordered_map<std::uint64_t, char> loopEdges;
    for (std::size_t i = 0; i < loop.size(); ++i)
        loopEdges.emplace(edgeKey(loop[i], loop[(i + 1) % loop.size()]), 1);

    const std::size_t count = result.faces.size();
    std::vector<Triangle> global(count);
    std::vector<char> isNew(count, 0);
    for (std::size_t f = 0; f < count; ++f) {
        const Triangle& t = result.faces[f];
        global[f] = {resultToGlobal[t[0]], resultToGlobal[t[1]], resultToGlobal[t[2]]};
        isNew[f] = original.count(sortedKey(global[f][0], global[f][1], global[f][2])) ? 0 : 1;
    }
    // Regions of new triangles connected through shared edges.
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> edgeFaces;
    for (std::size_t f = 0; f < count; ++f)
        if (isNew[f])
            for (int c = 0; c < 3; ++c)
                edgeFaces[edgeKey(global[f][c], global[f][(c + 1) % 3])].push_back(std::uint32_t(f));
    std::vector<int> region(count, -1);
    std::vector<char> regionKept;
    for (std::size_t seed = 0; seed < count; ++seed) {
        if (!isNew[seed] || region[seed] >= 0)
            continue;
        const int id = int(regionKept.size());
        regionKept.push_back(0);
        std::vector<std::uint32_t> stack{std::uint32_t(seed)};
        region[seed] = id;
        while (!stack.empty()) {
            const std::uint32_t f = stack.back();
            stack.pop_back();
            for (int c = 0; c < 3; ++c) {
                const std::uint64_t key = edgeKey(global[f][c], global[f][(c + 1) % 3]);
                if (loopEdges.count(key))
                    regionKept[std::size_t(id)] = 1;
                for (std::uint32_t g : edgeFaces[key])
                    if (region[g] < 0) {
                        region[g] = id;
                        stack.push_back(g);
                    }
            }
        }
    }
    std::vector<Triangle> kept;
    for (std::size_t f = 0; f < count; ++f)
        if (!isNew[f] || regionKept[std::size_t(region[f])])
            kept.push_back(global[f]);
    return kept;
}

// The patch through the repair program; true with the replacement triangles
// (global indices, new vertices appended) when it closed the loop.
bool repairPatch(std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, const VertexFaces& around,
                 const Loop& loop, const PatchRepair& repair, std::vector<std::size_t>& replacedFaces,
                 std::vector<Triangle>& replacement)
{
    const LoopPatch patch = extractPatch(vertices, faces, around, loop);
    if (patch.faces.empty())
        return false;
    const std::size_t patchBoundary = countBoundaryEdges(patch.faces, patch.vertices.size());
    const MeshFixResult result = repair(patch.vertices, patch.faces);
    if (!result.success || result.faces.empty())
        return false;
    if (countBoundaryEdges(result.faces, result.vertices.size()) > patchBoundary)
        return false;

    FlatHashMap<VertexKey, VertexKeyHash> known(patch.vertices.size());
    for (std::size_t i = 0; i < patch.vertices.size(); ++i) {
        const Vec3f p = patch.vertices[i];
        known.tryEmplace({p.x, p.y, p.z}, patch.localToGlobal[i]);
    }
    const std::size_t firstNew = vertices.size();
    std::vector<std::uint32_t> resultToGlobal(result.vertices.size());
    for (std::size_t i = 0; i < result.vertices.size(); ++i) {
        const Vec3f p = result.vertices[i];
        if (const std::uint32_t* g = known.find({p.x, p.y, p.z})) {
            resultToGlobal[i] = *g;
        } else {
            resultToGlobal[i] = std::uint32_t(vertices.size());
            vertices.push_back(p);
        }
    }
    std::vector<Triangle> patchGlobal;
    patchGlobal.reserve(patch.faceIndices.size());
    for (std::size_t f : patch.faceIndices)
        patchGlobal.push_back(faces[f]);
    std::vector<Triangle> kept = keepLoopSideOfResult(result, resultToGlobal, patchGlobal, loop);
    if (countBoundaryEdges(kept, vertices.size()) > patchBoundary) {
        vertices.resize(firstNew);
        return false;
    }

    // The program may have turned the whole patch over; match the mesh again.
    std::unordered_map<std::uint64_t, char> directed;
    for (const Triangle& t : patchGlobal)
        for (int c = 0; c < 3; ++c)
            directed.emplace(std::uint64_t(t[c]) << 32 | t[(c + 1) % 3], 1);
    std::size_t same = 0, reversed = 0;
    for (const Triangle& t : kept)
        for (int c = 0; c < 3; ++c) {
            same += directed.count(std::uint64_t(t[c]) << 32 | t[(c + 1) % 3]);
            reversed += directed.count(std::uint64_t(t[(c + 1) % 3]) << 32 | t[c]);
        }
    if (reversed > same)
        for (Triangle& t : kept)
            std::swap(t[1], t[2]);

    replacedFaces = patch.faceIndices;
    replacement = std::move(kept);
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
               const std::set<std::uint32_t>& keepOpen, const PatchRepair& repair, std::string* error,
               std::atomic<int>* progress, FillStats* stats)
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
    FillStats local;
    VertexFaces around;
    bool aroundValid = false;
    std::vector<Triangle> added;
    for (std::size_t done = 0; done < toFill.size(); ++done) {
        if (progress)
            progress->store(5 + int(85.0 * double(done) / double(toFill.size())));
        const Loop& loop = holeList[toFill[done]];
        const bool inRange =
            std::all_of(loop.begin(), loop.end(), [&](std::uint32_t v) { return v < vertices.size(); });
        if (loop.size() < 3 || !inRange) {
            ++local.skipped;
            continue;
        }
        if (repair) {
            if (!aroundValid) {
                // Fills of earlier loops count as surface for later patches.
                faces.insert(faces.end(), added.begin(), added.end());
                added.clear();
                around.build(faces, vertices.size());
                aroundValid = true;
            }
            std::vector<std::size_t> replaced;
            std::vector<Triangle> replacement;
            if (repairPatch(vertices, faces, around, loop, repair, replaced, replacement)) {
                std::vector<char> drop(faces.size(), 0);
                for (std::size_t f : replaced)
                    drop[f] = 1;
                std::size_t w = 0;
                for (std::size_t f = 0; f < faces.size(); ++f)
                    if (!drop[f])
                        faces[w++] = faces[f];
                faces.resize(w);
                faces.insert(faces.end(), replacement.begin(), replacement.end());
                aroundValid = false;
                ++local.patched;
                continue;
            }
        }
        if (triangulateLoop(vertices, loop, added) > 0)
            ++local.triangulated;
        else
            ++local.skipped;
    }
    faces.insert(faces.end(), added.begin(), added.end());
    if (progress)
        progress->store(90);
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
                                  const std::set<std::uint32_t>& keepOpen, std::string* error,
                                  std::atomic<int>* progress)
{
    if (!hasMesh()) {
        if (error)
            *error = "No mesh loaded.";
        return false;
    }
    holes::PatchRepair repair;
    // Without the program every patch attempt would fail the same way.
    if (!findMeshFixExecutable().isEmpty())
        repair = [](const std::vector<Vec3f>& v, const std::vector<Triangle>& f) { return runMeshFix(v, f); };
    std::vector<Vec3f> newVertices = vertices.vec();
    std::vector<Triangle> newFaces = faces.vec();
    if (!holes::fillHoles(newVertices, newFaces, holeList, keepOpen, repair, error, progress))
        return false;
    vertices.assign(std::move(newVertices));
    faces.assign(std::move(newFaces));
    updateCaches();
    return true;
}
