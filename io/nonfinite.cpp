#include "io/meshimport.h"

#include <cmath>
#include <cstdint>
#include <limits>

std::size_t dropNonFiniteVertices(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    auto finite = [](const Vec3f& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); };
    std::size_t first = 0;
    while (first < vertices.size() && finite(vertices[first]))
        ++first;
    if (first == vertices.size())
        return 0; // the usual case: nothing to renumber

    constexpr std::uint32_t kDropped = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> newIndex(vertices.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        if (i >= first && !finite(vertices[i])) {
            newIndex[i] = kDropped;
            continue;
        }
        newIndex[i] = std::uint32_t(kept);
        vertices[kept++] = vertices[i];
    }
    const std::size_t removed = vertices.size() - kept;
    vertices.resize(kept);

    std::size_t out = 0;
    for (const Triangle& t : faces) {
        // Out-of-range indices stay out of range; consumers skip them.
        Triangle m = t;
        bool keep = true;
        for (int k = 0; k < 3 && keep; ++k) {
            if (t.v[k] >= newIndex.size())
                m.v[k] = std::uint32_t(kept) + (t.v[k] - std::uint32_t(newIndex.size()));
            else if ((m.v[k] = newIndex[t.v[k]]) == kDropped)
                keep = false;
        }
        if (keep)
            faces[out++] = m;
    }
    faces.resize(out);
    return removed;
}
