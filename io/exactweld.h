#pragma once

#include "model/mesh/flathash.h"
#include "model/mesh/scratcharray.h"
#include "model/mesh/meshtypes.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

// How insertManyInParallel splits its input.
struct WeldSplit {
    // Smallest piece worth a thread: smaller inputs lose more to the
    // threads' start and the join than the split saves (measured at 2 M
    // triangles, 6 M corners).
    std::size_t minPiece = std::size_t(6) << 20;
    // Most pieces; 0 takes the hardware threads.
    unsigned threads = 0;
};

// The point merging of VTK's STL reader and of its clean filter at tolerance
// 0: points merge only when their coordinates compare equal (so -0.0 merges
// with 0.0), and groups are numbered in the order they are first seen. The
// native readers use it to give the VTK pipeline's arrays exactly.
class ExactWeld {
public:
    explicit ExactWeld(std::size_t expectedPoints = 0);

    // Group of p, a new one (numbered points().size()) when no equal point
    // was inserted before. Coordinates must be finite.
    std::uint32_t insert(const Vec3f& p);
    // Groups of the n points point(0) .. point(n - 1) at once, faster than
    // one by one on large inputs. False (groups incomplete) as soon as a
    // point has a non-finite coordinate.
    template <class Point>
    bool insertMany(std::size_t n, Point point, std::uint32_t* groups);
    bool insertMany(const Vec3f* points, std::size_t n, std::uint32_t* groups)
    {
        return insertMany(n, [points](std::size_t i) { return points[i]; }, groups);
    }
    // insertMany on an empty weld, split over the hardware threads when the
    // input is large: each piece welds on its own, then the pieces' points
    // join this weld in piece order, which is the order they are first seen
    // in, and their groups are renumbered. The groups equal insertMany's.
    template <class Point>
    bool insertManyInParallel(std::size_t n, Point point, std::uint32_t* groups, const WeldSplit& split = {});
    bool insertManyInParallel(const Vec3f* points, std::size_t n, std::uint32_t* groups,
                              const WeldSplit& split = {})
    {
        return insertManyInParallel(n, [points](std::size_t i) { return points[i]; }, groups, split);
    }

    // First-seen coordinates of every group.
    const std::vector<Vec3f>& points() const { return points_; }
    std::vector<Vec3f>& points() { return points_; }
    // Hands the points over, leaving the weld empty.
    std::vector<Vec3f> takePoints() { return std::move(points_); }

private:
    // A table slot holds the group and 32 more bits of the hash: a lookup
    // compares the point's coordinates only when those bits agree, so the
    // table is half the size of one holding the coordinates.
    struct Slot {
        std::uint32_t group;
        std::uint32_t tag;
    };
    struct Recent {
        Vec3f p;
        std::uint32_t group;
    };
    static constexpr std::uint32_t kEmpty = ~std::uint32_t(0);
    // The last point seen per hash bucket, small enough for the core's own
    // cache. Scans list neighbouring triangles together, so most corners
    // repeat one seen a few dozen corners before and never reach the table,
    // whose lookups wait for memory and, on 4 KiB pages, for the TLB.
    static constexpr std::size_t kRecent = 8192;
    static std::uint32_t keyBits(float f)
    {
        std::uint32_t b;
        std::memcpy(&b, &f, 4);
        return b == 0x80000000u ? 0u : b; // -0.0 as 0.0
    }
    static std::uint64_t hashOf(const Vec3f& p)
    {
        return mixBits((std::uint64_t(keyBits(p.x)) << 32 | keyBits(p.y))
                       ^ (std::uint64_t(keyBits(p.z)) * 0x9e3779b97f4a7c15ULL));
    }
    // Float equality: -0.0 equals 0.0, as in the hash; no NaN gets here.
    static bool same(const Vec3f& a, const Vec3f& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
    void grow();
    // Linear probing stays short up to 70 % load.
    bool full(std::size_t more) const { return (points_.size() + more) * 10 > slots_.size() * 7; }
    std::uint32_t insertAt(const Vec3f& p, std::uint64_t hash);

    ScratchArray<Slot> slots_; // group kEmpty when free
    std::size_t mask_ = 0;
    ScratchArray<Recent> recent_;
    std::vector<Vec3f> points_;
};

// The last two steps of the VTK pipeline on triangles given as point numbers:
// groups (null: the point numbers are the groups) decide which points are
// equal, a triangle with two corners in one group is dropped, and the
// remaining points are renumbered in the order the triangles first use them,
// each taking the coordinates of that first use. keepPointsOfDropped keeps
// the points a dropped triangle uses first, as the clean filter does; the
// STL reader drops such triangles before the filter sees them.
void compactTriangles(const std::vector<Vec3f>& points, const std::uint32_t* groups, std::size_t groupCount,
                      const Triangle* triangles, std::size_t triangleCount, bool keepPointsOfDropped,
                      std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

template <class Point>
bool ExactWeld::insertMany(std::size_t n, Point point, std::uint32_t* groups)
{
    // Corners the recent points do not answer are hashed a batch ahead and
    // their slots prefetched. Most of a batch is answered, so the batch is
    // long enough to keep several table lookups in flight.
    constexpr std::size_t kBatch = 64;
    std::uint64_t hashes[kBatch];
    Vec3f batch[kBatch];
    bool seen[kBatch];
    for (std::size_t start = 0; start < n; start += kBatch) {
        const std::size_t m = std::min(kBatch, n - start);
        if (full(m))
            grow();
        for (std::size_t k = 0; k < m; ++k) {
            batch[k] = point(start + k);
            if (!(std::isfinite(batch[k].x) && std::isfinite(batch[k].y) && std::isfinite(batch[k].z)))
                return false;
            hashes[k] = hashOf(batch[k]);
            const Recent& r = recent_[hashes[k] & (kRecent - 1)];
            seen[k] = r.group != kEmpty && same(r.p, batch[k]);
            if (seen[k])
                groups[start + k] = r.group;
            else
                __builtin_prefetch(&slots_[hashes[k] & mask_]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            if (seen[k])
                continue;
            const std::uint32_t g = insertAt(batch[k], hashes[k]);
            groups[start + k] = g;
            recent_[hashes[k] & (kRecent - 1)] = Recent{batch[k], g};
        }
    }
    return true;
}

template <class Point>
bool ExactWeld::insertManyInParallel(std::size_t n, Point point, std::uint32_t* groups, const WeldSplit& split)
{
    const unsigned threads = split.threads ? split.threads : std::max(1u, std::thread::hardware_concurrency());
    const std::size_t pieces = std::min<std::size_t>(threads, n / std::max<std::size_t>(1, split.minPiece));
    if (pieces < 2 || !points_.empty())
        return insertMany(n, point, groups);

    std::vector<std::size_t> cut(pieces + 1);
    for (std::size_t i = 0; i <= pieces; ++i)
        cut[i] = n * i / pieces;
    const std::size_t expected = slots_.size() * 7 / 10;
    std::vector<ExactWeld> welds;
    for (std::size_t i = 1; i < pieces; ++i)
        welds.emplace_back(expected * (cut[i + 1] - cut[i]) / n);
    std::vector<char> ok(pieces, 0);
    const auto runPieces = [&](auto work) {
        std::vector<std::thread> threads;
        for (std::size_t i = 1; i < pieces; ++i)
            threads.emplace_back(work, i);
        work(0);
        for (std::thread& t : threads)
            t.join();
    };
    runPieces([&](std::size_t i) {
        const auto piecePoint = [&point, first = cut[i]](std::size_t j) { return point(first + j); };
        ExactWeld& weld = i == 0 ? *this : welds[i - 1];
        ok[i] = weld.insertMany(cut[i + 1] - cut[i], piecePoint, groups + cut[i]);
    });
    for (char pieceOk : ok)
        if (!pieceOk)
            return false;

    std::vector<std::vector<std::uint32_t>> renumber(pieces);
    for (std::size_t i = 1; i < pieces; ++i) {
        const std::vector<Vec3f> local = welds[i - 1].takePoints();
        welds[i - 1] = ExactWeld();
        renumber[i].resize(local.size());
        insertMany(local.data(), local.size(), renumber[i].data());
    }
    // Renumber the later pieces' groups, each thread taking an equal share.
    runPieces([&](std::size_t t) {
        const std::size_t begin = cut[1] + (n - cut[1]) * t / pieces;
        const std::size_t end = cut[1] + (n - cut[1]) * (t + 1) / pieces;
        for (std::size_t i = 1; i < pieces; ++i) {
            const std::uint32_t* map = renumber[i].data();
            for (std::size_t j = std::max(begin, cut[i]); j < std::min(end, cut[i + 1]); ++j)
                groups[j] = map[groups[j]];
        }
    });
    return true;
}
