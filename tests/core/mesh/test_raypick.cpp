#include "bench/syntheticscan.h"
#include "model/mesh/raypick.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

Vec3f unit(Vec3f v)
{
    const float len = std::sqrt(dot(v, v));
    return v * (1.0f / len);
}

} // namespace

TEST(RayPick, TriangleHitsStackedTrianglesNearestVertexAndTheIndexAgreeingOnAScan)
{
    const Vec3f a(0, 0, 0), b(2, 0, 0), c(0, 2, 0);
    float t = 0.0f;
    ASSERT_TRUE(rayTriangle(Vec3f(0.5f, 0.5f, 5.0f), Vec3f(0, 0, -1), a, b, c, &t));
    EXPECT_FLOAT_EQ(t, 5.0f);
    // Beyond the hypotenuse, behind the origin, and parallel to the plane.
    EXPECT_FALSE(rayTriangle(Vec3f(1.5f, 1.5f, 5.0f), Vec3f(0, 0, -1), a, b, c, &t));
    EXPECT_FALSE(rayTriangle(Vec3f(0.5f, 0.5f, -5.0f), Vec3f(0, 0, -1), a, b, c, &t));
    EXPECT_FALSE(rayTriangle(Vec3f(0.5f, 0.5f, 1.0f), Vec3f(1, 0, 0), a, b, c, &t));
    // Of stacked triangles the nearest wins, and bad indices are skipped.
    SharedArray<Vec3f> vertices({{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, 2}, {4, 0, 2}, {0, 4, 2}});
    // Index 99 is out of range: the triangle nearest the eye must be ignored.
    SharedArray<Triangle> faces({{0, 1, 2}, {3, 4, 5}, {3, 4, 99}});
    RayHit hit;
    ASSERT_TRUE(pickLinear(vertices, faces, Vec3f(1, 1, 10), Vec3f(0, 0, -1), &hit));
    EXPECT_EQ(hit.triangle, 1);
    EXPECT_NEAR(hit.point.z, 2.0f, 1e-5f);
    EXPECT_NEAR(hit.normal.z, 1.0f, 1e-6f);

    RayPickIndex index;
    index.build(vertices, faces);
    RayHit indexed;
    ASSERT_TRUE(index.pick(Vec3f(1, 1, 10), Vec3f(0, 0, -1), &indexed));
    EXPECT_EQ(indexed.triangle, 1);
    EXPECT_FALSE(index.pick(Vec3f(10, 10, 10), Vec3f(0, 0, -1), &indexed));
    // The nearest vertex has the smallest squared distance.
    EXPECT_EQ(nearestVertex(SharedArray<Vec3f>({{0, 0, 0}, {1, 0, 0}, {5, 5, 5}}), Vec3f(0.6f, 0.1f, 0.0f)), 1);
    EXPECT_EQ(nearestVertex(SharedArray<Vec3f>(), Vec3f()), -1);
    // The index agrees with the linear pass on a scan.
    SyntheticScanOptions options;
    options.targetTriangles = 60000;
    const SyntheticScan scan = makeSyntheticScan(options);
    const SharedArray<Vec3f> scanVertices(scan.vertices);
    const SharedArray<Triangle> scanFaces(scan.faces);
    RayPickIndex scanIndex;
    scanIndex.build(scanVertices, scanFaces);

    const Vec3f centre = boundingBoxCentre(scan);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unitRange(-1.0f, 1.0f);
    int hits = 0;
    for (int i = 0; i < 400; ++i) {
        // Rays from a sphere around the part towards points near its centre;
        // some miss, most hit, through holes and creases alike.
        const Vec3f from = centre + unit(Vec3f(unitRange(rng), unitRange(rng), unitRange(rng))) * 300.0f;
        const Vec3f to = centre + Vec3f(unitRange(rng) * 80.0f, unitRange(rng) * 60.0f, unitRange(rng) * 30.0f);
        const Vec3f dir = unit(to - from);
        RayHit linear, fromIndex;
        const bool a = pickLinear(scanVertices, scanFaces, from, dir, &linear);
        const bool b = scanIndex.pick(from, dir, &fromIndex);
        ASSERT_EQ(a, b) << "ray " << i;
        if (!a)
            continue;
        ++hits;
        EXPECT_EQ(linear.triangle, fromIndex.triangle) << "ray " << i;
        EXPECT_FLOAT_EQ(linear.t, fromIndex.t) << "ray " << i;
    }
    EXPECT_GT(hits, 200);
}

