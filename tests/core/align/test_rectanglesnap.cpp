#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr float kDeg = 3.1415927f / 180.0f;

// 100 x 40 x 4 plate tilted 30 degrees about X after a turn of inPlaneDeg
// about Z: once its normal is back on Z, its long side is inPlaneDeg off X.
MeshModel tiltedPlate(float inPlaneDeg)
{
    MeshModel m = shapes::box({100, 40, 4}, 4);
    const Rotation3 pose = axisAngleRotation({1, 0, 0}, 30.0f * kDeg) * axisAngleRotation({0, 0, 1}, inPlaneDeg * kDeg);
    shapes::transform(m, pose, {12, -300, 45});
    return m;
}

QVector3D leastSpread(const MeshModel& m)
{
    QVector3D minor;
    m.computePrincipalAxes(nullptr, nullptr, nullptr, &minor);
    return minor;
}

void expectExtents(const MeshModel& m, Vec3f want)
{
    const Vec3f e = m.extents();
    EXPECT_NEAR(e.x, want.x, 1e-2f);
    EXPECT_NEAR(e.y, want.y, 1e-2f);
    EXPECT_NEAR(e.z, want.z, 1e-2f);
}

void expectRefused(MeshModel& m, const QVector3D& normal, Axis target, const char* message)
{
    const std::vector<Vec3f> before = m.vertices.vec();
    const auto revision = m.geometryRevision;
    std::string error;
    EXPECT_FALSE(m.rectangleSnap(normal, target, 0, 2.0f, &error));
    EXPECT_EQ(error, message);
    EXPECT_EQ(std::memcmp(m.vertices.data(), before.data(), before.size() * sizeof(Vec3f)), 0);
    EXPECT_EQ(m.geometryRevision, revision);
}

} // namespace

TEST(RectangleSnap, ShapePlaneOntoTargetAndNearerSideOntoX)
{
    MeshModel m = tiltedPlate(20.0f);
    const double volume = shapes::signedVolume(m);
    std::string error;
    ASSERT_TRUE(m.rectangleSnap(leastSpread(m), Axis::Z, 0, 2.0f, &error)) << error;
    expectExtents(m, {100, 40, 4});
    EXPECT_NEAR(m.boundsMin().z, 0.0f, 1e-4f);
    EXPECT_NEAR(m.boundsMin().x, -50.0f, 1e-2f);
    EXPECT_NEAR(m.boundsMin().y, -20.0f, 1e-2f);
    EXPECT_NEAR(shapes::signedVolume(m), volume, std::fabs(volume) * 1e-4);

    // 70 degrees off X the short side is the nearer one: it goes onto X.
    MeshModel steep = tiltedPlate(70.0f);
    ASSERT_TRUE(steep.rectangleSnap(leastSpread(steep), Axis::Z, 0, 2.0f));
    expectExtents(steep, {40, 100, 4});
    // A picked normal goes onto Y, seated on Y.
    MeshModel onY = tiltedPlate(20.0f);
    const QVector3D normal = (axisAngleRotation({1, 0, 0}, 30.0f * kDeg)).apply({0, 0, 1});
    ASSERT_TRUE(onY.rectangleSnap(normal, Axis::Y, 0, 2.0f, &error)) << error;
    const Vec3f e = onY.extents();
    EXPECT_NEAR(e.y, 4.0f, 1e-2f);
    EXPECT_NEAR(std::fmax(e.x, e.z), 100.0f, 1e-2f);
    EXPECT_NEAR(std::fmin(e.x, e.z), 40.0f, 1e-2f);
    EXPECT_NEAR(onY.boundsMin().y, 0.0f, 1e-4f);
    EXPECT_NEAR(onY.boundsMin().x + onY.boundsMax().x, 0.0f, 1e-3f);
    EXPECT_NEAR(onY.boundsMin().z + onY.boundsMax().z, 0.0f, 1e-3f);
}

TEST(RectangleSnap, SideTurnsAboutTargetAxisAndTrimIsCapped)
{
    MeshModel right = tiltedPlate(20.0f), left = tiltedPlate(20.0f), top = tiltedPlate(20.0f);
    const QVector3D n = leastSpread(right);
    ASSERT_TRUE(right.rectangleSnap(n, Axis::Z, 0, 2.0f));
    ASSERT_TRUE(left.rectangleSnap(n, Axis::Z, 1, 2.0f));
    ASSERT_TRUE(top.rectangleSnap(n, Axis::Z, 2, 2.0f));
    for (std::size_t i = 0; i < right.vertices.size(); ++i) {
        const Vec3f r = right.vertices[i], l = left.vertices[i], t = top.vertices[i];
        EXPECT_NEAR(l.x, -r.x, 2e-3f);
        EXPECT_NEAR(l.y, -r.y, 2e-3f);
        EXPECT_NEAR(l.z, r.z, 2e-3f);
        // +90 degrees about Z: (x, y) -> (-y, x).
        EXPECT_NEAR(t.x, -r.y, 2e-3f);
        EXPECT_NEAR(t.y, r.x, 2e-3f);
        EXPECT_NEAR(t.z, r.z, 2e-3f);
    }
    // A trim above the limit acts as 22 %.
    MeshModel a = tiltedPlate(35.0f), b = tiltedPlate(35.0f);
    const QVector3D m = leastSpread(a);
    ASSERT_TRUE(a.rectangleSnap(m, Axis::Z, 0, 22.0f));
    ASSERT_TRUE(b.rectangleSnap(m, Axis::Z, 0, 90.0f));
    EXPECT_EQ(std::memcmp(a.vertices.data(), b.vertices.data(), a.vertices.size() * sizeof(Vec3f)), 0);
}

TEST(RectangleSnap, DegenerateInputIsRefused)
{
    MeshModel empty;
    std::string error;
    EXPECT_FALSE(empty.rectangleSnap({0, 0, 1}, Axis::Z, 0, 2.0f, &error));
    EXPECT_EQ(error, "No mesh loaded.");

    MeshModel m = tiltedPlate(20.0f);
    expectRefused(m, {0, 0, 1}, static_cast<Axis>(3), "Invalid target axis index.");
    expectRefused(m, {0, 0, 1}, static_cast<Axis>(-1), "Invalid target axis index.");
    expectRefused(m, {0, 0, 0}, Axis::Z, "Picked face normal is invalid.");
    expectRefused(m, {std::numeric_limits<float>::quiet_NaN(), 0, 1}, Axis::Z, "Picked face normal is invalid.");

    MeshModel fifteen = tiltedPlate(20.0f);
    std::vector<Vec3f> v = fifteen.vertices.vec();
    v.resize(15);
    fifteen.vertices.assign(std::move(v));
    fifteen.faces.assign(std::vector<Triangle>{Triangle(0, 1, 2)});
    expectRefused(fifteen, {0, 0, 1}, Axis::Z, "Not enough points for rectangle snap.");

    MeshModel nan = tiltedPlate(20.0f);
    nan.vertices.assign(std::vector<Vec3f>(nan.vertices.size(), Vec3f(0, std::numeric_limits<float>::infinity(), 0)));
    expectRefused(nan, {0, 0, 1}, Axis::Z, "Not enough valid points for rectangle snap.");
}
