#include "model/drawing/drawingedges.h"

#include "model/drawing/drawingcleanup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

namespace {

constexpr float kEmptyCell = std::numeric_limits<float>::lowest();
constexpr float kEmptyCellLimit = -1.7014117e38f;
// A face turns towards the viewer when its unit normal has more than this
// along the view direction.
constexpr float kFacingEpsilon = 1e-4f;
// A triangle lower than this fraction of the drawing's diagonal over its
// longest side is a sliver.
constexpr float kSliverHeight = 1e-4f;

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
                                   const DrawingProjection& projection, const ProgressStage& stage)
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
    for (std::size_t f = 0; f < faces.size(); ++f) {
        if (f % kProgressPollInterval == 0 && stage.canceled())
            return;
        const Triangle& t = faces[f];
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
        // A cell holds the grid positions that round to it, so it is sampled
        // at its centre (i, j); at (i + 0.5, j + 0.5) the last row and
        // column would stay empty and see through the part's far rim.
        for (int j = j0; j <= j1; ++j) {
            const float py = static_cast<float>(j);
            for (int i = i0; i <= i1; ++i) {
                const float px = static_cast<float>(i);
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

bool DrawingDepthGrid::isEdgeVisible(const Vec3f& a, const Vec3f& b, float tolerance, int reach) const
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
        ++samples;
        bool seen = false;
        for (int dj = -reach; dj <= reach && !seen; ++dj)
            for (int di = -reach; di <= reach && !seen; ++di) {
                const float value = cell(std::clamp(ci + di, 0, columns_ - 1), std::clamp(cj + dj, 0, rows_ - 1));
                seen = value <= kEmptyCellLimit || depth >= value - tolerance;
            }
        visible += seen;
    }
    return samples == 0 || visible * 2 >= samples;
}

std::vector<DrawingEdge2D> extractDrawingEdges(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                                               const DrawingOptions& options, const ProgressStage& stage)
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

    // The depth grid and the edge map are independent: the grid is built on
    // a second thread meanwhile.
    std::unique_ptr<DrawingDepthGrid> depthGrid;
    std::thread gridBuilder(
        [&]() { depthGrid = std::make_unique<DrawingDepthGrid>(vertices, faces, projection, stage); });
    // Every return below waits for the grid first (it stops on cancel too).
    struct JoinOnExit {
        std::thread& thread;
        ~JoinOnExit()
        {
            if (thread.joinable())
                thread.join();
        }
    } joinGrid{gridBuilder};

    std::vector<DrawingEdge2D> edges;
    // Silhouettes are always drawn, so every call classifies.
    {
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
            if (f % kProgressPollInterval == 0 && stage.canceled())
                return {};
            const Triangle& t = faces[f];
            if (t[0] >= n || t[1] >= n || t[2] >= n)
                continue;
            const Vec3f &a = vertices[t[0]], &b = vertices[t[1]], &c = vertices[t[2]];
            if (!finite(a) || !finite(b) || !finite(c))
                continue;
            valid[f] = 1;
            const Vec3f nrm = cross(b - a, c - a);
            const float len = std::sqrt(dot(nrm, nrm));
            // A sliver (height under kSliverHeight of the diagonal) has no
            // trustworthy normal: it neither turns nor creases. Decimation
            // leaves such slivers where it folds thin triangles.
            const float longest = std::sqrt(std::max({dot(b - a, b - a), dot(c - b, c - b), dot(a - c, a - c)}));
            if (len > 1e-10f && len > kSliverHeight * diagonal * longest)
                normals[f] = nrm * (1.0f / len);
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t p = t[k], q = t[(k + 1) % 3];
                if (p == q)
                    continue;
                const std::uint64_t key = (std::uint64_t(std::min(p, q)) << 32) | std::max(p, q);
                halfEdges.push_back({key, f});
            }
        }
        // Counting sort by the smaller vertex, then each small group by the
        // larger one; insertion keeps the triangles ascending within a pair.
        {
            std::vector<std::uint32_t> start(n + 1, 0);
            for (const HalfEdge& h : halfEdges)
                ++start[(h.key >> 32) + 1];
            for (std::size_t v = 0; v < n; ++v)
                start[v + 1] += start[v];
            std::vector<HalfEdge> sorted(halfEdges.size());
            std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
            for (const HalfEdge& h : halfEdges)
                sorted[fill[h.key >> 32]++] = h;
            if (stage.canceled())
                return {};
            for (std::size_t v = 0; v < n; ++v) {
                if (v % kProgressPollInterval == 0 && stage.canceled())
                    return {};
                for (std::uint32_t i = start[v] + 1; i < start[v + 1]; ++i)
                    for (std::uint32_t j = i; j > start[v] && sorted[j - 1].key > sorted[j].key; --j)
                        std::swap(sorted[j - 1], sorted[j]);
            }
            halfEdges.swap(sorted);
        }
        gridBuilder.join();
        if (!stage.step(40, 100))
            return {};
        const DrawingDepthGrid& grid = *depthGrid;

        const float c = std::cos(std::clamp(options.featureAngle, 0.0f, 180.0f) * 3.14159265358979f / 180.0f);
        const float z = std::max(options.zThreshold, 0.001f);
        const auto centroidDepth = [&](std::uint32_t f) {
            const Triangle& t = faces[f];
            return (projection.depth(vertices[t[0]]) + projection.depth(vertices[t[1]]) + projection.depth(vertices[t[2]]))
                   / 3.0f;
        };
        const auto addEdge = [&](const Vec3f& a, const Vec3f& b, std::int32_t type) {
            const bool visible = grid.isEdgeVisible(a, b, tolerance, type == kDrawingSilhouette ? 1 : 0);
            if (!visible && !options.includeHidden)
                return;
            DrawingEdge2D e{projection.u(a), projection.v(a), projection.u(b), projection.v(b),
                            visible ? type : std::int32_t(kDrawingHidden)};
            if (length2D(e) > 1e-6f)
                edges.push_back(e);
        };
        // Edge-on faces count as turned away, so a prism's outline is the
        // rim of the face towards the viewer and not the far one too.
        const auto facing = [&](std::uint32_t f) {
            const float d = projection.depth(normals[f]);
            return d > kFacingEpsilon ? 1 : (d < -kFacingEpsilon || dot(normals[f], normals[f]) > 0.5f ? -1 : 0);
        };

        for (std::size_t i = 0, groups = 0; i < halfEdges.size(); ++groups) {
            if (groups % kProgressPollInterval == 0 && !stage.step(40 + 40 * i / halfEdges.size(), 100))
                return {};
            std::size_t j = i + 1;
            while (j < halfEdges.size() && halfEdges[j].key == halfEdges[i].key)
                ++j;
            const std::uint32_t p = static_cast<std::uint32_t>(halfEdges[i].key >> 32);
            const std::uint32_t q = static_cast<std::uint32_t>(halfEdges[i].key & 0xffffffffu);
            const Vec3f& a = vertices[p];
            const Vec3f& b = vertices[q];
            if (j - i == 1) {
                // An open border seen from the front outlines the sheet.
                if (facing(halfEdges[i].triangle) > 0)
                    addEdge(a, b, kDrawingSilhouette);
                else if (options.includeBoundary)
                    addEdge(a, b, kDrawingBoundary);
            } else {
                const std::uint32_t f0 = halfEdges[i].triangle, f1 = halfEdges[i + 1].triangle;
                const int s0 = facing(f0), s1 = facing(f1);
                if (s0 * s1 < 0) {
                    // Any crease or step here coincides with the outline.
                    addEdge(a, b, kDrawingSilhouette);
                } else {
                    if (options.includeSharp && s0 != 0 && s1 != 0 && dot(normals[f0], normals[f1]) < c)
                        addEdge(a, b, kDrawingFeature);
                    if (options.includeContour && std::abs(centroidDepth(f0) - centroidDepth(f1)) >= z)
                        addEdge(a, b, kDrawingContour);
                }
            }
            i = j;
        }
    }

    // The clean-up works on edges, far fewer than triangles: a check
    // between its steps is enough.
    const float join = 0.015f * diagonal;
    if (!stage.step(80, 100))
        return {};
    edges = filterDrawingClutter(edges, diagonal, options);
    if (!stage.step(85, 100))
        return {};
    edges = dedupeDrawingEdges(edges, 0.75f * join);
    edges = dropCoveredDrawingEdges(edges, 0.25f * join);
    if (!stage.step(90, 100))
        return {};
    edges = chainAndSimplifyDrawingEdges(edges, join, options.simplifyTolerance * diagonal);
    edges = dedupeDrawingEdges(edges, 0.5f * join);
    if (stage.canceled())
        return {};
    stage.finish();
    return edges;
}
