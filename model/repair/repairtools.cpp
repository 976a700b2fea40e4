#include "model/repair/repairtools.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>


namespace repairtools {

namespace {

std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b)
{
    return a < b ? (std::uint64_t(a) << 32 | b) : (std::uint64_t(b) << 32 | a);
}

// True when t runs from a to b (a then b in its cyclic order).
bool runs(const Triangle& t, std::uint32_t a, std::uint32_t b)
{
    for (int c = 0; c < 3; ++c)
        if (t[c] == a && t[(c + 1) % 3] == b)
            return true;
    return false;
}

} // namespace

std::size_t removeDegenerateAndDuplicateFaces(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> byEdge;
    std::size_t kept = 0;
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Triangle t = faces[f];
        if (!t.inRange(vertices.size()) || t[0] == t[1] || t[1] == t[2] || t[0] == t[2])
            continue;
        const Vec3f n = cross(vertices[t[1]] - vertices[t[0]], vertices[t[2]] - vertices[t[0]]);
        const float area2 = std::sqrt(dot(n, n));
        if (!(area2 > 0.0f))
            continue;
        std::uint32_t s[3] = {t[0], t[1], t[2]};
        std::sort(s, s + 3);
        std::vector<std::uint32_t>& thirds = byEdge[std::uint64_t(s[0]) << 32 | s[1]];
        if (std::find(thirds.begin(), thirds.end(), s[2]) != thirds.end())
            continue;
        thirds.push_back(s[2]);
        faces[kept++] = t;
    }
    const std::size_t removed = faces.size() - kept;
    faces.resize(kept);
    return removed;
}

double signedVolume(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    double volume = 0.0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        const Vec3f a = vertices[t[0]], b = vertices[t[1]], c = vertices[t[2]];
        volume += double(a.x) * (double(b.y) * c.z - double(b.z) * c.y) -
                  double(a.y) * (double(b.x) * c.z - double(b.z) * c.x) +
                  double(a.z) * (double(b.x) * c.y - double(b.y) * c.x);
    }
    return volume;
}

std::size_t orientConsistently(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> edgeFaces;
    for (std::uint32_t f = 0; f < faces.size(); ++f) {
        if (!faces[f].inRange(vertices.size()))
            continue;
        for (int c = 0; c < 3; ++c)
            edgeFaces[edgeKey(faces[f][c], faces[f][(c + 1) % 3])].push_back(f);
    }
    std::vector<char> visited(faces.size(), 0);
    std::vector<char> flipped(faces.size(), 0);
    std::size_t flips = 0;
    for (std::uint32_t seed = 0; seed < faces.size(); ++seed) {
        if (visited[seed] || !faces[seed].inRange(vertices.size()))
            continue;
        std::vector<std::uint32_t> component{seed};
        std::vector<std::uint32_t> stack{seed};
        visited[seed] = 1;
        bool closed = true;
        while (!stack.empty()) {
            const std::uint32_t f = stack.back();
            stack.pop_back();
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t a = faces[f][c], b = faces[f][(c + 1) % 3];
                const std::vector<std::uint32_t>& around = edgeFaces[edgeKey(a, b)];
                if (around.size() != 2) {
                    closed = false;
                    continue; // open or non-manifold: no neighbour to agree with
                }
                const std::uint32_t g = around[0] == f ? around[1] : around[0];
                if (visited[g])
                    continue;
                visited[g] = 1;
                if (runs(faces[g], a, b)) {
                    std::swap(faces[g][1], faces[g][2]);
                    flipped[g] ^= 1;
                }
                component.push_back(g);
                stack.push_back(g);
            }
        }
        if (closed) {
            std::vector<Triangle> part;
            part.reserve(component.size());
            for (std::uint32_t f : component)
                part.push_back(faces[f]);
            if (signedVolume(vertices, part) < 0.0)
                for (std::uint32_t f : component) {
                    std::swap(faces[f][1], faces[f][2]);
                    flipped[f] ^= 1;
                }
        }
        for (std::uint32_t f : component)
            flips += flipped[f];
    }
    return flips;
}

} // namespace repairtools
