// Render mesh reduction: copy up to the target, grid clustering above it.

#include "bench/syntheticscan.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "model/mesh/meshmodel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <array>
#include <limits>
#include <random>
#include <set>

namespace {

constexpr std::size_t kTarget = MeshModel::kDisplayFaceTarget;

MeshModel modelOf(std::vector<Vec3f> v, std::vector<Triangle> f)
{
    MeshModel m;
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    return m;
}

// Square grid of unit cells in the z = 0 plane, wound towards +z, cut off
// after exactly the given number of triangles.
MeshModel plate(std::size_t triangles)
{
    const auto n = std::uint32_t(std::ceil(std::sqrt(double(triangles) / 2.0)));
    std::vector<Vec3f> v;
    for (std::uint32_t j = 0; j <= n; ++j)
        for (std::uint32_t i = 0; i <= n; ++i)
            v.emplace_back(float(i), float(j), 0.0f);
    std::vector<Triangle> f;
    for (std::uint32_t j = 0; j < n && f.size() < triangles; ++j)
        for (std::uint32_t i = 0; i < n && f.size() < triangles; ++i) {
            const std::uint32_t a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            f.emplace_back(a, b, d);
            if (f.size() < triangles)
                f.emplace_back(a, d, c);
        }
    return modelOf(std::move(v), std::move(f));
}

struct Display {
    SharedArray<Vec3f> vertices;
    SharedArray<Triangle> faces;
};

Display reduce(const MeshModel& m, std::size_t target = kTarget)
{
    Display d;
    m.buildDisplayMesh(m.faces, target, d.vertices, d.faces);
    return d;
}

Vec3f unitNormal(const SharedArray<Vec3f>& v, const Triangle& t)
{
    Vec3f n = cross(v[t[1]] - v[t[0]], v[t[2]] - v[t[0]]);
    return n * (1.0f / std::sqrt(dot(n, n)));
}

} // namespace

TEST(MeshModelDisplay, EmptyInputGivesEmptyRenderMeshReplacingTheOldOne)
{
    MeshModel noFaces = modelOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {});
    Display d = reduce(noFaces);
    EXPECT_TRUE(d.vertices.empty());
    EXPECT_TRUE(d.faces.empty());

    d = reduce(modelOf({}, {{0, 1, 2}}));
    EXPECT_TRUE(d.vertices.empty());
    EXPECT_TRUE(d.faces.empty());
    // An old render mesh is replaced.
    d.vertices.assign(std::vector<Vec3f>(5, Vec3f{9, 9, 9}));
    d.faces.assign(std::vector<Triangle>(5, Triangle{0, 1, 2}));
    MeshModel empty;
    empty.buildDisplayMesh(empty.faces, kTarget, d.vertices, d.faces);
    EXPECT_TRUE(d.vertices.empty());
    EXPECT_TRUE(d.faces.empty());
}

TEST(MeshModelDisplay, ExactlyTargetTrianglesAreCopiedOneMoreAreClustered)
{
    const MeshModel m = plate(kTarget);
    ASSERT_EQ(m.faces.size(), kTarget);
    const Display d = reduce(m);
    EXPECT_EQ(d.faces, m.faces);
    EXPECT_EQ(d.vertices, m.vertices);
    // A copy shares the storage until either side writes.
    EXPECT_TRUE(d.faces.sharesStorageWith(m.faces));
    // One triangle above the target is clustered.
    const MeshModel above = plate(kTarget + 1);
    const Display c = reduce(above);
    ASSERT_FALSE(c.faces.empty());
    EXPECT_FALSE(c.faces.sharesStorageWith(above.faces));
    // At this density the grid has one cell per plate vertex, except that the
    // last column and row clamp into the cells before them and collapse.
    EXPECT_LT(c.faces.size(), above.faces.size());
    EXPECT_LT(c.vertices.size(), above.vertices.size());
    const float side = above.boundsMax().x;
    for (const Vec3f& p : c.vertices) {
        EXPECT_GE(p.x, 0.0f);
        EXPECT_LE(p.x, side);
        EXPECT_GE(p.y, 0.0f);
        EXPECT_LE(p.y, side);
        EXPECT_EQ(p.z, 0.0f);
    }
    // Updating the caches builds the reduced render mesh.
    MeshModel cached = plate(kTarget + 20000);
    const std::uint64_t revision = cached.geometryRevision;
    cached.updateCaches();
    EXPECT_GT(cached.geometryRevision, revision);
    EXPECT_FALSE(cached.displayFaces.empty());
    EXPECT_LT(cached.displayFaces.size(), cached.faces.size());
    EXPECT_EQ(cached.sliceFaces, cached.faces);
}

TEST(MeshModelDisplay, ClusteredScanKeepsShapeAndWindingAndNothingPassesTheHardCap)
{
    SyntheticScanOptions options;
    options.targetTriangles = 600000;
    options.tilted = false;
    options.holes = 0;
    const SyntheticScan scan = makeSyntheticScan(options);
    const MeshModel m = modelOf(scan.vertices, scan.faces);
    // A lower target keeps the result clear of the hard cap.
    const Display d = reduce(m, 100000);

    ASSERT_GT(d.faces.size(), 100000u);
    EXPECT_LE(d.faces.size(), MeshModel::kDisplayFaceCap);
    // Bounds shrink by about one grid cell (~0.6 mm here) at most.
    Vec3f lo = d.vertices[0], hi = d.vertices[0];
    for (const Vec3f& p : d.vertices) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    const Vec3f srcLo = m.boundsMin(), srcHi = m.boundsMax();
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(lo[a], srcLo[a], 0.75f) << "axis " << a;
        EXPECT_NEAR(hi[a], srcHi[a], 0.75f) << "axis " << a;
    }
    // Winding kept: the reduced block encloses (nearly) the same volume with
    // the same, outward, sign.
    const double before = fixtures::signedVolume(scan.vertices, scan.faces);
    const double after = fixtures::signedVolume(d.vertices.vec(), d.faces.vec());
    ASSERT_GT(before, 0.0);
    EXPECT_NEAR(after / before, 1.0, 0.03);
    // No triangle twice, none degenerate.
    std::set<std::array<std::uint32_t, 3>> seen;
    for (const Triangle& t : d.faces) {
        std::array<std::uint32_t, 3> key{t[0], t[1], t[2]};
        std::sort(key.begin(), key.end());
        EXPECT_TRUE(key[0] != key[1] && key[1] != key[2]);
        EXPECT_TRUE(seen.insert(key).second);
    }
    // Random triangles never make more than the hard cap.
    // Random triangles filling a cube: almost every vertex gets its own cell,
    // so nearly nothing collapses and the cap has to stop the walk.
    std::mt19937 random(3);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<Vec3f> soup(1500000);
    for (Vec3f& p : soup)
        p = {unit(random), unit(random), unit(random)};
    std::vector<Triangle> soupFaces;
    for (std::uint32_t i = 0; i + 2 < soup.size(); i += 3)
        soupFaces.emplace_back(i, i + 1, i + 2);
    const MeshModel scattered = modelOf(std::move(soup), std::move(soupFaces));
    const Display capped = reduce(scattered);
    EXPECT_EQ(capped.faces.size(), MeshModel::kDisplayFaceCap);
}

TEST(MeshModelDisplay, FlatMeshesReduceKeepingWindingCollapsedAndDuplicateTrianglesVanish)
{
    MeshModel m = plate(500000);
    const Display d = reduce(m);
    ASSERT_FALSE(d.faces.empty());
    EXPECT_LT(d.faces.size(), 300000u);
    for (const Vec3f& p : d.vertices)
        EXPECT_EQ(p.z, 0.0f);
    // All normals still point along +z: the flat axis did not scramble the winding.
    for (std::size_t i = 0; i < d.faces.size(); i += 997)
        EXPECT_GT(unitNormal(d.vertices, d.faces[i]).z, 0.99f);
    // Flat 100 x 100 square: area estimate 20,000, cell edge 0.3162, 317 cells
    // per axis of 100/317 mm. Cell (i, j) has its centre at ((i + .5) s, (j + .5) s).
    const float s = 100.0f / 317.0f;
    auto in = [s](int i, int j, float dx = 0.0f, float dy = 0.0f) {
        return Vec3f{(float(i) + 0.5f + dx) * s, (float(j) + 0.5f + dy) * s, 0.0f};
    };
    std::vector<Vec3f> points = {{0, 0, 0}, {100, 100, 0}, {100, 0, 0}};
    std::vector<Triangle> triangles;
    // Filler within the single cell at the origin: every one of them vanishes.
    while (triangles.size() < kTarget + 10) {
        const auto b = std::uint32_t(points.size());
        points.push_back(in(0, 0, -0.3f, -0.3f));
        points.push_back(in(0, 0, 0.3f, -0.3f));
        points.push_back(in(0, 0, 0.0f, 0.3f));
        triangles.emplace_back(b, b + 1, b + 2);
    }
    auto add = [&](Vec3f a, Vec3f b, Vec3f c) {
        const auto base = std::uint32_t(points.size());
        points.insert(points.end(), {a, b, c});
        triangles.emplace_back(base, base + 1, base + 2);
    };
    add(in(10, 10), in(12, 10), in(10, 12));                                     // kept
    add(in(10, 10, 0.2f, 0.1f), in(12, 10, -0.2f, 0.1f), in(10, 12, 0.1f, -0.2f)); // same cells: dropped
    add(in(12, 10, 0.1f), in(10, 12, 0.1f), in(10, 10, 0.1f));                   // same cells, rotated: dropped
    add(in(20, 20), in(20, 20, 0.2f), in(22, 20));                               // two cells only: vanishes
    const MeshModel square = modelOf(std::move(points), std::move(triangles));
    const Display single = reduce(square);

    ASSERT_EQ(single.faces.size(), 1u);
    const Triangle t = single.faces[0];
    // Corners are the means of everything clustered into the three cells.
    EXPECT_NEAR(single.vertices[t[0]].x, (10.5f + 0.2f / 3 + 0.1f / 3) * s, 1e-3f);
    EXPECT_NEAR(single.vertices[t[1]].x, (12.5f - 0.2f / 3 + 0.1f / 3) * s, 1e-3f);
    EXPECT_NEAR(single.vertices[t[2]].y, (12.5f - 0.2f / 3) * s, 1e-3f);
    // The first triangle's winding (+z normal) survives.
    EXPECT_GT(unitNormal(single.vertices, t).z, 0.99f);
}

TEST(MeshModelDisplay, BadIndicesNonFiniteAndExtremeVerticesDoNotPoisonTheRenderMesh)
{
    // A NaN or infinite vertex joins no cell: its triangles leave the render
    // mesh, every other cell keeps a finite mean.
    MeshModel m = plate(kTarget + 1000);
    const float side = m.boundsMax().x;
    const auto row = std::size_t(side) + 1;
    std::vector<Vec3f> v = m.vertices.vec();
    // Inside the plate, where the grid keeps every row and column apart.
    v[150 * row + 150].x = std::numeric_limits<float>::quiet_NaN();
    v[200 * row + 77].y = std::numeric_limits<float>::infinity();
    m.vertices.assign(std::move(v));
    const Display d = reduce(m);
    const Display clean = reduce(plate(kTarget + 1000));
    // Only the few triangles around the two broken vertices are missing.
    EXPECT_LT(d.faces.size(), clean.faces.size());
    EXPECT_GE(d.faces.size() + 12, clean.faces.size());
    for (const Vec3f& p : d.vertices)
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z) && p.x <= side);
    // Extents overflow to infinity in float: the grid degenerates to a single
    // cell per axis instead of computing with NaN.
    MeshModel extreme = plate(kTarget + 10);
    v = extreme.vertices.vec();
    v.push_back({-3e38f, -3e38f, 0.0f});
    v.push_back({3e38f, 3e38f, 3e38f});
    extreme.vertices.assign(std::move(v));
    const Display e = reduce(extreme);
    EXPECT_LE(e.faces.size(), MeshModel::kDisplayFaceCap);
    for (const Triangle& t : e.faces)
        EXPECT_TRUE(t.inRange(e.vertices.size()));
    // An out-of-range index is skipped.
    // Reduced path.
    MeshModel big = plate(kTarget + 1000);
    std::vector<Triangle> withBad = big.faces.vec();
    const auto count = std::uint32_t(big.vertices.size());
    withBad.insert(withBad.begin(), Triangle{0, count, 5000});
    big.faces.assign(std::move(withBad));
    Display r = reduce(big);
    ASSERT_FALSE(r.faces.empty());
    for (const Triangle& t : r.faces)
        EXPECT_TRUE(t.inRange(r.vertices.size()));

    // Copy path: the valid triangles are all there, the broken one is not.
    MeshModel small = modelOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 4, 2}, {1, 3, 2}});
    r = reduce(small);
    EXPECT_EQ(r.vertices, small.vertices);
    ASSERT_EQ(r.faces.size(), 2u);
    EXPECT_EQ(r.faces[0], (Triangle{0, 1, 2}));
    EXPECT_EQ(r.faces[1], (Triangle{1, 3, 2}));
}

