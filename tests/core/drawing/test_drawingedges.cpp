#include "model/drawing/drawingedges.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <tuple>

namespace {

struct Mesh {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};

// Outward-wound closed box (shared corners welded), each face split into
// n x n quads.
void addBox(Mesh& mesh, Vec3f lo, Vec3f hi, int n = 2)
{
    std::map<std::tuple<float, float, float>, std::uint32_t> welded;
    const auto vertex = [&](Vec3f p) {
        const auto [it, fresh] = welded.try_emplace({p.x, p.y, p.z}, std::uint32_t(mesh.vertices.size()));
        if (fresh)
            mesh.vertices.push_back(p);
        return it->second;
    };
    const auto face = [&](Vec3f origin, Vec3f du, Vec3f dv) {
        std::vector<std::uint32_t> ids;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                // Exact corners so that neighbouring faces weld.
                Vec3f p = origin + du * (float(i) / n) + dv * (float(j) / n);
                if (i == n)
                    p = p - du * (float(i) / n) + du;
                if (j == n)
                    p = p - dv * (float(j) / n) + dv;
                ids.push_back(vertex(p));
            }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const std::uint32_t a = ids[j * (n + 1) + i], b = ids[j * (n + 1) + i + 1];
                const std::uint32_t c = ids[(j + 1) * (n + 1) + i], d = ids[(j + 1) * (n + 1) + i + 1];
                mesh.faces.emplace_back(a, b, d);
                mesh.faces.emplace_back(a, d, c);
            }
    };
    const Vec3f s = hi - lo;
    face(lo, {0, s.y, 0}, {s.x, 0, 0});                               // bottom, -z
    face({lo.x, lo.y, hi.z}, {s.x, 0, 0}, {0, s.y, 0});               // top, +z
    face(lo, {s.x, 0, 0}, {0, 0, s.z});                               // front, -y
    face({lo.x, hi.y, lo.z}, {0, 0, s.z}, {s.x, 0, 0});               // back, +y
    face(lo, {0, 0, s.z}, {0, s.y, 0});                               // left, -x
    face({hi.x, lo.y, lo.z}, {0, s.y, 0}, {0, 0, s.z});               // right, +x
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

double totalLength(const std::vector<DrawingEdge2D>& edges, int type)
{
    double sum = 0;
    for (const auto& e : edges)
        if (e.type == type)
            sum += std::hypot(e.x2 - e.x1, e.y2 - e.y1);
    return sum;
}

bool near(float a, float b, float tol = 1e-3f)
{
    return std::abs(a - b) <= tol;
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

} // namespace

TEST(DrawingEdges, BoxFromTopIsItsOutlineAsFeatureEdges)
{
    Mesh box;
    addBox(box, {0, 0, 0}, {40, 20, 10});
    for (bool hidden : {false, true}) {
        DrawingOptions o = plainOptions();
        o.includeHidden = hidden;
        const auto edges = extractDrawingEdges(box.vertices, box.faces, o);
        ASSERT_FALSE(edges.empty());
        for (const auto& e : edges) {
            EXPECT_EQ(e.type, kDrawingFeature) << "hidden=" << hidden;
            EXPECT_TRUE(onRectangle(e, 0, 0, 40, 20)) << e.x1 << "," << e.y1 << " " << e.x2 << "," << e.y2;
        }
        EXPECT_NEAR(totalLength(edges, kDrawingFeature), 120.0, 0.5);
    }
}

TEST(DrawingEdges, FrontAndRightViewsUseTheirPlanes)
{
    Mesh box;
    addBox(box, {0, 0, 0}, {40, 20, 10});
    const auto front = extractDrawingEdges(box.vertices, box.faces, plainOptions(1));
    ASSERT_FALSE(front.empty());
    for (const auto& e : front)
        EXPECT_TRUE(onRectangle(e, 0, 0, 40, 10));
    EXPECT_NEAR(totalLength(front, kDrawingFeature), 100.0, 0.5);
    const auto right = extractDrawingEdges(box.vertices, box.faces, plainOptions(2));
    ASSERT_FALSE(right.empty());
    for (const auto& e : right)
        EXPECT_TRUE(onRectangle(e, 0, 0, 20, 10));
    EXPECT_NEAR(totalLength(right, kDrawingFeature), 60.0, 0.5);
}

TEST(DrawingEdges, UnknownViewDrawsTop)
{
    Mesh box;
    addBox(box, {0, 0, 0}, {40, 20, 10});
    const auto top = extractDrawingEdges(box.vertices, box.faces, plainOptions(0));
    const auto other = extractDrawingEdges(box.vertices, box.faces, plainOptions(3));
    ASSERT_EQ(top.size(), other.size());
    for (std::size_t i = 0; i < top.size(); ++i) {
        EXPECT_EQ(top[i].x1, other[i].x1);
        EXPECT_EQ(top[i].y2, other[i].y2);
    }
}

TEST(DrawingEdges, SteppedBlockShowsTheStep)
{
    // A 20 x 10 block, 10 high on the left half, 5 high on the right.
    Mesh block;
    addBox(block, {0, 0, 0}, {10, 10, 10});
    addBox(block, {10, 0, 0}, {20, 10, 5});
    const auto edges = extractDrawingEdges(block.vertices, block.faces, plainOptions());
    EXPECT_TRUE(hasVerticalEdge(edges, kDrawingFeature, 10.0f, 0.0f, 10.0f));
    EXPECT_EQ(countType(edges, kDrawingHidden), 0);

    // Without creases and borders only the depth step is left.
    DrawingOptions o = plainOptions();
    o.includeSharp = false;
    o.includeBoundary = false;
    const auto contours = extractDrawingEdges(block.vertices, block.faces, o);
    ASSERT_FALSE(contours.empty());
    for (const auto& e : contours)
        EXPECT_EQ(e.type, kDrawingContour);
    EXPECT_TRUE(hasVerticalEdge(contours, kDrawingContour, 10.0f, 0.0f, 10.0f));
}

TEST(DrawingEdges, EdgesUnderAnOverhangAreHidden)
{
    // A 20 x 20 plate on a 10 x 10 stem: the stem's outline lies under the plate.
    Mesh mushroom;
    addBox(mushroom, {0, 0, 5}, {20, 20, 10});
    addBox(mushroom, {5, 5, 0}, {15, 15, 5});

    const auto plain = extractDrawingEdges(mushroom.vertices, mushroom.faces, plainOptions());
    EXPECT_EQ(countType(plain, kDrawingHidden), 0);
    for (const auto& e : plain)
        EXPECT_TRUE(onRectangle(e, 0, 0, 20, 20)) << e.x1 << "," << e.y1 << " " << e.x2 << "," << e.y2;

    DrawingOptions o = plainOptions();
    o.includeHidden = true;
    const auto edges = extractDrawingEdges(mushroom.vertices, mushroom.faces, o);
    EXPECT_TRUE(hasVerticalEdge(edges, kDrawingHidden, 5.0f, 5.0f, 15.0f));
    EXPECT_TRUE(hasVerticalEdge(edges, kDrawingHidden, 15.0f, 5.0f, 15.0f));
    EXPECT_NEAR(totalLength(edges, kDrawingHidden), 40.0, 0.5);
    for (const auto& e : edges) {
        if (e.type != kDrawingHidden) {
            EXPECT_TRUE(onRectangle(e, 0, 0, 20, 20));
        }
    }
}

TEST(DrawingEdges, CreaseAngleThresholdIsRespected)
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
    EXPECT_NEAR(totalLength(soft, kDrawingBoundary), 80.0, 0.5);
}

TEST(DrawingEdges, FlatPlateHasBoundaryButNoContour)
{
    const MeshModel plate = shapes::plate(30.0f, 20.0f, 6);
    const auto edges = extractDrawingEdges(plate.vertices.vec(), plate.faces.vec(), plainOptions());
    ASSERT_FALSE(edges.empty());
    for (const auto& e : edges) {
        EXPECT_EQ(e.type, kDrawingBoundary);
    }
    EXPECT_NEAR(totalLength(edges, kDrawingBoundary), 100.0, 0.5);
}

TEST(DrawingEdges, SmallSpecksAreFilteredAsClutter)
{
    Mesh scene;
    addBox(scene, {0, 0, 0}, {100, 100, 10});
    addBox(scene, {200, 200, 0}, {200.5f, 200.5f, 0.5f}); // a speck far away
    const auto edges = extractDrawingEdges(scene.vertices, scene.faces, plainOptions());
    ASSERT_FALSE(edges.empty());
    for (const auto& e : edges)
        EXPECT_LT(std::max(e.x1, e.x2), 150.0f);
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

TEST(DrawingEdges, DedupeKeepsTheHigherClassOnce)
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
}

TEST(DrawingEdges, ChainingMergesCollinearPiecesPerClass)
{
    std::vector<DrawingEdge2D> edges;
    for (int i = 0; i < 10; ++i)
        edges.push_back({float(i), 0, float(i + 1), 0, kDrawingFeature});
    edges.push_back({0, 1, 5, 1, kDrawingContour});
    edges.push_back({5, 1, 10, 1, kDrawingContour});
    const auto out = chainAndSimplifyDrawingEdges(edges, 0.2f, 0.01f);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].type, kDrawingFeature);
    EXPECT_FLOAT_EQ(std::min(out[0].x1, out[0].x2), 0.0f);
    EXPECT_FLOAT_EQ(std::max(out[0].x1, out[0].x2), 10.0f);
    EXPECT_EQ(out[1].type, kDrawingContour);
}

TEST(DrawingEdges, EdgeOutsideTheGridIsVisible)
{
    Mesh box;
    addBox(box, {0, 0, 0}, {10, 10, 10});
    const DrawingDepthGrid grid(box.vertices, box.faces, drawingProjection(DrawingView::Top));
    EXPECT_TRUE(grid.isEdgeVisible({50, 50, -100}, {60, 50, -100}, 0.01f));
    EXPECT_FALSE(grid.isEdgeVisible({2, 5, 0}, {8, 5, 0}, 0.01f));
    EXPECT_TRUE(grid.isEdgeVisible({2, 5, 10}, {8, 5, 10}, 0.01f));
}

TEST(DrawingEdges, ModelPipelineDrawsABoxAndNothingForNoMesh)
{
    EXPECT_TRUE(MeshModel().computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false)).empty());
    Mesh closed;
    addBox(closed, {0, 0, 0}, {40, 20, 10}, 4);
    MeshModel box;
    box.vertices.assign(closed.vertices);
    box.faces.assign(closed.faces);
    const auto edges = box.computeDrawingEdges(drawingOptionsFromPanel(DrawingView::Top, 30, 50, 0.5, true, true, false));
    ASSERT_FALSE(edges.empty());
    for (const auto& e : edges) {
        EXPECT_GE(std::min(e.x1, e.x2), -0.5f);
        EXPECT_LE(std::max(e.x1, e.x2), 40.5f);
        EXPECT_NE(e.type, kDrawingHidden);
    }
    EXPECT_GT(totalLength(edges, kDrawingFeature), 100.0);
}

TEST(DrawingEdges, PanelValuesMapToOptions)
{
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
