#include "model/drawing/drawingcleanup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace {

long long roundHalfAway(double value)
{
    return static_cast<long long>(std::llround(value));
}

float length2D(const DrawingEdge2D& e)
{
    return std::hypot(e.x2 - e.x1, e.y2 - e.y1);
}

} // namespace

int drawingEdgePriority(std::int32_t type)
{
    switch (type) {
    case kDrawingSilhouette: return 4;
    case kDrawingFeature:
    case kDrawingBoundary: return 3;
    case kDrawingContour: return 2;
    case kDrawingHidden: return 1;
    default: return 0;
    }
}

namespace {

// Union-find over edge indices, for the clutter clusters.
struct Clusters {
    std::vector<std::uint32_t> parent;
    explicit Clusters(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    std::uint32_t find(std::uint32_t i)
    {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    }
    void join(std::uint32_t a, std::uint32_t b)
    {
        a = find(a);
        b = find(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    }
};

struct CellKeyHash {
    std::size_t operator()(std::uint64_t k) const { return std::hash<std::uint64_t>()(k * 0x9E3779B97F4A7C15ull); }
};

std::uint64_t cellKey(long long cx, long long cy)
{
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(cx)) << 32) | static_cast<std::uint32_t>(cy);
}

// Points bucketed in square cells of the query radius, so every neighbour
// within the radius is in the 3 x 3 block around a point's cell.
class PointGrid {
public:
    PointGrid(float cellSize) : inv_(cellSize > 1e-12f ? 1.0 / cellSize : 1e12) {}
    void insert(float x, float y, std::uint32_t id) { cells_[key(x, y)].push_back(id); }
    void erase(float x, float y, std::uint32_t id)
    {
        auto it = cells_.find(key(x, y));
        if (it == cells_.end())
            return;
        auto& ids = it->second;
        ids.erase(std::remove(ids.begin(), ids.end(), id), ids.end());
    }
    template <class Visit>
    void forNear(float x, float y, Visit&& visit) const
    {
        const long long cx = cellCoord(x), cy = cellCoord(y);
        for (long long dx = -1; dx <= 1; ++dx)
            for (long long dy = -1; dy <= 1; ++dy) {
                auto it = cells_.find(cellKey(cx + dx, cy + dy));
                if (it == cells_.end())
                    continue;
                for (std::uint32_t id : it->second)
                    if (!visit(id))
                        return;
            }
    }

private:
    long long cellCoord(float c) const { return static_cast<long long>(std::floor(static_cast<double>(c) * inv_)); }
    std::uint64_t key(float x, float y) const { return cellKey(cellCoord(x), cellCoord(y)); }
    double inv_;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>, CellKeyHash> cells_;
};

struct Pt {
    float x, y;
};

void douglasPeucker(const std::vector<Pt>& pts, float epsilon, std::vector<char>& keep)
{
    keep.assign(pts.size(), 0);
    if (pts.empty())
        return;
    keep.front() = keep.back() = 1;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{0, pts.size() - 1}};
    while (!stack.empty()) {
        const auto [first, last] = stack.back();
        stack.pop_back();
        if (last <= first + 1)
            continue;
        const Pt a = pts[first], b = pts[last];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double len = std::hypot(dx, dy);
        double best = -1;
        std::size_t bestIndex = first;
        for (std::size_t i = first + 1; i < last; ++i) {
            const double px = pts[i].x - a.x, py = pts[i].y - a.y;
            // A closed loop has coincident ends: measure from the point then.
            const double d = len > 1e-12 ? std::abs(dx * py - dy * px) / len : std::hypot(px, py);
            if (d > best) {
                best = d;
                bestIndex = i;
            }
        }
        if (best > epsilon) {
            keep[bestIndex] = 1;
            stack.push_back({first, bestIndex});
            stack.push_back({bestIndex, last});
        }
    }
}

} // namespace

std::vector<DrawingEdge2D> dedupeDrawingEdges(const std::vector<DrawingEdge2D>& edges, float tolerance)
{
    const double q = tolerance <= 1e-6f ? 1e6 : 1.0 / tolerance;
    struct Key {
        long long v[4];
        bool operator==(const Key& o) const
        {
            return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2] && v[3] == o.v[3];
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const
        {
            std::uint64_t h = 1469598103934665603ull;
            for (long long x : k.v)
                h = (h ^ static_cast<std::uint64_t>(x)) * 1099511628211ull;
            return static_cast<std::size_t>(h ^ (h >> 29));
        }
    };
    std::unordered_map<Key, std::size_t, KeyHash> firstSeen;
    std::vector<DrawingEdge2D> out;
    out.reserve(edges.size());
    for (const DrawingEdge2D& e : edges) {
        const float dx = e.x2 - e.x1, dy = e.y2 - e.y1;
        const float len2 = dx * dx + dy * dy;
        // NaN fails this test too.
        if (!(len2 > 1e-12f) || !std::isfinite(len2))
            continue;
        long long a[2] = {roundHalfAway(e.x1 * q), roundHalfAway(e.y1 * q)};
        long long b[2] = {roundHalfAway(e.x2 * q), roundHalfAway(e.y2 * q)};
        if (b[0] < a[0] || (b[0] == a[0] && b[1] < a[1]))
            std::swap(a, b);
        const Key key{{a[0], a[1], b[0], b[1]}};
        const auto [it, fresh] = firstSeen.try_emplace(key, out.size());
        if (fresh) {
            out.push_back(e);
            continue;
        }
        DrawingEdge2D& held = out[it->second];
        const int pe = drawingEdgePriority(e.type), ph = drawingEdgePriority(held.type);
        if (pe > ph || (pe == ph && len2 > (held.x2 - held.x1) * (held.x2 - held.x1) + (held.y2 - held.y1) * (held.y2 - held.y1)))
            held = e;
    }
    return out;
}

std::vector<DrawingEdge2D> chainAndSimplifyDrawingEdges(const std::vector<DrawingEdge2D>& edges, float joinTolerance,
                                                        float epsilon)
{
    std::vector<DrawingEdge2D> out;
    const float join2 = joinTolerance * joinTolerance;
    for (std::int32_t type : {kDrawingSilhouette, kDrawingFeature, kDrawingBoundary, kDrawingContour, kDrawingHidden}) {
        std::vector<DrawingEdge2D> own;
        for (const DrawingEdge2D& e : edges)
            if (e.type == type)
                own.push_back(e);
        if (own.empty())
            continue;
        PointGrid grid(std::max(joinTolerance, 1e-6f));
        for (std::uint32_t i = 0; i < own.size(); ++i) {
            grid.insert(own[i].x1, own[i].y1, i);
            grid.insert(own[i].x2, own[i].y2, i);
        }
        std::vector<char> used(own.size(), 0);
        const auto take = [&](std::uint32_t i) {
            used[i] = 1;
            grid.erase(own[i].x1, own[i].y1, i);
            grid.erase(own[i].x2, own[i].y2, i);
        };
        // Nearest unused edge end within the tolerance of (x, y); returns the
        // far end of that edge.
        const auto next = [&](Pt from, Pt& far) {
            std::int64_t best = -1;
            float bestD = join2;
            bool bestFirst = true;
            grid.forNear(from.x, from.y, [&](std::uint32_t j) {
                if (used[j])
                    return true;
                const DrawingEdge2D& o = own[j];
                const float d1 = (o.x1 - from.x) * (o.x1 - from.x) + (o.y1 - from.y) * (o.y1 - from.y);
                const float d2 = (o.x2 - from.x) * (o.x2 - from.x) + (o.y2 - from.y) * (o.y2 - from.y);
                if (d1 <= bestD) {
                    bestD = d1;
                    best = j;
                    bestFirst = true;
                }
                if (d2 < bestD) {
                    bestD = d2;
                    best = j;
                    bestFirst = false;
                }
                return true;
            });
            if (best < 0)
                return false;
            const DrawingEdge2D& o = own[static_cast<std::size_t>(best)];
            far = bestFirst ? Pt{o.x2, o.y2} : Pt{o.x1, o.y1};
            take(static_cast<std::uint32_t>(best));
            return true;
        };

        std::vector<Pt> front, back, line;
        std::vector<char> keep;
        for (std::uint32_t i = 0; i < own.size(); ++i) {
            if (used[i])
                continue;
            take(i);
            back = {{own[i].x1, own[i].y1}, {own[i].x2, own[i].y2}};
            Pt far{};
            while (next(back.back(), far))
                back.push_back(far);
            front.clear();
            Pt from = back.front();
            while (next(from, far)) {
                front.push_back(far);
                from = far;
            }
            line.assign(front.rbegin(), front.rend());
            line.insert(line.end(), back.begin(), back.end());
            douglasPeucker(line, epsilon, keep);
            Pt prev{};
            bool havePrev = false;
            for (std::size_t k = 0; k < line.size(); ++k) {
                if (!keep[k])
                    continue;
                if (havePrev && std::hypot(line[k].x - prev.x, line[k].y - prev.y) > 1e-6f)
                    out.push_back({prev.x, prev.y, line[k].x, line[k].y, type});
                if (!havePrev || std::hypot(line[k].x - prev.x, line[k].y - prev.y) > 1e-6f)
                    prev = line[k];
                havePrev = true;
            }
        }
    }
    return out;
}

std::vector<DrawingEdge2D> filterDrawingClutter(const std::vector<DrawingEdge2D>& edges, float diagonal,
                                                const DrawingOptions& options)
{
    if (edges.empty())
        return {};
    const float radius = 0.01f * diagonal;
    const float radius2 = radius * radius;
    // Cells so small that any two ends in one cell are within the radius:
    // a cell joins its edges at once, and a pair of cells needs one close
    // pair of ends, looked for only while the two are still apart. Dense
    // outlines (every wall edge projects onto the rim) stay linear.
    const float cell = std::max(radius / 1.5f, 1e-12f);
    const double inv = 1.0 / cell;
    const auto coord = [inv](float c) { return static_cast<long long>(std::floor(static_cast<double>(c) * inv)); };
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>, CellKeyHash> cells; // end = 2 * edge + side
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        cells[cellKey(coord(edges[i].x1), coord(edges[i].y1))].push_back(2 * i);
        cells[cellKey(coord(edges[i].x2), coord(edges[i].y2))].push_back(2 * i + 1);
    }
    const auto endX = [&](std::uint32_t end) { return end & 1u ? edges[end >> 1].x2 : edges[end >> 1].x1; };
    const auto endY = [&](std::uint32_t end) { return end & 1u ? edges[end >> 1].y2 : edges[end >> 1].y1; };
    Clusters clusters(edges.size());
    for (const auto& [key, ends] : cells)
        for (std::uint32_t end : ends)
            clusters.join(ends.front() >> 1, end >> 1);
    const int reach = static_cast<int>(std::ceil(radius / cell));
    for (const auto& [key, ends] : cells) {
        const long long cx = coord(endX(ends.front())), cy = coord(endY(ends.front()));
        for (long long dx = 0; dx <= reach; ++dx)
            for (long long dy = -reach; dy <= reach; ++dy) {
                if (dx == 0 && dy <= 0)
                    continue; // each pair of cells once
                const auto other = cells.find(cellKey(cx + dx, cy + dy));
                if (other == cells.end())
                    continue;
                bool joined = clusters.find(ends.front() >> 1) == clusters.find(other->second.front() >> 1);
                for (std::size_t a = 0; a < ends.size() && !joined; ++a)
                    for (std::size_t b = 0; b < other->second.size() && !joined; ++b) {
                        const float ex = endX(ends[a]) - endX(other->second[b]);
                        const float ey = endY(ends[a]) - endY(other->second[b]);
                        if (ex * ex + ey * ey < radius2) {
                            clusters.join(ends[a] >> 1, other->second[b] >> 1);
                            joined = true;
                        }
                    }
            }
    }

    struct Summary {
        double length = 0;
        float minX = std::numeric_limits<float>::max(), minY = std::numeric_limits<float>::max();
        float maxX = std::numeric_limits<float>::lowest(), maxY = std::numeric_limits<float>::lowest();
    };
    std::unordered_map<std::uint32_t, Summary> summaries;
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        Summary& s = summaries[clusters.find(i)];
        const DrawingEdge2D& e = edges[i];
        s.length += length2D(e);
        s.minX = std::min({s.minX, e.x1, e.x2});
        s.maxX = std::max({s.maxX, e.x1, e.x2});
        s.minY = std::min({s.minY, e.y1, e.y2});
        s.maxY = std::max({s.maxY, e.y1, e.y2});
    }
    const double minLength = static_cast<double>(options.minChainLength) * diagonal;
    const double minArea = static_cast<double>(options.minChainArea) * diagonal * diagonal;
    std::vector<DrawingEdge2D> kept;
    kept.reserve(edges.size());
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        const Summary& s = summaries[clusters.find(i)];
        const double area = static_cast<double>(s.maxX - s.minX) * static_cast<double>(s.maxY - s.minY);
        if (s.length >= minLength && area >= minArea)
            kept.push_back(edges[i]);
    }
    return kept;
}

std::vector<DrawingEdge2D> dropCoveredDrawingEdges(const std::vector<DrawingEdge2D>& edges, float tolerance)
{
    const float tol = std::max(tolerance, 1e-6f);
    // Each edge is entered in the cells of points spaced half a cell along
    // it; with cells four tolerances wide, the 3 x 3 block around a point
    // then holds every edge passing within the tolerance of it.
    const float cell = 4.0f * tol;
    const double inv = 1.0 / cell;
    const auto cellOf = [inv](float x, float y) {
        return cellKey(static_cast<long long>(std::floor(x * inv)), static_cast<long long>(std::floor(y * inv)));
    };
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>, CellKeyHash> cells;
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        const DrawingEdge2D& e = edges[i];
        if (!std::isfinite(length2D(e)))
            continue;
        const int steps = static_cast<int>(std::min(1e6f, std::ceil(length2D(e) / (0.5f * cell))));
        std::uint64_t last = ~0ull;
        for (int k = 0; k <= steps; ++k) {
            const float s = steps == 0 ? 0.0f : float(k) / float(steps);
            const std::uint64_t key = cellOf(e.x1 + (e.x2 - e.x1) * s, e.y1 + (e.y2 - e.y1) * s);
            if (key != last)
                cells[key].push_back(i);
            last = key;
        }
    }
    const float tol2 = tol * tol;
    // Stronger: higher class, then longer, then earlier; so of two edges
    // along each other exactly one gives way.
    const auto stronger = [&](std::uint32_t j, std::uint32_t i) {
        const int pj = drawingEdgePriority(edges[j].type), pi = drawingEdgePriority(edges[i].type);
        if (pj != pi)
            return pj > pi;
        const float lj = length2D(edges[j]), li = length2D(edges[i]);
        return lj != li ? lj > li : j < i;
    };
    const auto nearStronger = [&](float x, float y, std::uint32_t i) {
        const long long cx = static_cast<long long>(std::floor(x * inv)), cy = static_cast<long long>(std::floor(y * inv));
        for (long long dx = -1; dx <= 1; ++dx)
            for (long long dy = -1; dy <= 1; ++dy) {
                const auto it = cells.find(cellKey(cx + dx, cy + dy));
                if (it == cells.end())
                    continue;
                for (std::uint32_t j : it->second) {
                    if (j == i || !stronger(j, i))
                        continue;
                    const DrawingEdge2D& o = edges[j];
                    const float ux = o.x2 - o.x1, uy = o.y2 - o.y1;
                    const float len2 = ux * ux + uy * uy;
                    const float t = len2 > 0 ? std::clamp(((x - o.x1) * ux + (y - o.y1) * uy) / len2, 0.0f, 1.0f) : 0.0f;
                    const float px = o.x1 + ux * t - x, py = o.y1 + uy * t - y;
                    if (px * px + py * py <= tol2)
                        return true;
                }
            }
        return false;
    };
    std::vector<DrawingEdge2D> kept;
    kept.reserve(edges.size());
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        const DrawingEdge2D& e = edges[i];
        const float len = length2D(e);
        bool covered = std::isfinite(len);
        const int n = covered ? std::clamp(static_cast<int>(std::ceil(len / (2.0f * tol))) + 1, 2, 64) : 0;
        for (int k = 0; k < n && covered; ++k) {
            const float s = float(k) / float(n - 1);
            covered = nearStronger(e.x1 + (e.x2 - e.x1) * s, e.y1 + (e.y2 - e.y1) * s, i);
        }
        if (!covered)
            kept.push_back(e);
    }
    return kept;
}
