// Boundary loops and their filling: loop shapes, closed results with
// consistent winding, patches that follow the surface, keep-open holes,
// cancel, and bad input.
#include "bench/syntheticscan.h"
#include "model/repair/holes.h"
#include "model/mesh/meshmodel.h"
#include "model/repair/repairtools.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <tuple>

namespace {

using holes::Loop;

struct Arrays {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};

// The box's triangles minus those lying in the plane z = top.
Arrays boxWithoutTop(Vec3f size, int n = 1)
{
    const MeshModel box = shapes::box(size, n);
    std::vector<Triangle> all = box.faces.vec();
    Arrays out{box.vertices.vec(), {}};
    shapes::weldExact(out.vertices, all);
    for (const Triangle& t : all) {
        const bool top = out.vertices[t[0]].z == size.z && out.vertices[t[1]].z == size.z &&
                         out.vertices[t[2]].z == size.z;
        if (!top)
            out.faces.push_back(t);
    }
    return out;
}

Arrays syntheticScan(int holeCount, std::size_t triangles = 20000)
{
    SyntheticScanOptions options;
    options.targetTriangles = triangles;
    options.holes = holeCount;
    const SyntheticScan scan = makeSyntheticScan(options);
    return {scan.vertices, scan.faces};
}

// Every edge used by exactly two triangles, once in each direction.
::testing::AssertionResult closedAndConsistent(const Arrays& mesh)
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (const Triangle& t : mesh.faces)
        for (int c = 0; c < 3; ++c)
            ++directed[{t[c], t[(c + 1) % 3]}];
    for (const auto& [edge, count] : directed) {
        if (count != 1)
            return ::testing::AssertionFailure() << "edge " << edge.first << "-" << edge.second << " runs " << count
                                                 << " times in one direction";
        if (!directed.count({edge.second, edge.first}))
            return ::testing::AssertionFailure() << "edge " << edge.first << "-" << edge.second << " is open";
    }
    return ::testing::AssertionSuccess();
}

bool loopEdgesAreBoundary(const Arrays& mesh, const Loop& loop)
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> uses;
    for (const Triangle& t : mesh.faces)
        for (int c = 0; c < 3; ++c)
            ++uses[std::minmax(t[c], t[(c + 1) % 3])];
    for (std::size_t i = 0; i < loop.size(); ++i)
        if (uses[std::minmax(loop[i], loop[(i + 1) % loop.size()])] != 1)
            return false;
    return true;
}

double area(const std::vector<Vec3f>& v, const Triangle& t)
{
    const Vec3f n = cross(v[t[1]] - v[t[0]], v[t[2]] - v[t[0]]);
    return 0.5 * std::sqrt(double(dot(n, n)));
}

} // namespace

TEST(BoundaryLoops, BoxWithOneFaceRemovedHasOneFourVertexLoop)
{
    const Arrays mesh = boxWithoutTop({10, 20, 30});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 1u);
    ASSERT_EQ(loops[0].size(), 4u);
    EXPECT_EQ(std::set<std::uint32_t>(loops[0].begin(), loops[0].end()).size(), 4u);
    for (std::uint32_t v : loops[0])
        EXPECT_EQ(mesh.vertices[v].z, 30.0f);
    EXPECT_TRUE(loopEdgesAreBoundary(mesh, loops[0]));
}

TEST(BoundaryLoops, ClosedBoxHasNone)
{
    const MeshModel box = shapes::box({5, 5, 5}, 3);
    std::vector<Vec3f> vertices = box.vertices.vec();
    std::vector<Triangle> faces = box.faces.vec();
    shapes::weldExact(vertices, faces);
    EXPECT_TRUE(holes::findBoundaryLoops(vertices, faces).empty());
    EXPECT_EQ(holes::countBoundaryEdges(faces, vertices.size()), 0u);
}

TEST(BoundaryLoops, SyntheticScanWithThreeHolesHasThreeLoopsAndNoneAfterFilling)
{
    Arrays mesh = syntheticScan(3);
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 3u);
    for (const Loop& loop : loops) {
        EXPECT_GE(loop.size(), 8u);
        EXPECT_TRUE(loopEdgesAreBoundary(mesh, loop));
    }
    const std::size_t before = mesh.faces.size();
    holes::FillStats stats;
    std::string error;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, &error, nullptr, &stats)) << error;
    EXPECT_EQ(stats.faired, 3u);
    EXPECT_GT(mesh.faces.size(), before);
    EXPECT_TRUE(holes::findBoundaryLoops(mesh.vertices, mesh.faces).empty());
    EXPECT_TRUE(closedAndConsistent(mesh));
}

TEST(BoundaryLoops, TwoLoopsSharingAVertexComeOutSeparately)
{
    // Two triangles touching only at vertex 0.
    const Arrays mesh{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}}, {{0, 1, 2}, {0, 3, 4}}};
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 2u);
    for (const Loop& loop : loops) {
        EXPECT_EQ(loop.size(), 3u);
        EXPECT_EQ(std::set<std::uint32_t>(loop.begin(), loop.end()).size(), 3u);
        EXPECT_TRUE(loopEdgesAreBoundary(mesh, loop));
    }
}

TEST(BoundaryLoops, NonManifoldEdgeIsNeverPartOfALoop)
{
    // Three triangles on edge 0-1.
    const Arrays mesh{{{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}, {0.5f, 0, 1}}, {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    for (const Loop& loop : loops) {
        ASSERT_GE(loop.size(), 3u);
        EXPECT_TRUE(loopEdgesAreBoundary(mesh, loop));
    }
    EXPECT_EQ(holes::countBoundaryEdges(mesh.faces, mesh.vertices.size()), 6u);
}

TEST(BoundaryLoops, TrianglesWithBadIndicesAreIgnored)
{
    Arrays mesh = boxWithoutTop({1, 1, 1});
    mesh.faces.push_back({0, 1, 999});
    mesh.faces.push_back({2, 2, 3});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), 4u);
    EXPECT_TRUE(holes::findBoundaryLoops({}, mesh.faces).empty());
    EXPECT_TRUE(holes::findBoundaryLoops(mesh.vertices, {}).empty());
}

TEST(BoundaryLoops, NanVertexStillGetsItsLoopClosedFlat)
{
    Arrays mesh = boxWithoutTop({2, 2, 2});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 1u);
    mesh.vertices[loops[0][1]].x = std::numeric_limits<float>::quiet_NaN();
    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, nullptr, nullptr, &stats));
    EXPECT_EQ(stats.triangulated, 1u); // fairing refuses a patch with a NaN in it
    EXPECT_TRUE(holes::findBoundaryLoops(mesh.vertices, mesh.faces).empty());
    EXPECT_TRUE(closedAndConsistent(mesh));
}

TEST(HoleFill, BoxTopClosedByEarClippingKeepsVolumeAndWinding)
{
    Arrays mesh = boxWithoutTop({2, 3, 4});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    const std::size_t vertexCount = mesh.vertices.size();
    holes::FillOptions flat;
    flat.fair = false;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, flat));
    EXPECT_EQ(mesh.vertices.size(), vertexCount);
    EXPECT_EQ(mesh.faces.size(), 12u);
    EXPECT_TRUE(closedAndConsistent(mesh));
    EXPECT_NEAR(repairtools::signedVolume(mesh.vertices, mesh.faces) / 6.0, 24.0, 1e-4);
}

TEST(HoleFill, PlanarConvexLoopGivesNMinusTwoTriangles)
{
    std::vector<Vec3f> vertices;
    Loop loop;
    const int n = 9;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * i / n;
        vertices.push_back({float(5 * std::cos(a)), float(5 * std::sin(a)), 1.0f});
        loop.push_back(std::uint32_t(i));
    }
    std::vector<Triangle> out;
    EXPECT_EQ(holes::triangulateLoop(vertices, loop, out), std::size_t(n - 2));
    EXPECT_EQ(vertices.size(), std::size_t(n));
    double total = 0.0;
    for (const Triangle& t : out) {
        total += area(vertices, t);
        // The loop turns about +Z; the fill faces the other way.
        EXPECT_LT(cross(vertices[t[1]] - vertices[t[0]], vertices[t[2]] - vertices[t[0]]).z, 0.0f);
    }
    EXPECT_NEAR(total, 0.5 * n * 25.0 * std::sin(2.0 * M_PI / n), 1e-3);
}

TEST(HoleFill, ConcaveLoopIsTiledWithoutOverlap)
{
    // An L-shaped outline of area 3.
    std::vector<Vec3f> vertices{{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    const Loop loop{0, 1, 2, 3, 4, 5};
    std::vector<Triangle> out;
    ASSERT_EQ(holes::triangulateLoop(vertices, loop, out), 4u);
    double total = 0.0;
    for (const Triangle& t : out)
        total += area(vertices, t);
    EXPECT_NEAR(total, 3.0, 1e-6);
}

TEST(HoleFill, CollinearLoopFallsBackToCentroidFan)
{
    std::vector<Vec3f> vertices{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    const Loop loop{0, 1, 2, 3};
    std::vector<Triangle> out;
    EXPECT_EQ(holes::triangulateLoop(vertices, loop, out), 4u);
    ASSERT_EQ(vertices.size(), 5u);
    EXPECT_FLOAT_EQ(vertices[4].x, 1.5f);
}

TEST(HoleFill, KeptOpenLoopStaysOpen)
{
    Arrays mesh = syntheticScan(3);
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 3u);
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {1}, {}));
    const std::vector<Loop> left = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(std::set<std::uint32_t>(left[0].begin(), left[0].end()),
              std::set<std::uint32_t>(loops[1].begin(), loops[1].end()));
}

TEST(HoleFill, EveryLoopKeptOpenIsAnError)
{
    Arrays mesh = boxWithoutTop({1, 1, 1});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    const std::size_t faces = mesh.faces.size();
    std::string error;
    EXPECT_FALSE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {0}, {}, &error));
    EXPECT_EQ(error, "No holes selected to fill.");
    EXPECT_EQ(mesh.faces.size(), faces);
}

TEST(HoleFill, ShortAndOutOfRangeLoopsAreSkipped)
{
    Arrays mesh = boxWithoutTop({1, 1, 1});
    std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    loops.insert(loops.begin(), Loop{0, 1});
    loops.push_back(Loop{0, 1, 4000});
    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, nullptr, nullptr, &stats));
    EXPECT_EQ(stats.skipped, 2u);
    EXPECT_EQ(stats.faired + stats.triangulated, 1u);
    EXPECT_TRUE(closedAndConsistent(mesh));
}

TEST(HoleFill, SphereCapIsClosedByAPatchThatFollowsTheSphere)
{
    const fixtures::Mesh sphere = fixtures::sphereWithHoles(25.0f, 30.0f);
    Arrays mesh{sphere.vertices, sphere.faces};
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 4u);
    const std::size_t before = mesh.faces.size();
    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, nullptr, nullptr, &stats));
    EXPECT_EQ(stats.faired, 4u);
    EXPECT_TRUE(closedAndConsistent(mesh));
    // A flat lid over the 30 mm cap would sit 5 mm inside the sphere.
    EXPECT_LE(fixtures::worstCentroidError({mesh.vertices, mesh.faces}, 25.0f), 0.5);
    // Triangles sized like their neighbours: the cap's ~230 removed ones come back in similar number.
    EXPECT_GT(mesh.faces.size(), before + 150);
}

TEST(HoleFill, CancelLeavesBothArraysAsTheyWere)
{
    Arrays mesh = syntheticScan(3);
    const Arrays before = mesh;
    Progress progress;
    progress.cancel();
    std::string error;
    EXPECT_FALSE(holes::fillHoles(mesh.vertices, mesh.faces, holes::findBoundaryLoops(mesh.vertices, mesh.faces), {}, {},
                                  &error, &progress));
    EXPECT_EQ(error, "Hole filling canceled.");
    EXPECT_TRUE(mesh.vertices == before.vertices);
    EXPECT_TRUE(mesh.faces == before.faces);
}

TEST(HoleFill, ModelWithoutMeshReportsIt)
{
    MeshModel model;
    std::string error;
    EXPECT_FALSE(model.fillSelectedHoles({{0, 1, 2}}, {}, &error));
    EXPECT_EQ(error, "No mesh loaded.");
}

TEST(HoleFill, ModelFillUpdatesCaches)
{
    MeshModel model;
    const Arrays mesh = syntheticScan(2, 5000);
    model.vertices.assign(mesh.vertices);
    model.faces.assign(mesh.faces);
    model.updateCaches();
    const std::uint64_t revision = model.geometryRevision;
    Progress progress;
    ASSERT_TRUE(model.fillSelectedHoles(model.findBoundaryLoops(), {}, nullptr, &progress));
    EXPECT_TRUE(model.findBoundaryLoops().empty());
    EXPECT_GT(model.geometryRevision, revision);
    EXPECT_EQ(progress.percent(), 90);
}
