// The frame a picked surface plane is drawn in.
#include "model/align/planeframe.h"

#include <gtest/gtest.h>

namespace {

void expectNear(const QVector3D& a, const QVector3D& b)
{
    EXPECT_NEAR(a.x(), b.x(), 1e-4f);
    EXPECT_NEAR(a.y(), b.y(), 1e-4f);
    EXPECT_NEAR(a.z(), b.z(), 1e-4f);
}

void expectRightHandedUnitFrame(const PlaneFrame& f)
{
    EXPECT_NEAR(f.n.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(f.u.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(f.v.length(), 1.0f, 1e-5f);
    EXPECT_NEAR(QVector3D::dotProduct(f.u, f.n), 0.0f, 1e-5f);
    EXPECT_NEAR(QVector3D::dotProduct(f.v, f.n), 0.0f, 1e-5f);
    expectNear(QVector3D::crossProduct(f.u, f.v), f.n);
}

} // namespace

TEST(PlaneFrame, ReferenceIsProjectedIntoThePlaneOrFallsBackToFixedAxes)
{
    PlaneFrame f = buildPlaneFrame(QVector3D(0, 0, 2), QVector3D(1, 1, 0));
    expectNear(f.n, QVector3D(0, 0, 1));
    expectNear(f.u, QVector3D(0.70711f, 0.70711f, 0));
    expectNear(f.v, QVector3D(-0.70711f, 0.70711f, 0));

    // A reference with a component along the normal loses it.
    const PlaneFrame tilted = buildPlaneFrame(QVector3D(1, 0, 1), QVector3D(0, 3, 5));
    expectRightHandedUnitFrame(tilted);
    EXPECT_GT(tilted.u.y(), 0.5f);
    // Reference along the normal: X, or Y when the plane faces X.
    f = buildPlaneFrame(QVector3D(0, 0, 1), QVector3D(0, 0, 4));
    expectNear(f.u, QVector3D(1, 0, 0));
    expectNear(f.v, QVector3D(0, 1, 0));
    f = buildPlaneFrame(QVector3D(1, 0, 0.3f), QVector3D(0, 0, 0));
    EXPECT_NEAR(f.u.x(), 0.0f, 1e-5f); // within ~32 degrees of X: Y is the reference
    expectRightHandedUnitFrame(f);
    f = buildPlaneFrame(QVector3D(1, 0, 0.7f), QVector3D(0, 0, 0));
    EXPECT_GT(std::abs(f.u.x()), 0.1f); // farther from X: X is used
    expectRightHandedUnitFrame(f);

    // No normal at all.
    f = buildPlaneFrame(QVector3D(0, 0, 0), QVector3D(0, 0, 0));
    expectNear(f.n, QVector3D(0, 0, 1));
    expectNear(f.u, QVector3D(1, 0, 0));
    expectNear(f.v, QVector3D(0, 1, 0));
}

