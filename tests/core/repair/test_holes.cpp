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

using Arrays = fixtures::Mesh;

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

TEST(BoundaryLoops, OneLoopPerHoleIgnoringBadTrianglesSharedVerticesAndNonManifoldEdges)
{
    Arrays mesh = boxWithoutTop({10, 20, 30});
    // A triangle past the vertex list and a collapsed one change nothing.
    mesh.faces.push_back({0, 1, 999});
    mesh.faces.push_back({2, 2, 3});
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 1u);
    ASSERT_EQ(loops[0].size(), 4u);
    EXPECT_EQ(std::set<std::uint32_t>(loops[0].begin(), loops[0].end()).size(), 4u);
    for (std::uint32_t v : loops[0])
        EXPECT_EQ(mesh.vertices[v].z, 30.0f);
    EXPECT_TRUE(loopEdgesAreBoundary(mesh, loops[0]));
    EXPECT_TRUE(holes::findBoundaryLoops({}, mesh.faces).empty());
    EXPECT_TRUE(holes::findBoundaryLoops(mesh.vertices, {}).empty());

    const MeshModel box = shapes::box({5, 5, 5}, 3);
    Arrays closed{box.vertices.vec(), box.faces.vec()};
    shapes::weldExact(closed.vertices, closed.faces);
    EXPECT_TRUE(holes::findBoundaryLoops(closed.vertices, closed.faces).empty());
    EXPECT_EQ(holes::countBoundaryEdges(closed.faces, closed.vertices.size()), 0u);
    // Two triangles touching only at vertex 0: two loops of three.
    const Arrays touching{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}}, {{0, 1, 2}, {0, 3, 4}}};
    const std::vector<Loop> odd = holes::findBoundaryLoops(touching.vertices, touching.faces);
    ASSERT_EQ(odd.size(), 2u);
    for (const Loop& loop : odd) {
        EXPECT_EQ(std::set<std::uint32_t>(loop.begin(), loop.end()).size(), loop.size());
        EXPECT_EQ(loop.size(), 3u);
        EXPECT_TRUE(loopEdgesAreBoundary(touching, loop));
    }
    // Three triangles on edge 0-1: that edge is never part of a loop.
    const Arrays fan{{{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, {0.5f, -1, 0}, {0.5f, 0, 1}}, {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}}};
    for (const Loop& loop : holes::findBoundaryLoops(fan.vertices, fan.faces)) {
        ASSERT_GE(loop.size(), 3u);
        EXPECT_TRUE(loopEdgesAreBoundary(fan, loop));
    }
    EXPECT_EQ(holes::countBoundaryEdges(fan.faces, fan.vertices.size()), 6u);
    // A NaN vertex still gets its loop closed flat.
    Arrays nanBox = boxWithoutTop({2, 2, 2});
    const std::vector<Loop> boxLoops = holes::findBoundaryLoops(nanBox.vertices, nanBox.faces);
    ASSERT_EQ(boxLoops.size(), 1u);
    nanBox.vertices[boxLoops[0][1]].x = std::numeric_limits<float>::quiet_NaN();
    holes::FillStats flatStats;
    ASSERT_TRUE(holes::fillHoles(nanBox.vertices, nanBox.faces, boxLoops, {}, {}, nullptr, nullptr, &flatStats));
    EXPECT_EQ(flatStats.triangulated, 1u); // fairing refuses a patch with a NaN in it
    EXPECT_TRUE(holes::findBoundaryLoops(nanBox.vertices, nanBox.faces).empty());
    EXPECT_TRUE(closedAndConsistent(nanBox));
}

TEST(BoundaryLoops, SyntheticScanWithThreeHolesCancelsKeepsOneOpenOrFillsAll)
{
    Arrays mesh = syntheticScan(3);
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 3u);
    for (const Loop& loop : loops) {
        EXPECT_GE(loop.size(), 8u);
        EXPECT_TRUE(loopEdgesAreBoundary(mesh, loop));
    }
    const Arrays before = mesh;
    // Cancel leaves both arrays as they were.
    Progress progress;
    progress.cancel();
    std::string error;
    EXPECT_FALSE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, &error, &progress));
    EXPECT_EQ(error, "Hole filling canceled.");
    EXPECT_TRUE(mesh.vertices == before.vertices);
    EXPECT_TRUE(mesh.faces == before.faces);
    // A loop kept open stays open.
    Arrays keptOpen = mesh;
    ASSERT_TRUE(holes::fillHoles(keptOpen.vertices, keptOpen.faces, loops, {1}, {}));
    const std::vector<Loop> left = holes::findBoundaryLoops(keptOpen.vertices, keptOpen.faces);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(std::set<std::uint32_t>(left[0].begin(), left[0].end()),
              std::set<std::uint32_t>(loops[1].begin(), loops[1].end()));

    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, &error, nullptr, &stats)) << error;
    EXPECT_EQ(stats.faired, 3u);
    EXPECT_GT(mesh.faces.size(), before.faces.size());
    EXPECT_TRUE(holes::findBoundaryLoops(mesh.vertices, mesh.faces).empty());
    EXPECT_TRUE(closedAndConsistent(mesh));
}

TEST(HoleFill, LoopsAreTiledWithoutOverlapFacingAwayFromTheirTurnAndCloseABoxTop)
{
    Arrays mesh = boxWithoutTop({2, 3, 4});
    std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    const std::size_t vertexCount = mesh.vertices.size();
    // Every loop kept open is an error that changes nothing.
    std::string error;
    EXPECT_FALSE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {0}, {}, &error));
    EXPECT_EQ(error, "No holes selected to fill.");
    EXPECT_EQ(mesh.faces.size(), 10u);
    // Short and out-of-range loops are skipped.
    loops.insert(loops.begin(), Loop{0, 1});
    loops.push_back(Loop{0, 1, 4000});
    holes::FillOptions flat;
    flat.fair = false;
    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, flat, nullptr, nullptr, &stats));
    EXPECT_EQ(stats.skipped, 2u);
    EXPECT_EQ(stats.triangulated, 1u);
    EXPECT_EQ(mesh.vertices.size(), vertexCount);
    EXPECT_EQ(mesh.faces.size(), 12u);
    EXPECT_TRUE(closedAndConsistent(mesh));
    EXPECT_NEAR(repairtools::signedVolume(mesh.vertices, mesh.faces) / 6.0, 24.0, 1e-4);
    std::vector<Vec3f> nineGon;
    for (int i = 0; i < 9; ++i)
        nineGon.push_back({float(5 * std::cos(2.0 * M_PI * i / 9)), float(5 * std::sin(2.0 * M_PI * i / 9)), 1.0f});
    struct Case {
        const char* what;
        std::vector<Vec3f> vertices; // the loop runs through them in order, turning about +Z
        std::size_t triangles;
        double area;
        bool centroidAdded; // a collinear loop falls back to a fan about its centroid
    };
    const Case cases[] = {
        {"convex", nineGon, 7, 0.5 * 9 * 25.0 * std::sin(2.0 * M_PI / 9), false},
        {"concave L", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, 4, 3.0, false},
        {"collinear", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, 4, 0.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Vec3f> corners = c.vertices;
        Loop ring;
        for (std::uint32_t i = 0; i < corners.size(); ++i)
            ring.push_back(i);
        std::vector<Triangle> tiles;
        EXPECT_EQ(holes::triangulateLoop(corners, ring, tiles), c.triangles);
        ASSERT_EQ(corners.size(), c.vertices.size() + (c.centroidAdded ? 1 : 0));
        if (c.centroidAdded) {
            EXPECT_FLOAT_EQ(corners.back().x, 1.5f);
        }
        double total = 0.0;
        for (const Triangle& t : tiles) {
            total += area(corners, t);
            EXPECT_LE(cross(corners[t[1]] - corners[t[0]], corners[t[2]] - corners[t[0]]).z, 0.0f);
        }
        EXPECT_NEAR(total, c.area, 1e-3);
    }
}

TEST(HoleFill, SphereCapFollowsTheSphereAndAModelFillUpdatesItsCaches)
{
    Arrays mesh = fixtures::sphereWithHoles(25.0f, 30.0f);
    const std::vector<Loop> loops = holes::findBoundaryLoops(mesh.vertices, mesh.faces);
    ASSERT_EQ(loops.size(), 4u);
    const std::size_t before = mesh.faces.size();
    holes::FillStats stats;
    ASSERT_TRUE(holes::fillHoles(mesh.vertices, mesh.faces, loops, {}, {}, nullptr, nullptr, &stats));
    EXPECT_EQ(stats.faired, 4u);
    EXPECT_TRUE(closedAndConsistent(mesh));
    // A flat lid over the 30 mm cap would sit 5 mm inside the sphere.
    EXPECT_LE(fixtures::worstCentroidError(mesh, 25.0f), 0.5);
    // Triangles sized like their neighbours: the cap's ~230 removed ones come back in similar number.
    EXPECT_GT(mesh.faces.size(), before + 150);
    // Filling through the model updates its caches and needs a mesh.
    MeshModel model;
    std::string modelError;
    EXPECT_FALSE(model.fillSelectedHoles({{0, 1, 2}}, {}, &modelError));
    EXPECT_EQ(modelError, "No mesh loaded.");
    const Arrays scan = syntheticScan(2, 5000);
    model.vertices.assign(scan.vertices);
    model.faces.assign(scan.faces);
    model.updateCaches();
    const std::uint64_t revision = model.geometryRevision;
    Progress progress;
    ASSERT_TRUE(model.fillSelectedHoles(model.findBoundaryLoops(), {}, nullptr, &progress));
    EXPECT_TRUE(model.findBoundaryLoops().empty());
    EXPECT_GT(model.geometryRevision, revision);
    EXPECT_EQ(progress.percent(), 90);
}

