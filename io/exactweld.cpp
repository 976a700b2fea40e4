#include "io/exactweld.h"

#include "model/mesh/flathash.h"
#include "model/mesh/hugepages.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kEmpty = std::numeric_limits<std::uint32_t>::max();

std::uint32_t keyBits(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    return b == 0x80000000u ? 0u : b; // -0.0 hashes like 0.0
}

std::size_t capacityFor(std::size_t expected)
{
    std::size_t c = 1024;
    while (c < expected * 2)
        c *= 2;
    return c;
}

} // namespace

ExactWeld::ExactWeld(std::size_t expectedPoints)
{
    slots_.assign(capacityFor(expectedPoints), kEmpty);
    mask_ = slots_.size() - 1;
    hugepages::reserve(points_, expectedPoints);
}

std::uint64_t ExactWeld::hashOf(const Vec3f& p)
{
    const std::uint64_t a = keyBits(p.x), b = keyBits(p.y), c = keyBits(p.z);
    return mixBits((a << 32 | b) ^ (c * 0x9e3779b97f4a7c15ULL));
}

void ExactWeld::grow()
{
    slots_.assign(slots_.size() * 2, kEmpty);
    mask_ = slots_.size() - 1;
    for (std::uint32_t g = 0; g < points_.size(); ++g) {
        std::size_t i = hashOf(points_[g]) & mask_;
        while (slots_[i] != kEmpty)
            i = (i + 1) & mask_;
        slots_[i] = g;
    }
}

std::uint32_t ExactWeld::insert(const Vec3f& p)
{
    if ((points_.size() + 1) * 2 > slots_.size())
        grow();
    std::size_t i = hashOf(p) & mask_;
    for (;; i = (i + 1) & mask_) {
        const std::uint32_t g = slots_[i];
        if (g == kEmpty)
            break;
        if (points_[g] == p)
            return g;
    }
    const auto g = std::uint32_t(points_.size());
    slots_[i] = g;
    points_.push_back(p);
    return g;
}

void ExactWeld::insertMany(const Vec3f* points, std::size_t n, std::uint32_t* groups)
{
    // Hash a batch ahead and prefetch its slots: the table is far larger than
    // the cache, so each lookup would otherwise wait for memory.
    constexpr std::size_t kBatch = 16;
    std::uint64_t hashes[kBatch];
    for (std::size_t start = 0; start < n; start += kBatch) {
        const std::size_t m = std::min(kBatch, n - start);
        if ((points_.size() + m) * 2 > slots_.size())
            grow();
        for (std::size_t k = 0; k < m; ++k) {
            hashes[k] = hashOf(points[start + k]);
            __builtin_prefetch(&slots_[hashes[k] & mask_]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            const Vec3f& p = points[start + k];
            std::size_t i = hashes[k] & mask_;
            std::uint32_t found = kEmpty;
            for (;; i = (i + 1) & mask_) {
                const std::uint32_t g = slots_[i];
                if (g == kEmpty)
                    break;
                if (points_[g] == p) {
                    found = g;
                    break;
                }
            }
            if (found == kEmpty) {
                found = std::uint32_t(points_.size());
                slots_[i] = found;
                points_.push_back(p);
            }
            groups[start + k] = found;
        }
    }
}

void compactTriangles(const std::vector<Vec3f>& points, const std::uint32_t* groups, std::size_t groupCount,
                      const std::vector<Triangle>& triangles, bool keepPointsOfDropped, std::vector<Vec3f>& vertices,
                      std::vector<Triangle>& faces)
{
    hugepages::Buffer<std::uint32_t> number(groupCount, kEmpty);
    vertices.clear();
    faces.clear();
    hugepages::reserve(vertices, groupCount);
    hugepages::reserve(faces, triangles.size());
    for (const Triangle& t : triangles) {
        std::uint32_t g[3];
        for (int k = 0; k < 3; ++k)
            g[k] = groups ? groups[t.v[k]] : t.v[k];
        const bool dropped = g[0] == g[1] || g[1] == g[2] || g[0] == g[2];
        if (dropped && !keepPointsOfDropped)
            continue;
        Triangle out;
        for (int k = 0; k < 3; ++k) {
            std::uint32_t& n = number[g[k]];
            if (n == kEmpty) {
                n = std::uint32_t(vertices.size());
                vertices.push_back(points[t.v[k]]);
            }
            out.v[k] = n;
        }
        if (!dropped)
            faces.push_back(out);
    }
}
