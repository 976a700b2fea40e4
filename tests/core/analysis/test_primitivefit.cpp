// Primitive fitting on shapes with known answers.
#include "model/analysis/primitivefit.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

MeshModel pointsModel(const std::vector<Vec3f>& points)
{
    MeshModel m;
    m.vertices.assign(points);
    m.faces.assign(std::vector<Triangle>{Triangle(0, 1, 2)});
    return m;
}

} // namespace

TEST(PrimitiveFit, PerfectPlaneWinsOverACylinderAboutItsNormal)
{
    std::vector<Vec3f> points;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 10; ++j)
            points.push_back(Vec3f(float(i), float(j) * 0.5f, 3.0f));
    const PrimitiveFit fit = fitPrimitive(pointsModel(points));
    EXPECT_EQ(fit.type, "plane");
    EXPECT_NEAR(fit.residual, 0.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(fit.axis.z), 1.0f, 1e-5f);
    EXPECT_NEAR(fit.centre.z, 3.0f, 1e-5f);
    EXPECT_EQ(fit.radius, 0.0f);
}

TEST(PrimitiveFit, SphereAndCylinderAreRecognisedWithTheirRadius)
{
    std::vector<Vec3f> sphere;
    for (int i = 1; i < 20; ++i)
        for (int j = 0; j < 40; ++j) {
            const double t = M_PI * i / 20, p = 2 * M_PI * j / 40;
            sphere.push_back(Vec3f(float(5 + 7 * std::sin(t) * std::cos(p)), float(7 * std::sin(t) * std::sin(p)),
                                   float(-2 + 7 * std::cos(t))));
        }
    PrimitiveFit fit = fitPrimitive(pointsModel(sphere));
    EXPECT_EQ(fit.type, "sphere");
    EXPECT_NEAR(fit.radius, 7.0f, 1e-3f);
    EXPECT_NEAR(fit.centre.x, 5.0f, 1e-3f);

    // A long tube along Y: the axis of smallest residual is the long one.
    std::vector<Vec3f> tube;
    for (int i = 0; i < 60; ++i)
        for (int j = 0; j < 36; ++j) {
            const double a = 2 * M_PI * j / 36;
            tube.push_back(Vec3f(float(4 * std::cos(a)), float(i), float(4 * std::sin(a))));
        }
    fit = fitPrimitive(pointsModel(tube));
    EXPECT_EQ(fit.type, "cylinder");
    EXPECT_NEAR(fit.radius, 4.0f, 1e-3f);
    EXPECT_NEAR(std::fabs(fit.axis.y), 1.0f, 1e-4f);
    EXPECT_LT(fit.residual, 1e-3f);
}

TEST(PrimitiveFit, TooFewVerticesOrNoMeshGiveNone)
{
    std::vector<Vec3f> nine(9, Vec3f(1, 2, 3));
    for (int i = 0; i < 9; ++i)
        nine[std::size_t(i)].x = float(i);
    EXPECT_EQ(fitPrimitive(pointsModel(nine)).type, "none");
    EXPECT_EQ(fitPrimitive(MeshModel()).type, "none");
    EXPECT_GT(fitPrimitive(MeshModel()).residual, 1e29f);
}
