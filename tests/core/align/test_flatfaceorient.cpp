#include "bench/syntheticscan.h"
#include "io/meshload.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "model/align/flatfaceorient.h"
#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Bottom 100 x 60 at z = 0, top 60 x 30 at z = 30, centred on the Z axis:
// its largest flat face is unambiguous, unlike a box's.
MeshModel frustum()
{
    MeshModel m = shapes::box({1, 1, 1}, 4);
    std::vector<Vec3f> v = m.vertices.vec();
    for (Vec3f& p : v)
        p = Vec3f((p.x - 0.5f) * (100.0f - 40.0f * p.z), (p.y - 0.5f) * (60.0f - 30.0f * p.z), 30.0f * p.z);
    m.vertices.assign(std::move(v));
    m.loadedVertices = m.vertices;
    m.updateCaches();
    return m;
}

Rotation3 arbitraryPose()
{
    return axisAngleRotation(QVector3D(0.3f, -1.0f, 0.7f), 2.2f);
}

MeshModel posedFrustum()
{
    MeshModel m = frustum();
    shapes::transform(m, arbitraryPose(), {-40, 310, 17});
    return m;
}

bool sameBits(const MeshModel& a, const std::vector<Vec3f>& b)
{
    return a.vertices.size() == b.size() && std::memcmp(a.vertices.data(), b.data(), b.size() * sizeof(Vec3f)) == 0;
}

void expectFails(MeshModel& m, const char* message)
{
    const std::vector<Vec3f> before = m.vertices.vec();
    const auto revision = m.geometryRevision;
    std::string error;
    EXPECT_FALSE(m.autoOrientFlatFace(0, Axis::X, 2.0f, &error));
    EXPECT_EQ(error, message);
    EXPECT_TRUE(sameBits(m, before));
    EXPECT_EQ(m.geometryRevision, revision);
}

float maxAbsAt(const MeshModel& m, float z, int axis)
{
    float best = 0.0f;
    for (const Vec3f& p : m.vertices)
        if (std::fabs(p.z - z) < 1e-2f)
            best = std::max(best, std::fabs(p[axis]));
    return best;
}

} // namespace

TEST(AutoOrient, LargestFaceAtBottomOnXYAndLongSideOnX)
{
    MeshModel m = posedFrustum();
    const double volume = shapes::signedVolume(m);
    std::string error;
    ASSERT_TRUE(m.autoOrientFlatFace(0, Axis::X, 2.0f, &error)) << error;
    const Vec3f lo = m.boundsMin(), ext = m.extents();
    EXPECT_NEAR(ext.x, 100.0f, 1e-2f);
    EXPECT_NEAR(ext.y, 60.0f, 1e-2f);
    EXPECT_NEAR(ext.z, 30.0f, 1e-2f);
    EXPECT_NEAR(lo.z, 0.0f, 1e-4f);
    EXPECT_NEAR(lo.x, -50.0f, 1e-2f);
    EXPECT_NEAR(lo.y, -30.0f, 1e-2f);
    // The big face lies at z = 0, the small one on top.
    EXPECT_NEAR(maxAbsAt(m, 0.0f, 0), 50.0f, 1e-2f);
    EXPECT_NEAR(maxAbsAt(m, 0.0f, 1), 30.0f, 1e-2f);
    EXPECT_NEAR(maxAbsAt(m, 30.0f, 0), 30.0f, 1e-2f);
    EXPECT_NEAR(maxAbsAt(m, 30.0f, 1), 15.0f, 1e-2f);
    // A rotation, never a mirror.
    EXPECT_NEAR(shapes::signedVolume(m), volume, std::fabs(volume) * 1e-4);
    // A stray non-finite vertex does not spoil the part.
    const MeshModel& clean = m;
    MeshModel stray = posedFrustum();
    std::vector<Vec3f> v = stray.vertices.vec();
    v.emplace_back(std::numeric_limits<float>::quiet_NaN(), 1.0f, std::numeric_limits<float>::infinity());
    stray.vertices.assign(std::move(v));
    ASSERT_TRUE(stray.autoOrientFlatFace(0, Axis::X, 2.0f, &error)) << error;
    for (std::size_t i = 0; i < clean.vertices.size(); ++i) {
        EXPECT_NEAR(stray.vertices[i].x, clean.vertices[i].x, 1e-3f);
        EXPECT_NEAR(stray.vertices[i].y, clean.vertices[i].y, 1e-3f);
        EXPECT_NEAR(stray.vertices[i].z, clean.vertices[i].z, 1e-3f);
    }
    EXPECT_TRUE(std::isnan(stray.vertices.back().x));
    for (const auto& [edge, lock] :
         {std::pair{0, Axis::Y}, std::pair{2, Axis::X}, std::pair{3, Axis::X}, std::pair{1, Axis::Y}}) {
        MeshModel locked = posedFrustum();
        ASSERT_TRUE(locked.autoOrientFlatFace(edge, lock, 2.0f));
        const Vec3f lockedExtents = locked.extents();
        EXPECT_NEAR(lockedExtents.x, 60.0f, 1e-2f) << edge << " " << axisName(lock);
        EXPECT_NEAR(lockedExtents.y, 100.0f, 1e-2f) << edge << " " << axisName(lock);
        EXPECT_NEAR(lockedExtents.z, 30.0f, 1e-2f) << edge << " " << axisName(lock);
        EXPECT_NEAR(locked.boundsMin().z, 0.0f, 1e-4f);
    }
    // Left is right turned half about Z.
    MeshModel right = posedFrustum(), left = posedFrustum();
    ASSERT_TRUE(right.autoOrientFlatFace(0, Axis::X, 2.0f));
    ASSERT_TRUE(left.autoOrientFlatFace(1, Axis::X, 2.0f));
    ASSERT_EQ(right.vertices.size(), left.vertices.size());
    for (std::size_t i = 0; i < right.vertices.size(); ++i) {
        EXPECT_NEAR(left.vertices[i].x, -right.vertices[i].x, 2e-3f) << i;
        EXPECT_NEAR(left.vertices[i].y, -right.vertices[i].y, 2e-3f) << i;
        EXPECT_NEAR(left.vertices[i].z, right.vertices[i].z, 2e-3f) << i;
    }
}

TEST(AutoOrient, NoisyTiltedScanAndCadPlateLandOnTheirFlatFace)
{
    SyntheticScanOptions options;
    options.targetTriangles = 60000;
    const SyntheticScan tilted = makeSyntheticScan(options);
    options.tilted = false;
    const SyntheticScan square = makeSyntheticScan(options);
    MeshModel m;
    m.vertices.assign(std::vector<Vec3f>(tilted.vertices));
    m.faces.assign(std::vector<Triangle>(tilted.faces));
    m.updateCaches();
    MeshModel reference;
    reference.vertices.assign(std::vector<Vec3f>(square.vertices));
    reference.faces.assign(std::vector<Triangle>(square.faces));
    const Vec3f want = reference.extents();

    std::string error;
    ASSERT_TRUE(m.autoOrientFlatFace(0, Axis::X, 2.0f, &error)) << error;
    const Vec3f ext = m.extents();
    // Squared up: a tilt of one degree would add about 2 mm to the height
    // and the in-plane extents.
    EXPECT_NEAR(ext.z, want.z, 0.6f);
    EXPECT_NEAR(std::max(ext.x, ext.y), want.x, 1.0f);
    EXPECT_NEAR(std::min(ext.x, ext.y), want.y, 1.0f);
    EXPECT_NEAR(m.boundsMin().z, 0.0f, 1e-4f);
    EXPECT_NEAR(m.boundsMin().x + m.boundsMax().x, 0.0f, 1e-3f);
    EXPECT_NEAR(m.boundsMin().y + m.boundsMax().y, 0.0f, 1e-3f);
    // A CAD plate whose flat face is two triangles lands on it.
    fixtures::TempDir dir;
    fixtures::writeStepPlateWithCrossHole(dir.path("plate.step"), 100, 60, 8, 2);
    MeshModel plate;
    ASSERT_TRUE(loadMesh(plate, dir.path("plate.step"), &error)) << error;
    shapes::transform(plate, arbitraryPose(), {12, -7, 30});
    ASSERT_TRUE(plate.autoOrientFlatFace(0, Axis::X, 2.0f, &error)) << error;
    const Vec3f plateExtents = plate.extents();
    EXPECT_NEAR(plateExtents.x, 100.0f, 1e-2f);
    EXPECT_NEAR(plateExtents.y, 60.0f, 1e-2f);
    EXPECT_NEAR(plateExtents.z, 8.0f, 1e-2f);
    EXPECT_NEAR(plate.boundsMin().z, 0.0f, 1e-4f);
}

TEST(AutoOrient, DegenerateInputOrNoFlatFaceIsRefused)
{
    MeshModel empty;
    std::string error;
    EXPECT_FALSE(empty.autoOrientFlatFace(0, Axis::X, 2.0f, &error));
    EXPECT_EQ(error, "No mesh loaded.");

    MeshModel small = shapes::sphere(10.0f, 6, 6); // 42 vertices
    std::vector<Vec3f> v = small.vertices.vec();
    v.resize(31);
    std::vector<Triangle> f;
    for (const Triangle& t : small.faces)
        if (t.v[0] < 31 && t.v[1] < 31 && t.v[2] < 31)
            f.push_back(t);
    ASSERT_GE(f.size(), 16u);
    small.vertices.assign(std::move(v));
    small.faces.assign(std::move(f));
    expectFails(small, "Not enough mesh data for flat-face detection.");

    // Every point on one line: no triangle has an area.
    MeshModel line;
    std::vector<Vec3f> lv;
    for (int i = 0; i < 40; ++i)
        lv.emplace_back(float(i), 2.0f * float(i), -float(i));
    std::vector<Triangle> lf;
    for (std::uint32_t i = 0; i + 2 < 40; ++i)
        lf.push_back(Triangle(i, i + 1, i + 2));
    line.vertices.assign(std::move(lv));
    line.faces.assign(std::move(lf));
    expectFails(line, "Could not build enough surface triangles for flat-face detection.");

    MeshModel nan = frustum();
    std::vector<Vec3f> nv(nan.vertices.size(), Vec3f(std::numeric_limits<float>::quiet_NaN(), 0.0f, 0.0f));
    nan.vertices.assign(std::move(nv));
    expectFails(nan, "Could not build enough surface triangles for flat-face detection.");
    // A part without a flat face is left alone.
    MeshModel ball = shapes::sphere(50.0f, 32, 16);
    expectFails(ball, "Flat-face patch has too few points.");
}

TEST(OrientHelpers, MinimumAreaRectangleAndTrimmedRange)
{
    // 40 x 10 rectangle turned by 30 degrees, with points inside as well.
    const float c = std::cos(0.5235988f), s = std::sin(0.5235988f);
    std::vector<Point2f> points;
    for (int i = 0; i <= 40; ++i)
        for (int j = 0; j <= 10; ++j) {
            const float x = float(i) - 20.0f, y = float(j) - 5.0f;
            points.push_back({c * x - s * y + 7.0f, s * x + c * y - 3.0f});
        }
    Point2f l, p;
    ASSERT_TRUE(minimumAreaRectangle(points, &l, &p));
    EXPECT_NEAR(std::fabs(l.x * c + l.y * s), 1.0f, 1e-5f);
    // The second axis is the long one turned by +90 degrees.
    EXPECT_NEAR(p.x, -l.y, 1e-6f);
    EXPECT_NEAR(p.y, l.x, 1e-6f);
    // Degenerate input.
    EXPECT_FALSE(minimumAreaRectangle({{1, 1}}, &l, &p));
    ASSERT_TRUE(minimumAreaRectangle({{2, 2}, {2, 2}, {2, 2}}, &l, &p));
    EXPECT_EQ(l.x, 1.0f);
    EXPECT_EQ(p.y, 1.0f);
    // Collinear points: the line is the long side.
    ASSERT_TRUE(minimumAreaRectangle({{0, 0}, {1, 1}, {2, 2}, {5, 5}}, &l, &p));
    EXPECT_NEAR(std::fabs(l.x), std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(std::fabs(l.y), std::sqrt(0.5f), 1e-6f);
    // A trimmed range drops k values at each end.
    std::vector<float> values;
    for (int i = 99; i >= 0; --i)
        values.push_back(float(i));
    float lo, hi;
    trimmedRange(values, 15, &lo, &hi);
    EXPECT_EQ(lo, 15.0f);
    EXPECT_EQ(hi, 84.0f);
    trimmedRange(values, 0, &lo, &hi);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 99.0f);
    // More than half trimmed never turns the range inside out.
    std::vector<float> few{3, 1, 2};
    trimmedRange(few, 10, &lo, &hi);
    EXPECT_LE(lo, hi);
    EXPECT_EQ(hi, 3.0f);
}

