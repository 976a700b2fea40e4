#include "model/drawing/drawingcleanup.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

using fixtures::Mesh;

// Outward-wound closed box from lo to hi (shared corners welded), each face
// split into n x n quads, added to mesh.
void addBox(Mesh& mesh, Vec3f lo, Vec3f hi, int n = 2)
{
    const MeshModel box = shapes::box(hi - lo, n);
    std::vector<Vec3f> v;
    for (const Vec3f& p : box.vertices)
        v.push_back(p + lo);
    std::vector<Triangle> f = box.faces.vec();
    shapes::weldExact(v, f);
    const auto base = std::uint32_t(mesh.vertices.size());
    mesh.vertices.insert(mesh.vertices.end(), v.begin(), v.end());
    for (const Triangle& t : f)
        mesh.faces.emplace_back(t[0] + base, t[1] + base, t[2] + base);
}

DrawingOptions plainOptions(int view = 0)
{
    DrawingOptions o;
    o.view = drawingViewFromIndex(view);
    o.smoothIterations = 0;
    o.decimation = 0.0f;
    o.featureAngle = 35.0f;
    o.zThreshold = 0.5f;
    o.minChainLength = 0.0485f;
    o.minChainArea = 0.00307f;
    o.simplifyTolerance = 0.0035f;
    return o;
}

int countType(const std::vector<DrawingEdge2D>& edges, int type)
{
    int n = 0;
    for (const auto& e : edges)
        n += e.type == type;
    return n;
}

// Every edge of the given type, or every visible one when type < 0.
double totalLength(const std::vector<DrawingEdge2D>& edges, int type)
{
    double sum = 0;
    for (const auto& e : edges)
        if (e.type == type || (type < 0 && e.type != kDrawingHidden))
            sum += std::hypot(e.x2 - e.x1, e.y2 - e.y1);
    return sum;
}

bool near(float a, float b, float tol = 1e-3f)
{
    return std::abs(a - b) <= tol;
}

MeshModel toModel(const Mesh& mesh)
{
    MeshModel model;
    model.vertices.assign(std::vector<Vec3f>(mesh.vertices));
    model.faces.assign(std::vector<Triangle>(mesh.faces));
    return model;
}

// An edge of the given type running along x = c (vertical) from y0 to y1.
bool hasVerticalEdge(const std::vector<DrawingEdge2D>& edges, int type, float c, float y0, float y1)
{
    for (const auto& e : edges)
        if (e.type == type && near(e.x1, c) && near(e.x2, c) && near(std::min(e.y1, e.y2), y0, 0.05f)
            && near(std::max(e.y1, e.y2), y1, 0.05f))
            return true;
    return false;
}

bool onRectangle(const DrawingEdge2D& e, float x0, float y0, float x1, float y1)
{
    const auto on = [&](float x, float y) {
        return near(x, x0) || near(x, x1) || near(y, y0) || near(y, y1);
    };
    const bool sameSide = (near(e.x1, e.x2) && (near(e.x1, x0) || near(e.x1, x1)))
                          || (near(e.y1, e.y2) && (near(e.y1, y0) || near(e.y1, y1)));
    return on(e.x1, e.y1) && on(e.x2, e.y2) && sameSide;
}

// UV sphere about the origin with its poles welded; the equator is a ring.
Mesh sphere(float r, int segments, int rings)
{
    const MeshModel uv = shapes::sphere(r, segments, rings);
    Mesh m{uv.vertices.vec(), uv.faces.vec()};
    shapes::weldExact(m.vertices, m.faces);
    return m;
}

// No end or midpoint of a hidden edge lies on a visible one.
bool hiddenNeverDoublesVisible(const std::vector<DrawingEdge2D>& edges, float tol)
{
    const auto distance = [](float x, float y, const DrawingEdge2D& o) {
        const float ux = o.x2 - o.x1, uy = o.y2 - o.y1;
        const float t = std::clamp(((x - o.x1) * ux + (y - o.y1) * uy) / (ux * ux + uy * uy), 0.0f, 1.0f);
        return std::hypot(o.x1 + ux * t - x, o.y1 + uy * t - y);
    };
    for (const auto& h : edges) {
        if (h.type != kDrawingHidden)
            continue;
        int on = 0;
        for (float s : {0.0f, 0.5f, 1.0f})
            for (const auto& v : edges)
                if (v.type != kDrawingHidden && distance(h.x1 + (h.x2 - h.x1) * s, h.y1 + (h.y2 - h.y1) * s, v) < tol) {
                    ++on;
                    break;
                }
        if (on == 3)
            return false;
    }
    return true;
}

} // namespace

// A box seen along an axis is its outline, drawn once as silhouette, and
// with hidden lines on, its far edges (all behind the near ones) add nothing.
TEST(DrawingEdges, BoxOutlineIsOneSilhouetteInEveryViewAndHidesNothingTwice)
{
    const struct {
        const char* name;
        int view;
        float width, height; // the box's outline in that view
    } views[] = {{"top", 0, 40, 20}, {"front", 1, 40, 10}, {"right", 2, 20, 10}, {"out of range is top", 3, 40, 20}};
    Mesh box;
    addBox(box, {0, 0, 0}, {40, 20, 10});
    for (const auto& p : views)
        for (bool hidden : {false, true}) {
            SCOPED_TRACE(testing::Message() << p.name << (hidden ? " with hidden lines" : ""));
            DrawingOptions o = plainOptions(p.view);
            o.includeHidden = hidden;
            const auto edges = extractDrawingEdges(box.vertices, box.faces, o);
            ASSERT_FALSE(edges.empty());
            for (const auto& e : edges) {
                EXPECT_EQ(e.type, kDrawingSilhouette);
                EXPECT_TRUE(onRectangle(e, 0, 0, p.width, p.height)) << e.x1 << "," << e.y1 << " " << e.x2 << "," << e.y2;
            }
            EXPECT_NEAR(totalLength(edges, kDrawingSilhouette), 2.0 * (p.width + p.height), 0.5);
        }
}

TEST(DrawingEdges, SphereFromTheTopIsOneSilhouetteLoop)
{
    const Mesh ball = sphere(10.0f, 128, 64);
    DrawingOptions o = plainOptions();
    o.includeHidden = true;
    const auto edges = extractDrawingEdges(ball.vertices, ball.faces, o);
    EXPECT_NEAR(totalLength(edges, kDrawingSilhouette), 2.0 * M_PI * 10.0, 0.01 * 2.0 * M_PI * 10.0);
    // One closed loop: every end meets exactly one other edge's end, and
    // walking from the first edge visits them all.
    std::vector<DrawingEdge2D> loop;
    for (const auto& e : edges)
        if (e.type == kDrawingSilhouette)
            loop.push_back(e);
    ASSERT_GE(loop.size(), 8u);
    const auto same = [](float x0, float y0, float x1, float y1) { return std::hypot(x1 - x0, y1 - y0) < 1e-3f; };
    std::vector<char> seen(loop.size(), 0);
    float x = loop[0].x2, y = loop[0].y2;
    seen[0] = 1;
    for (std::size_t step = 1; step < loop.size(); ++step) {
        int next = -1;
        for (std::size_t i = 0; i < loop.size(); ++i)
            if (!seen[i] && (same(x, y, loop[i].x1, loop[i].y1) || same(x, y, loop[i].x2, loop[i].y2))) {
                EXPECT_EQ(next, -1) << "a branch at " << x << "," << y;
                next = int(i);
            }
        ASSERT_GE(next, 0) << "the loop breaks at " << x << "," << y;
        seen[std::size_t(next)] = 1;
        const auto& e = loop[std::size_t(next)];
        std::tie(x, y) = same(x, y, e.x1, e.y1) ? std::make_pair(e.x2, e.y2) : std::make_pair(e.x1, e.y1);
    }
    EXPECT_TRUE(same(x, y, loop[0].x1, loop[0].y1));
    // Nothing of the sphere lies behind its own outline from outside.
    for (const auto& e : edges)
        EXPECT_LE(std::hypot(e.x1, e.y1), 10.05f);

    // A fine sphere goes through the decimation in chunks whose cuts cross
    // the outline: no seam, crease or fold shows, and the outline is there
    // (the decimation may open a gap of a few cells in it).
    const MeshModel model = toModel(sphere(10.0f, 720, 300));
    ASSERT_GT(model.faces.size(), 400000u);
    const auto drawn = model.computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, true));
    EXPECT_NEAR(totalLength(drawn, kDrawingSilhouette), 2.0 * M_PI * 10.0, 0.03 * 2.0 * M_PI * 10.0);
    EXPECT_EQ(int(drawn.size()), countType(drawn, kDrawingSilhouette));
}

TEST(DrawingEdges, PlateWithTwoHoles)
{
    const float thickness = 6.0f;
    const MeshModel model = shapes::plateWithHoles({80, 40, thickness}, 8.0f, 96);
    const Mesh plate{model.vertices.vec(), model.faces.vec()};
    // 80 x 40 with two holes of diameter 16, tessellated as CAD exporters do.
    // Top: the outline and both hole rims, nothing hidden doubled onto them.
    DrawingOptions o = plainOptions(0);
    o.includeHidden = true;
    const auto top = extractDrawingEdges(plate.vertices, plate.faces, o);
    const double expected = 2.0 * (80 + 40) + 2.0 * M_PI * 16;
    EXPECT_NEAR(totalLength(top, -1), expected, 0.02 * expected);
    EXPECT_NEAR(totalLength(top, kDrawingSilhouette), expected, 0.02 * expected);
    EXPECT_EQ(countType(top, kDrawingHidden), 0);

    // Front: the outline, and the holes' walls as four hidden lines of the
    // plate's thickness at x = 20 -+ 8 and 60 -+ 8.
    o.view = DrawingView::Front;
    const auto front = extractDrawingEdges(plate.vertices, plate.faces, o);
    EXPECT_NEAR(totalLength(front, -1), 2.0 * (80 + thickness), 0.5);
    EXPECT_EQ(countType(front, kDrawingHidden), 4);
    for (float x : {12.0f, 28.0f, 52.0f, 68.0f})
        EXPECT_TRUE(hasVerticalEdge(front, kDrawingHidden, x, 0.0f, thickness)) << x;
    EXPECT_TRUE(hiddenNeverDoublesVisible(front, 0.05f));

    // Without hidden lines the holes leave no trace from the front.
    o.includeHidden = false;
    const auto plain = extractDrawingEdges(plate.vertices, plate.faces, o);
    EXPECT_EQ(countType(plain, kDrawingHidden), 0);
    EXPECT_NEAR(totalLength(plain, -1), totalLength(front, -1), 1e-3);

    // Smoothing and decimation at any detail keep what is seen.
    for (int detail : {0, 50, 100}) {
        const auto top = model.computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, detail, 0.5, true, true, true));
        EXPECT_NEAR(totalLength(top, -1), expected, 0.02 * expected) << detail;
        const auto front = model.computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Front, 30, detail, 0.5, true, true, true));
        EXPECT_NEAR(totalLength(front, -1), 2.0 * (80 + thickness), 0.5) << detail;
        EXPECT_NEAR(totalLength(front, kDrawingHidden), 4 * thickness, 0.5) << detail;
    }
}

TEST(DrawingEdges, SteppedBlockShowsTheStepAndEdgesUnderAnOverhangAreHidden)
{
    // A 20 x 10 block, 10 high on the left half, 5 high on the right.
    Mesh block;
    addBox(block, {0, 0, 0}, {10, 10, 10});
    addBox(block, {10, 0, 0}, {20, 10, 5});
    const auto edges = extractDrawingEdges(block.vertices, block.faces, plainOptions());
    EXPECT_TRUE(hasVerticalEdge(edges, kDrawingSilhouette, 10.0f, 0.0f, 10.0f));
    EXPECT_EQ(countType(edges, kDrawingHidden), 0);

    // Without creases and borders the outlines and the depth step are left.
    DrawingOptions o = plainOptions();
    o.includeSharp = false;
    o.includeBoundary = false;
    const auto steps = extractDrawingEdges(block.vertices, block.faces, o);
    EXPECT_EQ(countType(steps, kDrawingFeature) + countType(steps, kDrawingBoundary), 0);
    EXPECT_TRUE(hasVerticalEdge(steps, kDrawingSilhouette, 10.0f, 0.0f, 10.0f));
    EXPECT_NEAR(totalLength(steps, kDrawingSilhouette), 70.0, 0.5);
    // A 20 x 20 plate on a 10 x 10 stem: the stem's outline lies under the plate.
    Mesh mushroom;
    addBox(mushroom, {0, 0, 5}, {20, 20, 10});
    addBox(mushroom, {5, 5, 0}, {15, 15, 5});

    const auto fromAbove = extractDrawingEdges(mushroom.vertices, mushroom.faces, plainOptions());
    EXPECT_EQ(countType(fromAbove, kDrawingHidden), 0);
    for (const auto& e : fromAbove)
        EXPECT_TRUE(onRectangle(e, 0, 0, 20, 20)) << e.x1 << "," << e.y1 << " " << e.x2 << "," << e.y2;
    o = plainOptions();
    o.includeHidden = true;
    const auto under = extractDrawingEdges(mushroom.vertices, mushroom.faces, o);
    EXPECT_TRUE(hasVerticalEdge(under, kDrawingHidden, 5.0f, 5.0f, 15.0f));
    EXPECT_TRUE(hasVerticalEdge(under, kDrawingHidden, 15.0f, 5.0f, 15.0f));
    EXPECT_NEAR(totalLength(under, kDrawingHidden), 40.0, 0.5);
    for (const auto& e : under)
        EXPECT_TRUE(e.type == kDrawingHidden || onRectangle(e, 0, 0, 20, 20));
    // A small speck far away is filtered as clutter.
    Mesh scene;
    addBox(scene, {0, 0, 0}, {100, 100, 10});
    addBox(scene, {200, 200, 0}, {200.5f, 200.5f, 0.5f});
    const auto withSpeck = extractDrawingEdges(scene.vertices, scene.faces, plainOptions());
    ASSERT_FALSE(withSpeck.empty());
    for (const auto& e : withSpeck)
        EXPECT_LT(std::max(e.x1, e.x2), 150.0f);
    // The depth grid: an edge outside it is visible, one under the box is not.
    Mesh cube;
    addBox(cube, {0, 0, 0}, {10, 10, 10});
    const DrawingDepthGrid grid(cube.vertices, cube.faces, drawingProjection(DrawingView::Top));
    EXPECT_TRUE(grid.isEdgeVisible({50, 50, -100}, {60, 50, -100}, 0.01f));
    EXPECT_FALSE(grid.isEdgeVisible({2, 5, 0}, {8, 5, 0}, 0.01f));
    EXPECT_TRUE(grid.isEdgeVisible({2, 5, 10}, {8, 5, 10}, 0.01f));
}

TEST(DrawingEdges, CreaseAngleThresholdIsRespectedAndSheetBordersFacingAwayAreBoundaries)
{
    // An open tent whose two halves meet at x = 10 with 20 degrees between normals.
    Mesh tent;
    const int n = 8;
    const float h = 10.0f * std::tan(10.0f * 3.14159265f / 180.0f);
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float x = 20.0f * i / n, y = 20.0f * j / n;
            tent.vertices.push_back({x, y, h * (1.0f - std::abs(x - 10.0f) / 10.0f)});
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const std::uint32_t a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            tent.faces.emplace_back(a, b, d);
            tent.faces.emplace_back(a, d, c);
        }
    // The open border keeps the ridge's cluster from being a zero-area speck.
    DrawingOptions o = plainOptions();
    o.featureAngle = 15.0f;
    const auto sharp = extractDrawingEdges(tent.vertices, tent.faces, o);
    EXPECT_TRUE(hasVerticalEdge(sharp, kDrawingFeature, 10.0f, 0.0f, 20.0f));
    EXPECT_NEAR(totalLength(sharp, kDrawingFeature), 20.0, 0.1);
    o.featureAngle = 25.0f;
    const auto soft = extractDrawingEdges(tent.vertices, tent.faces, o);
    EXPECT_EQ(countType(soft, kDrawingFeature), 0);
    // Seen from above the open border is the outline.
    EXPECT_NEAR(totalLength(soft, kDrawingSilhouette), 80.0, 0.5);
    // A flat sheet's border is the outline facing the viewer, else a boundary.
    const MeshModel plate = shapes::plate(30.0f, 20.0f, 6);
    std::vector<Triangle> sheetFaces = plate.faces.vec();
    for (int type : {kDrawingSilhouette, kDrawingBoundary}) {
        const auto border = extractDrawingEdges(plate.vertices.vec(), sheetFaces, plainOptions());
        ASSERT_FALSE(border.empty());
        for (const auto& e : border)
            EXPECT_EQ(e.type, type);
        EXPECT_NEAR(totalLength(border, type), 100.0, 0.5);
        for (Triangle& t : sheetFaces)
            std::swap(t[1], t[2]);
    }
}

TEST(DrawingEdges, BadInputDoesNotCrash)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_TRUE(extractDrawingEdges({}, {}, plainOptions()).empty());
    EXPECT_TRUE(extractDrawingEdges({{0, 0, 0}}, {{0, 0, 0}}, plainOptions()).empty());
    EXPECT_TRUE(extractDrawingEdges({{nan, nan, nan}, {inf, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, plainOptions()).empty());

    Mesh box;
    addBox(box, {0, 0, 0}, {40, 20, 10});
    const std::size_t good = box.faces.size();
    box.vertices.push_back({nan, 1, 1});
    const auto nanIndex = static_cast<std::uint32_t>(box.vertices.size() - 1);
    box.faces.emplace_back(0, 1, nanIndex);
    box.faces.emplace_back(0, 999999, 1);
    box.faces.emplace_back(2, 2, 3);
    for (int view : {0, 1, 2, -7}) {
        const auto edges = extractDrawingEdges(box.vertices, box.faces, plainOptions(view));
        EXPECT_FALSE(edges.empty());
        for (const auto& e : edges)
            EXPECT_TRUE(std::isfinite(e.x1) && std::isfinite(e.y1) && std::isfinite(e.x2) && std::isfinite(e.y2));
    }
    EXPECT_EQ(box.faces.size(), good + 3);

    DrawingOptions silly = plainOptions();
    silly.featureAngle = -50.0f;
    silly.zThreshold = -1.0f;
    silly.simplifyTolerance = -1.0f;
    silly.minChainLength = 0.0f;
    silly.minChainArea = 0.0f;
    EXPECT_NO_FATAL_FAILURE(extractDrawingEdges(box.vertices, box.faces, silly));
}

TEST(DrawingEdges, DedupeKeepsTheHigherClassOnceAndChainingMergesPerClass)
{
    const std::vector<DrawingEdge2D> edges = {
        {0, 0, 10, 0, kDrawingContour},
        {10, 0, 0, 0, kDrawingFeature}, // same edge reversed
        {0, 5, 10, 5, kDrawingHidden},
        {0, 5, 10, 5, kDrawingContour},
        {3, 3, 3, 3, kDrawingFeature}, // zero length
    };
    const auto out = dedupeDrawingEdges(edges, 0.1f);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].type, kDrawingFeature);
    EXPECT_EQ(out[1].type, kDrawingContour);
    EXPECT_FLOAT_EQ(out[1].y1, 5.0f);

    // Weaker or shorter pieces along a line go; crossing or longer ones stay.
    const std::vector<DrawingEdge2D> lines = {
        {1, 0, 2, 0, kDrawingSilhouette}, {0, 0, 10, 0, kDrawingSilhouette}, {2, 0.01f, 4, 0.01f, kDrawingHidden},
        {5, 0, 7, 0, kDrawingContour},    {3, -1, 3, 1, kDrawingHidden},     {8, 0, 12, 0, kDrawingHidden},
        {0, 5, 4, 5, kDrawingFeature},    {0, 5, 4, 5, kDrawingFeature},
    };
    const auto kept = dropCoveredDrawingEdges(lines, 0.05f);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept[0].x2, 10.0f);
    EXPECT_EQ(kept[1].y1, -1.0f);
    EXPECT_EQ(kept[2].x2, 12.0f);
    EXPECT_EQ(kept[3].type, kDrawingFeature);
    // Chaining merges collinear pieces per class.
    std::vector<DrawingEdge2D> pieces;
    for (int i = 0; i < 10; ++i)
        pieces.push_back({float(i), 0, float(i + 1), 0, kDrawingFeature});
    pieces.push_back({0, 1, 5, 1, kDrawingContour});
    pieces.push_back({5, 1, 10, 1, kDrawingContour});
    const auto chained = chainAndSimplifyDrawingEdges(pieces, 0.2f, 0.01f);
    ASSERT_EQ(chained.size(), 2u);
    EXPECT_EQ(chained[0].type, kDrawingFeature);
    EXPECT_FLOAT_EQ(std::min(chained[0].x1, chained[0].x2), 0.0f);
    EXPECT_FLOAT_EQ(std::max(chained[0].x1, chained[0].x2), 10.0f);
    EXPECT_EQ(chained[1].type, kDrawingContour);
}

TEST(DrawingEdges, PanelValuesMapToOptionsAndTheModelDrawsABoxAndNothingForNoMesh)
{
    EXPECT_TRUE(MeshModel().computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false)).empty());
    Mesh closed;
    addBox(closed, {0, 0, 0}, {40, 20, 10}, 4);
    const MeshModel box = toModel(closed);
    const auto edges = box.computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false));
    ASSERT_FALSE(edges.empty());
    for (const auto& e : edges) {
        EXPECT_GE(std::min(e.x1, e.x2), -0.5f);
        EXPECT_LE(std::max(e.x1, e.x2), 40.5f);
        EXPECT_NE(e.type, kDrawingHidden);
    }
    EXPECT_NEAR(totalLength(edges, kDrawingSilhouette), 120.0, 2.0);
    // Panel values map to options.
    const DrawingOptions o = drawingOptionsFromPanel(DrawingView::Right, 30, 50, 1.25, false, true, true);
    EXPECT_EQ(o.view, DrawingView::Right);
    EXPECT_EQ(o.smoothIterations, 3);
    EXPECT_NEAR(o.featureAngle, 35.0f, 1e-4f);
    EXPECT_NEAR(o.decimation, 0.225f, 1e-6f);
    EXPECT_NEAR(o.minChainLength, 0.0485f, 1e-6f);
    EXPECT_NEAR(o.simplifyTolerance, 0.0035f, 1e-6f);
    EXPECT_FLOAT_EQ(o.zThreshold, 1.25f);
    EXPECT_FALSE(o.includeBoundary);
    EXPECT_TRUE(o.includeContour);
    EXPECT_EQ(drawingOptionsFromPanel(DrawingView::Top, 0, 100, 0.5, true, true, false).smoothIterations, 6);
}

