#include "model/mesh/meshmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

std::vector<MeshModel::SliceSegment3D> MeshModel::featureEdges(float angleDegrees)
{
    if (vertices.empty() || faces.empty())
        return {};
    const float angle = std::isfinite(angleDegrees) ? std::clamp(angleDegrees, 0.0f, 180.0f) : 0.0f;
    if (featureEdgeCacheValid && std::fabs(featureEdgeCacheAngle - angle) < 0.0001f)
        return featureEdgeCache;

    const std::size_t vertexCount = vertices.size();
    const Vec3f* v = vertices.data();
    std::vector<Vec3f> normals(faces.size());
    struct EdgeFaces {
        std::uint32_t first = 0;
        std::uint32_t second = 0;
        std::uint32_t count = 0;
    };
    std::unordered_map<std::uint64_t, EdgeFaces> edges;
    edges.reserve(faces.size() * 2);
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Triangle& t = faces[f];
        if (!t.inRange(vertexCount))
            continue;
        const Vec3f n = cross(v[t[1]] - v[t[0]], v[t[2]] - v[t[0]]);
        const float len = std::sqrt(dot(n, n));
        normals[f] = len > 1e-10f ? n * (1.0f / len) : Vec3f{};
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t[k], b = t[(k + 1) % 3];
            if (a == b)
                continue;
            const std::uint64_t key = (std::uint64_t(std::min(a, b)) << 32) | std::max(a, b);
            EdgeFaces& e = edges[key];
            if (e.count == 0)
                e.first = std::uint32_t(f);
            else if (e.count == 1)
                e.second = std::uint32_t(f);
            ++e.count;
        }
    }

    const float c = std::cos(angle * 3.14159265358979f / 180.0f);
    std::vector<std::pair<std::uint64_t, SliceSegment3D>> found;
    for (const auto& [key, e] : edges) {
        const bool feature = e.count == 1 || dot(normals[e.first], normals[e.second]) < c;
        if (!feature)
            continue;
        const std::uint32_t lo = std::uint32_t(key >> 32), hi = std::uint32_t(key & 0xffffffffu);
        found.push_back({key, {v[lo], v[hi]}});
    }
    // Hash order would make the lattice and its exports differ between runs.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SliceSegment3D> result;
    result.reserve(found.size());
    for (const auto& entry : found)
        result.push_back(entry.second);

    featureEdgeCache = result;
    featureEdgeCacheAngle = angle;
    featureEdgeCacheValid = true;
    return result;
}
