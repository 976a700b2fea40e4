#include "bench/syntheticscan.h"
#include "model/align/pointobb.h"
#include "model/align/rotation.h"
#include "model/mesh/meshmodel.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

void expectNear(const QVector3D& a, const QVector3D& b, float tol = 1e-5f)
{
    EXPECT_NEAR(a.x(), b.x(), tol);
    EXPECT_NEAR(a.y(), b.y(), tol);
    EXPECT_NEAR(a.z(), b.z(), tol);
}

Rotation3 randomRotation(std::mt19937& rng)
{
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_real_distribution<float> angle(0.0f, 6.2831853f);
    return axisAngleRotation(QVector3D(u(rng), u(rng), u(rng)), angle(rng));
}

} // namespace

TEST(AlignmentMath, VectorsAndRotationsReachTheirTargetsWithFallbacks)
{
    expectNear(normalizedOr(QVector3D(0, 3, 4), QVector3D(1, 0, 0)), QVector3D(0, 0.6f, 0.8f));
    expectNear(normalizedOr(QVector3D(0, 0, 0), QVector3D(0, 0, 5)), QVector3D(0, 0, 1));
    expectNear(normalizedOr(QVector3D(0, 0, 0), QVector3D(0, 0, 0)), QVector3D(1, 0, 0));
    // Projection onto a plane uses the fallback when parallel.
    expectNear(projectOntoPlane(QVector3D(1, 0, 1), QVector3D(0, 0, 2), QVector3D(0, 1, 0)), QVector3D(1, 0, 0));
    expectNear(projectOntoPlane(QVector3D(0, 0, 3), QVector3D(0, 0, 1), QVector3D(0, 2, 1)), QVector3D(0, 1, 0));
    // An axis-angle rotation turns counter-clockwise.
    const Rotation3 r = axisAngleRotation(QVector3D(0, 0, 1), 3.1415927f / 2.0f);
    expectNear(r.apply(QVector3D(1, 0, 0)), QVector3D(0, 1, 0));
    EXPECT_NEAR(r.determinant(), 1.0f, 1e-6f);
    const QVector3D dirs[] = {{1, 2, 3}, {0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {0, -5, 0}, {0.05f, 0, -1}};
    for (Axis t : {Axis::X, Axis::Y, Axis::Z})
        for (const QVector3D& d : dirs) {
            const Rotation3 rotation = rotationBetween(d, t);
            expectNear(rotation.apply(d.normalized()), basisAxis(t), 2e-5f);
            EXPECT_NEAR(rotation.determinant(), 1.0f, 1e-5f);
        }
    // An axis alignment maps the normal onto the target and the reference into its plane.
    const QVector3D normal(0.3f, -0.5f, 0.8f);
    const QVector3D ref(1, 1, 0);
    for (Axis t : {Axis::X, Axis::Y, Axis::Z}) {
        const Rotation3 rotation = buildAxisAlignment(normal, t, ref, 0.0f);
        expectNear(rotation.apply(normal.normalized()), basisAxis(t), 2e-5f);
        const QVector3D w = t == Axis::X ? QVector3D(0, 1, 0) : QVector3D(1, 0, 0);
        expectNear(rotation.apply(projectOntoPlane(ref, normal, QVector3D(1, 0, 0))), w, 2e-5f);
    }
    // A twist of 90 degrees about Z turns the reference from X to Y.
    const Rotation3 twisted = buildAxisAlignment(QVector3D(0, 0, 1), Axis::Z, QVector3D(1, 0, 0), 90.0f);
    expectNear(twisted.apply(QVector3D(1, 0, 0)), QVector3D(0, 1, 0));
}

TEST(AutoAlign, RotatedBoxComesBackSortedCentredAndUnmirroredAndAPlateLiesFlat)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 8; ++trial) {
        MeshModel m = shapes::box({20, 100, 60}, 4);
        const double volume = shapes::signedVolume(m);
        shapes::transform(m, randomRotation(rng), {37, -12, 500});
        std::string message = "unchanged";
        ASSERT_TRUE(m.autoAlignOnImport(&message));
        EXPECT_TRUE(message.empty()) << message;
        const Vec3f e = m.extents();
        EXPECT_NEAR(e.x, 100.0f, 0.05f);
        EXPECT_NEAR(e.y, 60.0f, 0.05f);
        EXPECT_NEAR(e.z, 20.0f, 0.05f);
        const Vec3f c = m.centroid();
        EXPECT_NEAR(c.x, 0.0f, 1e-3f);
        EXPECT_NEAR(c.y, 0.0f, 1e-3f);
        EXPECT_NEAR(c.z, 0.0f, 1e-3f);
        EXPECT_NEAR(shapes::signedVolume(m), volume, std::fabs(volume) * 1e-4);
        // The loaded pose is kept for a later reset.
        EXPECT_FALSE(m.loadedVertices == m.vertices);
    }
    // A flat plate ends with its normal on Z.
    std::mt19937 plateRng(5);
    for (int trial = 0; trial < 4; ++trial) {
        MeshModel plate = shapes::plate(80, 30, 6);
        shapes::transform(plate, randomRotation(plateRng), {1, 2, 3});
        std::string plateMessage;
        ASSERT_TRUE(plate.autoAlignOnImport(&plateMessage));
        const Vec3f plateExtents = plate.extents();
        EXPECT_NEAR(plateExtents.x, 80.0f, 0.05f);
        EXPECT_NEAR(plateExtents.y, 30.0f, 0.05f);
        EXPECT_NEAR(plateExtents.z, 0.0f, 0.01f);
    }
}

TEST(AutoAlign, SmallOrDegenerateInputFallsBackWithItsReasonOrIsRefused)
{
    MeshModel m;
    m.vertices.assign(std::vector<Vec3f>{{10, 20, 30}, {14, 20, 30}});
    m.faces.assign(std::vector<Triangle>{{0, 1, 1}});
    std::string message;
    ASSERT_TRUE(m.autoAlignOnImport(&message));
    EXPECT_EQ(message, "OBB auto-align fallback: Not enough points for OBB alignment.");
    EXPECT_EQ(m.vertices[0], Vec3f(-2, 0, 0));
    EXPECT_EQ(m.vertices[1], Vec3f(2, 0, 0));
    // Three vertices use the box.
    MeshModel three;
    three.vertices.assign(std::vector<Vec3f>{{0, 0, 0}, {0, 10, 0}, {0, 0, 4}});
    three.faces.assign(std::vector<Triangle>{{0, 1, 2}});
    message = "x";
    ASSERT_TRUE(three.autoAlignOnImport(&message));
    EXPECT_TRUE(message.empty()) << message;
    EXPECT_GT(three.extents().x, three.extents().y);
    EXPECT_NEAR(three.extents().z, 0.0f, 1e-4f);
    // No mesh is refused and leaves the model alone.
    MeshModel pointOnly;
    pointOnly.vertices.assign(std::vector<Vec3f>{{1, 2, 3}});
    EXPECT_FALSE(pointOnly.autoAlignOnImport(&message));
    EXPECT_EQ(message, "No mesh loaded.");
    EXPECT_EQ(pointOnly.vertices[0], Vec3f(1, 2, 3));
    EXPECT_EQ(pointOnly.geometryRevision, 0u);
    // OBB failure reasons are reported.
    MeshModel spot;
    Rotation3 rotation;
    std::string why;
    EXPECT_FALSE(spot.computeObbAlignment(&rotation, &why));
    EXPECT_EQ(why, "Not enough points for OBB alignment.");
    // All points on one spot: the box has no axes.
    spot.vertices.assign(std::vector<Vec3f>(5, Vec3f(3, 3, 3)));
    spot.faces.assign(std::vector<Triangle>{{0, 1, 2}});
    EXPECT_FALSE(spot.computeObbAlignment(&rotation, &why));
    EXPECT_EQ(why, "VTK OBB produced a degenerate orientation.");
    std::string aligned;
    EXPECT_TRUE(spot.autoAlignOnImport(&aligned));
    EXPECT_EQ(aligned, "OBB auto-align fallback: VTK OBB produced a degenerate orientation.");
    EXPECT_EQ(spot.vertices[0], Vec3f(0, 0, 0));
}

TEST(AutoAlign, PrincipalAxesRotationAboutTheCentroidAndTheBoxBitForBitAsVtks)
{
    MeshModel m = shapes::box({10, 200, 40}, 3);
    Rotation3 r;
    QVector3D c, major, minor;
    m.computePrincipalAxes(&r, &c, &major, &minor);
    EXPECT_NEAR(std::fabs(major.y()), 1.0f, 1e-4f);
    EXPECT_NEAR(std::fabs(minor.x()), 1.0f, 1e-4f);
    EXPECT_NEAR(r.determinant(), 1.0f, 1e-5f);
    EXPECT_NEAR(c.y(), 100.0f, 1e-3f);
    // A rotation turns about the centroid and bumps the revision.
    m = shapes::box({10, 10, 10}, 1);
    const std::uint64_t revision = m.geometryRevision;
    const Vec3f before = m.centroid();
    m.applyRotation(axisAngleRotation(QVector3D(0, 0, 1), 0.7f));
    const Vec3f after = m.centroid();
    EXPECT_NEAR(after.x, before.x, 1e-4f);
    EXPECT_NEAR(after.y, before.y, 1e-4f);
    EXPECT_GT(m.geometryRevision, revision);
    EXPECT_EQ(m.displayVertices.size(), m.vertices.size());
    EXPECT_NEAR(m.displayVertices[3].x, m.vertices[3].x, 1e-5f);
    // The import pose depends on every bit of the box: the fast path must equal vtkOBBTree on the same samples, including the sets it hands back to VTK.
    SyntheticScanOptions options;
    options.targetTriangles = 500000; // enough points for the two-thread projection
    const SyntheticScan scan = makeSyntheticScan(options);
    std::vector<Vec3f> far = shapes::box({10, 20, 30}, 4).vertices.vec();
    far.push_back({4.0e7f, -3.0e7f, 1.0f});
    const std::vector<Vec3f> flat = shapes::plate(30, 20, 6).vertices.vec();
    const std::vector<Vec3f> spot(5, Vec3f(3, 3, 3));
    const std::vector<Vec3f> symmetric{{-1, 0, 0}, {1, 0, 0}, {0, -2, 0}, {0, 2, 0}, {0, 0, -3}, {0, 0, 3}, {0, 0, 0}};
    struct Case {
        const char* name;
        const std::vector<Vec3f>& points;
        std::size_t step;
    };
    const Case cases[] = {
        {"scan", scan.vertices, 1},       {"scan, every 3rd", scan.vertices, 3}, {"far outlier", far, 1},
        {"flat plate", flat, 1},          {"point at the mean", symmetric, 1},
        {"one spot", spot, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PointObb fast = pointObb(c.points.data(), c.points.size(), c.step);
        const PointObb vtk = pointObbVtk(c.points.data(), c.points.size(), c.step);
        EXPECT_EQ(std::memcmp(&fast, &vtk, sizeof fast), 0);
    }
}

// The import pose depends on every bit of the box: the fast path must equal
// vtkOBBTree on the same samples, including the sets it hands back to VTK.
