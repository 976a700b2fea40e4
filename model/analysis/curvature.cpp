#include "model/analysis/curvature.h"

#include <algorithm>
#include <cmath>

std::vector<float> computeCurvature(const MeshModel& model)
{
    const bool display = !model.displayVertices.empty();
    const SharedArray<Vec3f>& vertices = display ? model.displayVertices : model.vertices;
    const SharedArray<Triangle>& faces = display ? model.displayFaces : model.faces;
    const std::size_t n = vertices.size();
    if (n < 3 || faces.empty())
        return {};

    // 1-ring as compressed rows: count, fill, then sort and drop repeats.
    std::vector<std::uint32_t> start(n + 1, 0);
    const auto forEachEdge = [&](auto&& visit) {
        for (const Triangle& t : faces)
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t a = t[k], b = t[(k + 1) % 3];
                if (a < n && b < n)
                    visit(a, b);
            }
    };
    forEachEdge([&](std::uint32_t a, std::uint32_t b) {
        ++start[a + 1];
        ++start[b + 1];
    });
    for (std::size_t i = 0; i < n; ++i)
        start[i + 1] += start[i];
    std::vector<std::uint32_t> ring(start[n]);
    std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
    forEachEdge([&](std::uint32_t a, std::uint32_t b) {
        ring[fill[a]++] = b;
        ring[fill[b]++] = a;
    });

    std::vector<float> values(n, 0.0f);
    float largest = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        auto first = ring.begin() + start[i], last = ring.begin() + start[i + 1];
        std::sort(first, last);
        last = std::unique(first, last);
        const std::size_t count = std::size_t(last - first);
        if (count == 0)
            continue;
        double sx = 0, sy = 0, sz = 0;
        const Vec3f& p = vertices[i];
        for (auto it = first; it != last; ++it) {
            const Vec3f& q = vertices[*it];
            sx += double(q.x) - p.x;
            sy += double(q.y) - p.y;
            sz += double(q.z) - p.z;
        }
        values[i] = float(std::sqrt(sx * sx + sy * sy + sz * sz) / double(count));
        largest = std::max(largest, values[i]);
    }
    if (largest > 1e-8f)
        for (float& v : values)
            v /= largest;
    return values;
}
