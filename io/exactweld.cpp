#include "io/exactweld.h"

#include "model/mesh/scratcharray.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kUnnumbered = std::numeric_limits<std::uint32_t>::max();

std::size_t capacityFor(std::size_t expected)
{
    std::size_t c = 1024;
    while (c * 7 < expected * 10)
        c *= 2;
    return c;
}

} // namespace

ExactWeld::ExactWeld(std::size_t expectedPoints)
{
    slots_ = ScratchArray<Slot>(capacityFor(expectedPoints), Slot{kEmpty, 0});
    mask_ = slots_.size() - 1;
    recent_ = ScratchArray<Recent>(kRecent, Recent{{0, 0, 0}, kEmpty});
    points_.reserve(expectedPoints);
}

void ExactWeld::grow()
{
    slots_ = ScratchArray<Slot>(slots_.size() * 2, Slot{kEmpty, 0});
    mask_ = slots_.size() - 1;
    for (std::uint32_t g = 0; g < points_.size(); ++g) {
        const std::uint64_t h = hashOf(points_[g]);
        std::size_t i = h & mask_;
        while (slots_[i].group != kEmpty)
            i = (i + 1) & mask_;
        slots_[i] = Slot{g, std::uint32_t(h >> 32)};
    }
}

std::uint32_t ExactWeld::insert(const Vec3f& p)
{
    if (full(1))
        grow();
    return insertAt(p, hashOf(p));
}

std::uint32_t ExactWeld::insertAt(const Vec3f& p, std::uint64_t hash)
{
    const auto tag = std::uint32_t(hash >> 32);
    std::size_t i = hash & mask_;
    for (;; i = (i + 1) & mask_) {
        const Slot s = slots_[i];
        if (s.group == kEmpty)
            break;
        if (s.tag == tag && same(points_[s.group], p))
            return s.group;
    }
    const auto g = std::uint32_t(points_.size());
    slots_[i] = Slot{g, tag};
    points_.push_back(p);
    return g;
}

void compactTriangles(const std::vector<Vec3f>& points, const std::uint32_t* groups, std::size_t groupCount,
                      const Triangle* triangles, std::size_t triangleCount, bool keepPointsOfDropped,
                      std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    ScratchArray<std::uint32_t> number(groupCount, kUnnumbered);
    vertices.clear();
    faces.clear();
    vertices.reserve(groupCount);
    faces.reserve(triangleCount);
    for (std::size_t i = 0; i < triangleCount; ++i) {
        const Triangle& t = triangles[i];
        std::uint32_t g[3];
        for (int k = 0; k < 3; ++k)
            g[k] = groups ? groups[t.v[k]] : t.v[k];
        const bool dropped = g[0] == g[1] || g[1] == g[2] || g[0] == g[2];
        if (dropped && !keepPointsOfDropped)
            continue;
        Triangle out;
        for (int k = 0; k < 3; ++k) {
            std::uint32_t& n = number[g[k]];
            if (n == kUnnumbered) {
                n = std::uint32_t(vertices.size());
                vertices.push_back(points[t.v[k]]);
            }
            out.v[k] = n;
        }
        if (!dropped)
            faces.push_back(out);
    }
}
