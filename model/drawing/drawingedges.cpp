#include "model/drawing/drawingedges.h"

#include "model/mesh/polydata.h"
#include "model/mesh/vtkprogress.h"

#include <vtkCellArray.h>
#include <vtkCellArrayIterator.h>
#include <vtkIdList.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkQuadricDecimation.h>
#include <vtkSmartPointer.h>
#include <vtkSmoothPolyDataFilter.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>

namespace {

constexpr float kEmptyCell = std::numeric_limits<float>::lowest();
constexpr float kEmptyCellLimit = -1.7014117e38f;

long long roundHalfAway(double value)
{
    return static_cast<long long>(std::llround(value));
}

bool finite(const Vec3f& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

float length2D(const DrawingEdge2D& e)
{
    return std::hypot(e.x2 - e.x1, e.y2 - e.y1);
}

int priorityOf(std::int32_t type)
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

std::vector<DrawingEdge2D> filterClutter(const std::vector<DrawingEdge2D>& edges, float diagonal,
                                         const DrawingOptions& options)
{
    if (edges.empty())
        return {};
    const float radius = 0.01f * diagonal;
    const float radius2 = radius * radius;
    PointGrid grid(radius);
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        grid.insert(edges[i].x1, edges[i].y1, i);
        grid.insert(edges[i].x2, edges[i].y2, i);
    }
    Clusters clusters(edges.size());
    const auto connect = [&](std::uint32_t i, float x, float y) {
        grid.forNear(x, y, [&](std::uint32_t j) {
            if (j != i) {
                const DrawingEdge2D& o = edges[j];
                const float d1 = (o.x1 - x) * (o.x1 - x) + (o.y1 - y) * (o.y1 - y);
                const float d2 = (o.x2 - x) * (o.x2 - x) + (o.y2 - y) * (o.y2 - y);
                if (d1 < radius2 || d2 < radius2)
                    clusters.join(i, j);
            }
            return true;
        });
    };
    for (std::uint32_t i = 0; i < edges.size(); ++i) {
        connect(i, edges[i].x1, edges[i].y1);
        connect(i, edges[i].x2, edges[i].y2);
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

bool readBack(vtkPolyData* poly, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces)
{
    if (!poly || !poly->GetPoints() || !poly->GetPolys())
        return false;
    const vtkIdType pointCount = poly->GetNumberOfPoints();
    vertices.resize(static_cast<std::size_t>(pointCount));
    for (vtkIdType i = 0; i < pointCount; ++i) {
        double p[3];
        poly->GetPoint(i, p);
        vertices[static_cast<std::size_t>(i)] = Vec3f(float(p[0]), float(p[1]), float(p[2]));
    }
    faces.clear();
    faces.reserve(static_cast<std::size_t>(poly->GetPolys()->GetNumberOfCells()));
    auto it = vtkSmartPointer<vtkCellArrayIterator>::Take(poly->GetPolys()->NewIterator());
    for (it->GoToFirstCell(); !it->IsDoneWithTraversal(); it->GoToNextCell()) {
        vtkIdType n = 0;
        const vtkIdType* ids = nullptr;
        it->GetCurrentCell(n, ids);
        // Fan anything bigger than a triangle; the filters keep triangles.
        for (vtkIdType k = 1; k + 1 < n; ++k)
            faces.emplace_back(std::uint32_t(ids[0]), std::uint32_t(ids[k]), std::uint32_t(ids[k + 1]));
    }
    return !vertices.empty() && !faces.empty();
}

} // namespace

DrawingOptions drawingOptionsFromPanel(DrawingView view, int minSizeSlider, int detailSlider, double zThreshold,
                                       bool includeBoundary, bool includeSharp, bool includeHidden)
{
    const float m = static_cast<float>(minSizeSlider) / 100.0f;
    const float d = static_cast<float>(detailSlider) / 100.0f;
    DrawingOptions o;
    o.view = view;
    o.smoothIterations = static_cast<int>(5.0f * d + 1.0f);
    o.smoothRelaxation = 0.08f * d + 0.02f;
    o.decimation = 0.35f * d + 0.05f;
    o.featureAngle = 30.0f * d + 20.0f;
    o.zThreshold = static_cast<float>(zThreshold);
    o.minChainLength = 0.145f * m + 0.005f;
    o.minChainArea = 0.0099f * m + 0.0001f;
    o.includeBoundary = includeBoundary;
    o.includeSharp = includeSharp;
    o.includeContour = true;
    o.includeHidden = includeHidden;
    o.simplifyTolerance = 0.005f * d + 0.001f;
    return o;
}

const char* drawingViewName(DrawingView view)
{
    return view == DrawingView::Front ? "Front" : (view == DrawingView::Right ? "Right" : "Top");
}

const char* drawingViewFileName(DrawingView view)
{
    return view == DrawingView::Front ? "front" : (view == DrawingView::Right ? "right" : "top");
}

DrawingProjection drawingProjection(DrawingView view)
{
    DrawingProjection p;
    p.view = drawingViewFromIndex(static_cast<int>(view));
    return p;
}

DrawingDepthGrid::DrawingDepthGrid(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                                   const DrawingProjection& projection)
    : projection_(projection)
{
    float minU = std::numeric_limits<float>::max(), minV = minU;
    float maxU = std::numeric_limits<float>::lowest(), maxV = maxU;
    for (const Vec3f& p : vertices) {
        if (!finite(p))
            continue;
        const float u = projection_.u(p), v = projection_.v(p);
        minU = std::min(minU, u);
        maxU = std::max(maxU, u);
        minV = std::min(minV, v);
        maxV = std::max(maxV, v);
    }
    if (minU > maxU)
        return; // no finite vertex: an empty grid sees everything
    minU_ = minU;
    minV_ = minV;
    rangeU_ = std::max(maxU - minU, 0.001f);
    rangeV_ = std::max(maxV - minV, 0.001f);

    const int r = std::clamp(static_cast<int>(std::sqrt(2.0 * static_cast<double>(faces.size()))), 480, 1400);
    const float longer = std::max(rangeU_, rangeV_), shorter = std::min(rangeU_, rangeV_);
    const int shortCells = std::clamp(static_cast<int>(roundHalfAway(r * static_cast<double>(shorter) / longer)), 96, r);
    columns_ = rangeU_ >= rangeV_ ? r : shortCells;
    rows_ = rangeU_ >= rangeV_ ? shortCells : r;
    cells_.assign(static_cast<std::size_t>(columns_) * rows_, kEmptyCell);

    const std::size_t n = vertices.size();
    for (const Triangle& t : faces) {
        if (t[0] >= n || t[1] >= n || t[2] >= n)
            continue;
        const Vec3f& a = vertices[t[0]];
        const Vec3f& b = vertices[t[1]];
        const Vec3f& c = vertices[t[2]];
        if (!finite(a) || !finite(b) || !finite(c))
            continue;
        const float ax = gridU(projection_.u(a)), ay = gridV(projection_.v(a)), ad = projection_.depth(a);
        const float bx = gridU(projection_.u(b)), by = gridV(projection_.v(b)), bd = projection_.depth(b);
        const float cx = gridU(projection_.u(c)), cy = gridV(projection_.v(c)), cd = projection_.depth(c);
        const float area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
        if (area == 0.0f)
            continue;
        const int i0 = std::max(0, static_cast<int>(std::floor(std::min({ax, bx, cx}))));
        const int i1 = std::min(columns_ - 1, static_cast<int>(std::ceil(std::max({ax, bx, cx}))));
        const int j0 = std::max(0, static_cast<int>(std::floor(std::min({ay, by, cy}))));
        const int j1 = std::min(rows_ - 1, static_cast<int>(std::ceil(std::max({ay, by, cy}))));
        const bool ccw = area > 0.0f;
        for (int j = j0; j <= j1; ++j) {
            const float py = static_cast<float>(j) + 0.5f;
            for (int i = i0; i <= i1; ++i) {
                const float px = static_cast<float>(i) + 0.5f;
                const float e0 = (bx - ax) * (py - ay) - (by - ay) * (px - ax); // opposite c
                const float e1 = (cx - bx) * (py - by) - (cy - by) * (px - bx); // opposite a
                const float e2 = (ax - cx) * (py - cy) - (ay - cy) * (px - cx); // opposite b
                const bool inside = ccw ? (e0 >= -0.0001f && e1 >= -0.0001f && e2 >= -0.0001f)
                                        : (e0 <= 0.0001f && e1 <= 0.0001f && e2 <= 0.0001f);
                if (!inside)
                    continue;
                const float depth = (e1 * ad + e2 * bd + e0 * cd) / area;
                float& cell = cells_[static_cast<std::size_t>(j) * columns_ + i];
                cell = std::max(cell, depth);
            }
        }
    }
}

bool DrawingDepthGrid::isEdgeVisible(const Vec3f& a, const Vec3f& b, float tolerance) const
{
    if (columns_ < 2 || rows_ < 2 || cells_.empty())
        return true;
    const float ax = gridU(projection_.u(a)), ay = gridV(projection_.v(a)), ad = projection_.depth(a);
    const float bx = gridU(projection_.u(b)), by = gridV(projection_.v(b)), bd = projection_.depth(b);
    const float cellLength = std::hypot(bx - ax, by - ay);
    if (!std::isfinite(cellLength) || !std::isfinite(ad) || !std::isfinite(bd))
        return true;
    const int n = std::clamp(static_cast<int>(std::ceil(cellLength / 10.0f)), 3, 17);
    int samples = 0, visible = 0;
    for (int i = 0; i < n; ++i) {
        const float s = n == 1 ? 0.5f : static_cast<float>(i) / static_cast<float>(n - 1);
        const float gx = ax + (bx - ax) * s, gy = ay + (by - ay) * s;
        // Samples off the grid say nothing about occlusion.
        if (gx < -0.5f || gy < -0.5f || gx >= columns_ - 0.5f || gy >= rows_ - 0.5f)
            continue;
        const int ci = std::clamp(static_cast<int>(roundHalfAway(gx)), 0, columns_ - 1);
        const int cj = std::clamp(static_cast<int>(roundHalfAway(gy)), 0, rows_ - 1);
        const float depth = ad + (bd - ad) * s;
        const float value = cell(ci, cj);
        ++samples;
        if (value <= kEmptyCellLimit || depth >= value - tolerance)
            ++visible;
    }
    return samples == 0 || visible * 2 >= samples;
}

std::vector<DrawingEdge2D> extractDrawingEdges(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                                               const DrawingOptions& options)
{
    if (vertices.empty() || faces.empty())
        return {};
    const DrawingProjection projection = drawingProjection(options.view);

    Vec3f lo(std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max());
    Vec3f hi(std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest(),
             std::numeric_limits<float>::lowest());
    for (const Vec3f& p : vertices) {
        if (!finite(p))
            continue;
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    }
    if (lo.x > hi.x)
        return {};
    const float diagonal = std::sqrt(dot(hi - lo, hi - lo));
    if (!std::isfinite(diagonal))
        return {};
    const float tolerance = std::max(0.0025f * diagonal, 0.0001f);

    const DrawingDepthGrid grid(vertices, faces, projection);

    std::vector<DrawingEdge2D> edges;
    const bool wantEdges = options.includeBoundary || options.includeSharp || options.includeContour;
    if (wantEdges) {
        const std::size_t n = vertices.size();
        std::vector<Vec3f> normals(faces.size());
        std::vector<char> valid(faces.size(), 0);
        // Half-edges sorted by (vertex pair, triangle): the first two entries
        // of a pair are the first two triangles using that edge.
        struct HalfEdge {
            std::uint64_t key;
            std::uint32_t triangle;
        };
        std::vector<HalfEdge> halfEdges;
        halfEdges.reserve(faces.size() * 3);
        for (std::uint32_t f = 0; f < faces.size(); ++f) {
            const Triangle& t = faces[f];
            if (t[0] >= n || t[1] >= n || t[2] >= n)
                continue;
            const Vec3f &a = vertices[t[0]], &b = vertices[t[1]], &c = vertices[t[2]];
            if (!finite(a) || !finite(b) || !finite(c))
                continue;
            valid[f] = 1;
            const Vec3f nrm = cross(b - a, c - a);
            const float len = std::sqrt(dot(nrm, nrm));
            if (len > 1e-10f)
                normals[f] = nrm * (1.0f / len);
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t p = t[k], q = t[(k + 1) % 3];
                if (p == q)
                    continue;
                const std::uint64_t key = (std::uint64_t(std::min(p, q)) << 32) | std::max(p, q);
                halfEdges.push_back({key, f});
            }
        }
        std::sort(halfEdges.begin(), halfEdges.end(), [](const HalfEdge& x, const HalfEdge& y) {
            return x.key != y.key ? x.key < y.key : x.triangle < y.triangle;
        });

        const float c = std::cos(std::clamp(options.featureAngle, 0.0f, 180.0f) * 3.14159265358979f / 180.0f);
        const float z = std::max(options.zThreshold, 0.001f);
        const auto centroidDepth = [&](std::uint32_t f) {
            const Triangle& t = faces[f];
            return (projection.depth(vertices[t[0]]) + projection.depth(vertices[t[1]]) + projection.depth(vertices[t[2]]))
                   / 3.0f;
        };
        const auto addEdge = [&](const Vec3f& a, const Vec3f& b, std::int32_t type) {
            const bool visible = grid.isEdgeVisible(a, b, tolerance);
            if (!visible && !options.includeHidden)
                return;
            DrawingEdge2D e{projection.u(a), projection.v(a), projection.u(b), projection.v(b),
                            visible ? type : std::int32_t(kDrawingHidden)};
            if (length2D(e) > 1e-6f)
                edges.push_back(e);
        };

        for (std::size_t i = 0; i < halfEdges.size();) {
            std::size_t j = i + 1;
            while (j < halfEdges.size() && halfEdges[j].key == halfEdges[i].key)
                ++j;
            const std::uint32_t p = static_cast<std::uint32_t>(halfEdges[i].key >> 32);
            const std::uint32_t q = static_cast<std::uint32_t>(halfEdges[i].key & 0xffffffffu);
            const Vec3f& a = vertices[p];
            const Vec3f& b = vertices[q];
            if (j - i == 1) {
                if (options.includeBoundary)
                    addEdge(a, b, kDrawingBoundary);
            } else {
                const std::uint32_t f0 = halfEdges[i].triangle, f1 = halfEdges[i + 1].triangle;
                if (options.includeSharp && dot(normals[f0], normals[f1]) < c)
                    addEdge(a, b, kDrawingFeature);
                if (options.includeContour && std::abs(centroidDepth(f0) - centroidDepth(f1)) >= z)
                    addEdge(a, b, kDrawingContour);
            }
            i = j;
        }
    }

    const float join = 0.015f * diagonal;
    edges = filterClutter(edges, diagonal, options);
    edges = dedupeDrawingEdges(edges, 0.75f * join);
    edges = chainAndSimplifyDrawingEdges(edges, join, options.simplifyTolerance * diagonal);
    return dedupeDrawingEdges(edges, 0.5f * join);
}

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
        const int pe = priorityOf(e.type), ph = priorityOf(held.type);
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

std::vector<MeshModel::DrawingEdge2D> MeshModel::computeDrawingEdges(const DrawingOptions& options,
                                                                     Progress* progress) const
{
    if (!hasMesh())
        return {};
    vtkSmartPointer<vtkPolyData> poly = toPolyData(vertices, faces);
    if (!poly || isCanceled(progress))
        return {};
    if (options.smoothIterations > 0) {
        auto smooth = vtkSmartPointer<vtkSmoothPolyDataFilter>::New();
        smooth->SetInputData(poly);
        smooth->SetNumberOfIterations(options.smoothIterations);
        smooth->SetRelaxationFactor(options.smoothRelaxation);
        smooth->FeatureEdgeSmoothingOn();
        smooth->SetFeatureAngle(options.featureAngle);
        smooth->BoundarySmoothingOff();
        smooth->SetEdgeAngle(options.featureAngle);
        watchVtkProgress(smooth, ProgressStage(progress, 5, 30));
        smooth->Update();
        poly = smooth->GetOutput();
        if (isCanceled(progress))
            return {};
    }
    if (options.decimation > 0.01f) {
        auto decimate = vtkSmartPointer<vtkQuadricDecimation>::New();
        decimate->SetInputData(poly);
        decimate->SetTargetReduction(options.decimation);
        watchVtkProgress(decimate, ProgressStage(progress, 30, 85));
        decimate->Update();
        poly = decimate->GetOutput();
        if (isCanceled(progress))
            return {};
    }
    std::vector<Vec3f> outVertices;
    std::vector<Triangle> outFaces;
    if (!readBack(poly, outVertices, outFaces))
        return {};
    std::vector<DrawingEdge2D> edges = extractDrawingEdges(outVertices, outFaces, options);
    if (isCanceled(progress))
        return {};
    if (progress)
        progress->setPercent(100);
    return edges;
}
