#include "tools/meshfix/soup.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace repairprogram {

namespace {

// Faces around each vertex, in compressed rows.
struct VertexFaces {
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> faces;

    VertexFaces(std::size_t vertexCount, const std::vector<Triangle>& tris) : offsets(vertexCount + 1, 0)
    {
        for (const Triangle& t : tris)
            for (int c = 0; c < 3; ++c)
                ++offsets[t[c] + 1];
        for (std::size_t v = 0; v < vertexCount; ++v)
            offsets[v + 1] += offsets[v];
        faces.resize(offsets[vertexCount]);
        std::vector<std::uint32_t> fill(offsets.begin(), offsets.end() - 1);
        for (std::size_t f = 0; f < tris.size(); ++f)
            for (int c = 0; c < 3; ++c)
                faces[fill[tris[f][c]]++] = std::uint32_t(f);
    }
};

// The triangles around v form one fan: their link edges (the side opposite
// v, in winding order) chain into a single path or a single cycle. With
// every directed edge unique, no link vertex has two successors or two
// predecessors, so following successors from the one path start (or from
// anywhere, for a cycle) must visit every link edge.
bool singleFan(std::uint32_t v, const VertexFaces& around, const std::vector<Triangle>& tris,
               std::vector<std::array<std::uint32_t, 2>>& link)
{
    link.clear();
    for (std::uint32_t i = around.offsets[v]; i < around.offsets[v + 1]; ++i) {
        const Triangle& t = tris[around.faces[i]];
        const int c = t[0] == v ? 0 : (t[1] == v ? 1 : 2);
        link.push_back({t[(c + 1) % 3], t[(c + 2) % 3]});
    }
    if (link.size() <= 1)
        return true;
    const auto successorOf = [&link](std::uint32_t a) -> int {
        for (std::size_t i = 0; i < link.size(); ++i)
            if (link[i][0] == a)
                return int(i);
        return -1;
    };
    std::size_t start = 0;
    int heads = 0;
    for (std::size_t i = 0; i < link.size(); ++i) {
        const bool hasPredecessor = std::any_of(link.begin(), link.end(),
                                                [&](const std::array<std::uint32_t, 2>& e) { return e[1] == link[i][0]; });
        if (!hasPredecessor) {
            start = i;
            ++heads;
        }
    }
    if (heads > 1)
        return false;
    std::size_t visited = 0;
    for (int e = int(start); e >= 0 && visited <= link.size(); e = successorOf(link[std::size_t(e)][1])) {
        ++visited;
        if (heads == 0 && visited > 1 && std::size_t(e) == start) {
            --visited;
            break;
        }
    }
    return visited == link.size();
}

} // namespace

SoupCleanup cleanSoup(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    SoupCleanup result;
    const std::size_t vertexCount = vertices.size();
    std::vector<char> finite(vertexCount);
    for (std::size_t v = 0; v < vertexCount; ++v)
        finite[v] = std::isfinite(vertices[v].x) && std::isfinite(vertices[v].y) && std::isfinite(vertices[v].z);
    struct Keyed {
        std::uint64_t low2; // the two smaller corners
        std::uint32_t high; // the largest corner
        std::uint32_t index;
        bool sameCorners(const Keyed& o) const { return low2 == o.low2 && high == o.high; }
    };
    std::vector<Keyed> keys;
    keys.reserve(faces.size());
    std::vector<char> keep(faces.size(), 1);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Triangle& t = faces[f];
        if (!t.inRange(vertexCount) || t[0] == t[1] || t[1] == t[2] || t[0] == t[2] || !finite[t[0]] ||
            !finite[t[1]] || !finite[t[2]]) {
            keep[f] = 0;
            ++result.invalid;
            continue;
        }
        std::uint32_t s[3] = {t[0], t[1], t[2]};
        std::sort(s, s + 3);
        keys.push_back({std::uint64_t(s[0]) << 32 | s[1], s[2], std::uint32_t(f)});
    }
    std::sort(keys.begin(), keys.end(), [](const Keyed& a, const Keyed& b) {
        if (a.low2 != b.low2)
            return a.low2 < b.low2;
        return a.high != b.high ? a.high < b.high : a.index < b.index;
    });
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i].sameCorners(keys[i - 1])) {
            keep[keys[i].index] = 0;
            ++result.duplicates;
        }
    std::size_t w = 0;
    for (std::size_t f = 0; f < faces.size(); ++f)
        if (keep[f])
            faces[w++] = faces[f];
    faces.resize(w);
    return result;
}

bool isOrientedManifold(std::size_t vertexCount, const std::vector<Triangle>& faces)
{
    std::vector<std::uint64_t> directed;
    directed.reserve(faces.size() * 3);
    for (const Triangle& t : faces)
        for (int c = 0; c < 3; ++c)
            directed.push_back(std::uint64_t(t[c]) << 32 | t[(c + 1) % 3]);
    std::sort(directed.begin(), directed.end());
    if (std::adjacent_find(directed.begin(), directed.end()) != directed.end())
        return false;
    directed = {};

    const VertexFaces around(vertexCount, faces);
    std::vector<std::array<std::uint32_t, 2>> link;
    for (std::uint32_t v = 0; v < vertexCount; ++v)
        if (!singleFan(v, around, faces, link))
            return false;
    return true;
}

} // namespace repairprogram
