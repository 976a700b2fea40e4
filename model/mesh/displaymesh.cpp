// Render mesh reduction: plain copy up to the target, uniform-grid vertex
// clustering above it. Runs after every geometry change on meshes of several
// million triangles, so the tables are flat open-addressing arrays on
// uninitialised scratch arrays rather than node-based maps.

#include "model/mesh/scratcharray.h"
#include "model/mesh/meshmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::uint32_t kNoCell = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kEmptyKey = std::numeric_limits<std::uint64_t>::max();
constexpr int kMaxCellsPerAxis = 4096;

std::uint64_t mix64(std::uint64_t x)
{
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

std::size_t tableCapacityFor(std::size_t expected)
{
    std::size_t c = 1024;
    while (c < expected * 2)
        c *= 2;
    return c;
}

// Cell key -> cell number, numbered in order of first appearance.
class CellTable {
public:
    explicit CellTable(std::size_t expected) { rehash(tableCapacityFor(expected)); }

    std::size_t size() const { return size_; }

    // Pulls the key's first slot towards the cache ahead of insert().
    void prefetch(std::uint64_t key) const { __builtin_prefetch(&slots_[mix64(key) & (capacity_ - 1)]); }

    // Number of the key's cell; a new key gets the next number.
    std::uint32_t insert(std::uint64_t key)
    {
        if ((size_ + 1) * 2 > capacity_)
            rehash(capacity_ * 2);
        std::size_t i = mix64(key) & (capacity_ - 1);
        for (;;) {
            Slot& s = slots_[i];
            if (s.key == key)
                return s.cell;
            if (s.key == kEmptyKey) {
                s.key = key;
                s.cell = std::uint32_t(size_++);
                return s.cell;
            }
            i = (i + 1) & (capacity_ - 1);
        }
    }

private:
    struct Slot {
        std::uint64_t key;
        std::uint32_t cell;
    };

    void rehash(std::size_t capacity)
    {
        ScratchArray<Slot> old = std::move(slots_);
        const std::size_t oldCapacity = capacity_;
        slots_ = ScratchArray<Slot>(capacity, Slot{kEmptyKey, 0});
        capacity_ = capacity;
        for (std::size_t j = 0; j < oldCapacity; ++j) {
            if (old[j].key == kEmptyKey)
                continue;
            std::size_t i = mix64(old[j].key) & (capacity_ - 1);
            while (slots_[i].key != kEmptyKey)
                i = (i + 1) & (capacity_ - 1);
            slots_[i] = old[j];
        }
    }

    ScratchArray<Slot> slots_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

// Set of triangles identified by their sorted vertex numbers. The smallest
// number can never be the maximum value, which marks an empty slot.
class SortedTriangleSet {
public:
    explicit SortedTriangleSet(std::size_t expected) { rehash(tableCapacityFor(expected)); }

    void prefetch(std::uint32_t a, std::uint32_t b, std::uint32_t c) const
    {
        __builtin_prefetch(&slots_[hash(a, b, c) & (capacity_ - 1)]);
    }

    // True when {a, b, c} (a < b < c) was not in the set yet.
    bool insert(std::uint32_t a, std::uint32_t b, std::uint32_t c)
    {
        if ((size_ + 1) * 2 > capacity_)
            rehash(capacity_ * 2);
        std::size_t i = hash(a, b, c) & (capacity_ - 1);
        for (;;) {
            Key& k = slots_[i];
            if (k.a == kNoCell) {
                k = Key{a, b, c};
                ++size_;
                return true;
            }
            if (k.a == a && k.b == b && k.c == c)
                return false;
            i = (i + 1) & (capacity_ - 1);
        }
    }

private:
    struct Key {
        std::uint32_t a, b, c;
    };

    static std::uint64_t hash(std::uint32_t a, std::uint32_t b, std::uint32_t c)
    {
        return mix64((std::uint64_t(a) << 32 | b) ^ (std::uint64_t(c) * 0x9e3779b97f4a7c15ULL));
    }

    void rehash(std::size_t capacity)
    {
        ScratchArray<Key> old = std::move(slots_);
        const std::size_t oldCapacity = capacity_;
        slots_ = ScratchArray<Key>(capacity, Key{kNoCell, 0, 0});
        capacity_ = capacity;
        for (std::size_t j = 0; j < oldCapacity; ++j) {
            if (old[j].a == kNoCell)
                continue;
            std::size_t i = hash(old[j].a, old[j].b, old[j].c) & (capacity_ - 1);
            while (slots_[i].a != kNoCell)
                i = (i + 1) & (capacity_ - 1);
            slots_[i] = old[j];
        }
    }

    ScratchArray<Key> slots_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
};

bool isFinite(const Vec3f& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

struct Grid {
    Vec3f min;
    float size[3] = {1, 1, 1};
    std::int64_t count[3] = {1, 1, 1};

    // Cell index along one axis; a non-finite quotient (zero cell size on a
    // flat axis) lands in cell 0.
    std::int64_t index(float value, int axis) const
    {
        const float q = (value - min[axis]) / size[axis];
        if (!std::isfinite(q))
            return 0;
        const float f = std::floor(q);
        if (f <= 0.0f)
            return 0;
        const std::int64_t i = std::int64_t(f);
        return std::min(i, count[axis] - 1);
    }

    std::uint64_t key(const Vec3f& p) const
    {
        return std::uint64_t(index(p.x, 0) + count[0] * (index(p.y, 1) + count[1] * index(p.z, 2)));
    }
};

// All in 32-bit floats, so every platform clusters alike. Bounds ignore
// non-finite coordinates; false when no vertex is finite.
bool makeGrid(const SharedArray<Vec3f>& vertices, std::size_t targetFaces, Grid& grid)
{
    const float inf = std::numeric_limits<float>::infinity();
    Vec3f lo{inf, inf, inf}, hi{-inf, -inf, -inf};
    for (const Vec3f& p : vertices) {
        if (!isFinite(p))
            continue;
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    if (!(lo.x <= hi.x))
        return false;
    const Vec3f e = hi - lo;
    const float area = 2.0f * (e.z * e.x + e.z * e.y + e.y * e.x);
    const float cell = std::max(std::sqrt(std::max(area, 1e-6f) / float(targetFaces)), 1e-6f);
    grid.min = lo;
    for (int a = 0; a < 3; ++a) {
        // Clamp in float first: a huge extent over a tiny cell overflows int,
        // and extents near the float limit overflow to inf / inf = NaN.
        float n = std::ceil(e[a] / cell);
        if (!(n >= 1.0f))
            n = 1.0f;
        n = std::min(n, float(kMaxCellsPerAxis));
        grid.count[a] = std::int64_t(n);
        grid.size[a] = e[a] / float(grid.count[a]);
    }
    return true;
}

// A clustered triangle is drawn only when it faces the way its source
// triangle did. Where the grid folds the surface over itself, clustering
// turns triangles inside out, and a cell mean can land on the line through
// the other two: such a triangle would be shaded from a normal that points
// into the part or nowhere, and shows as a dark speckle. Dropping it opens
// no hole, since the fold's other layers cover the same spot.
bool keepsOrientation(const Vec3f& s0, const Vec3f& s1, const Vec3f& s2, const Vec3f& c0, const Vec3f& c1,
                      const Vec3f& c2)
{
    // Cosine to the source normal below which the triangle is edge-on to the
    // surface (its normal meaningless) or inside out.
    constexpr float kMinCos = 0.02f;
    const Vec3f ns = cross(s1 - s0, s2 - s0);
    const Vec3f nc = cross(c1 - c0, c2 - c0);
    // In double: squared lengths of tiny triangles would underflow in float.
    const double d = double(dot(ns, nc));
    return d > 0.0 && d * d > double(kMinCos * kMinCos) * double(dot(ns, ns)) * double(dot(nc, nc));
}

} // namespace

void MeshModel::buildDisplayMesh(const SharedArray<Triangle>& sourceFaces, std::size_t targetFaces,
                                 SharedArray<Vec3f>& outVertices, SharedArray<Triangle>& outFaces) const
{
    outVertices.clear();
    outFaces.clear();
    const std::size_t vertexCount = vertices.size();
    if (vertexCount == 0 || sourceFaces.empty())
        return;
    targetFaces = std::max<std::size_t>(targetFaces, 1);

    if (sourceFaces.size() <= targetFaces) {
        // Shared, not duplicated, unless a triangle has to be left out.
        outVertices = vertices;
        const auto& src = sourceFaces.vec();
        if (std::all_of(src.begin(), src.end(), [&](const Triangle& t) { return t.inRange(vertexCount); })) {
            outFaces = sourceFaces;
        } else {
            std::vector<Triangle> kept;
            kept.reserve(src.size());
            for (const Triangle& t : src)
                if (t.inRange(vertexCount))
                    kept.push_back(t);
            outFaces.assign(std::move(kept));
        }
        return;
    }

    Grid grid;
    if (!makeGrid(vertices, targetFaces, grid))
        return;

    // Cell of every vertex, and the running sums of every cell.
    CellTable cells(targetFaces);
    ScratchArray<std::uint32_t> vertexCell(vertexCount);
    std::vector<float> sums;
    std::vector<std::uint32_t> counts;
    sums.reserve(3 * targetFaces);
    counts.reserve(targetFaces);
    // Keys of a batch of vertices first, their table slots prefetched; then
    // the numbering in vertex order, exactly as one by one. The tables are
    // larger than the cache, and a lookup otherwise waits for memory.
    constexpr std::size_t kBatch = 16;
    std::uint64_t keys[kBatch];
    std::uint64_t lastKey = kEmptyKey;
    std::uint32_t lastCell = 0;
    const Vec3f* v = vertices.data();
    for (std::size_t start = 0; start < vertexCount; start += kBatch) {
        const std::size_t m = std::min(kBatch, vertexCount - start);
        for (std::size_t k = 0; k < m; ++k) {
            const Vec3f& p = v[start + k];
            keys[k] = isFinite(p) ? grid.key(p) : kEmptyKey;
            if (keys[k] != kEmptyKey)
                cells.prefetch(keys[k]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            const std::size_t i = start + k;
            const Vec3f& p = v[i];
            const std::uint64_t key = keys[k];
            if (key == kEmptyKey) {
                // A broken coordinate must not drag a whole cell to NaN.
                vertexCell[i] = kNoCell;
                continue;
            }
            if (key != lastKey) {
                // Neighbouring vertices usually share a cell: skip the lookup.
                lastKey = key;
                lastCell = cells.insert(key);
                if (lastCell == counts.size()) {
                    sums.insert(sums.end(), {0.0f, 0.0f, 0.0f});
                    counts.push_back(0);
                }
            }
            vertexCell[i] = lastCell;
            float* s = &sums[3 * std::size_t(lastCell)];
            s[0] += p.x;
            s[1] += p.y;
            s[2] += p.z;
            ++counts[lastCell];
        }
    }

    std::vector<Vec3f> outV;
    outV.reserve(counts.size());
    for (std::size_t c = 0; c < counts.size(); ++c) {
        const float n = float(counts[c]);
        outV.emplace_back(sums[3 * c] / n, sums[3 * c + 1] / n, sums[3 * c + 2] / n);
    }

    std::vector<Triangle> outF;
    outF.reserve(targetFaces);
    SortedTriangleSet seen(std::min(kDisplayFaceCap, 2 * targetFaces));
    struct Candidate {
        std::uint32_t c[3];   // cells in the triangle's order
        std::uint32_t key[3]; // sorted
    };
    const Vec3f* cellMean = outV.data();
    Candidate batch[kBatch];
    const std::size_t faceCount = sourceFaces.size();
    const Triangle* src = sourceFaces.data();
    for (std::size_t start = 0; start < faceCount && outF.size() < kDisplayFaceCap; start += kBatch) {
        std::size_t m = 0;
        for (std::size_t j = start; j < std::min(faceCount, start + kBatch); ++j) {
            const Triangle& t = src[j];
            if (!t.inRange(vertexCount))
                continue;
            const std::uint32_t c0 = vertexCell[t.v[0]], c1 = vertexCell[t.v[1]], c2 = vertexCell[t.v[2]];
            if (c0 == kNoCell || c1 == kNoCell || c2 == kNoCell)
                continue;
            // Equal cell numbers are equal cell keys.
            if (c0 == c1 || c1 == c2 || c0 == c2)
                continue;
            if (!keepsOrientation(v[t.v[0]], v[t.v[1]], v[t.v[2]], cellMean[c0], cellMean[c1], cellMean[c2]))
                continue;
            std::uint32_t a = c0, b = c1, c = c2;
            if (a > b)
                std::swap(a, b);
            if (b > c)
                std::swap(b, c);
            if (a > b)
                std::swap(a, b);
            seen.prefetch(a, b, c);
            batch[m++] = Candidate{{c0, c1, c2}, {a, b, c}};
        }
        for (std::size_t k = 0; k < m; ++k) {
            const Candidate& t = batch[k];
            if (!seen.insert(t.key[0], t.key[1], t.key[2]))
                continue;
            outF.emplace_back(t.c[0], t.c[1], t.c[2]);
            if (outF.size() >= kDisplayFaceCap)
                break;
        }
    }

    outVertices.assign(std::move(outV));
    outFaces.assign(std::move(outF));
}
