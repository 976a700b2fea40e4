// Primitive fitting on shapes with known answers, tessellated as CAD
// exporters do (vertices only on rims and edges) and as dense scans.
#include "model/analysis/primitivefit.h"

#include "io/meshload.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

MeshModel meshOf(std::vector<Vec3f> v, std::vector<Triangle> f)
{
    MeshModel m;
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    m.loadedVertices = m.vertices;
    m.loadedFaces = m.faces;
    m.updateCaches();
    return m;
}

// An open tube along Y, rings x 72 vertices with radial noise of sigma mm.
MeshModel scannedTube(float radius, float length, int rings, float sigma)
{
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, sigma);
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    constexpr int kAround = 72;
    for (int i = 0; i <= rings; ++i)
        for (int j = 0; j < kAround; ++j) {
            const float a = 2.0f * float(M_PI) * float(j) / kAround, r = radius + noise(rng);
            v.emplace_back(r * std::cos(a), length * float(i) / float(rings), r * std::sin(a));
        }
    const auto at = [](int i, int j) { return std::uint32_t(i * kAround + j % kAround); };
    for (int i = 0; i < rings; ++i)
        for (int j = 0; j < kAround; ++j) {
            f.emplace_back(at(i, j), at(i + 1, j), at(i + 1, j + 1));
            f.emplace_back(at(i, j), at(i + 1, j + 1), at(i, j + 1));
        }
    return meshOf(std::move(v), std::move(f));
}

MeshModel stepCylinder()
{
    fixtures::TempDir dir;
    fixtures::writeStepCylinder(dir.path("c.step"), 20, 80);
    MeshModel m;
    std::string error;
    EXPECT_TRUE(loadMesh(m, dir.path("c.step"), &error)) << error;
    return m;
}

} // namespace

// Rim-only vertices made the CAD cylinder a sphere through both rims
// (radius 44.72); the flat-ended cylinder's caps must not pull its radius in.
TEST(PrimitiveFit, RecogniseTheSurfaceAndItsRadius)
{
    struct Case {
        const char* name;
        std::function<MeshModel()> make;
        const char* type;
        float radius;    // 0 for a plane
        float tolerance; // on the radius, relative
        float maxResidual;
    };
    const Case cases[] = {
        {"StepCylinder", stepCylinder, "cylinder", 20.0f, 0.01f, 0.2f},
        {"CadCylinder", [] { return shapes::cylinder(20, 80, 48); }, "cylinder", 20.0f, 0.01f, 0.2f},
        {"CadSphere", [] { return shapes::sphere(30, 24, 12); }, "sphere", 30.0f, 0.02f, 0.5f},
        {"CadPlate", [] { return shapes::box({100, 60, 8}); }, "plane", 0.0f, 0.0f, 4.1f},
        {"ScannedTube", [] { return scannedTube(15, 120, 200, 0.05f); }, "cylinder", 15.0f, 0.005f, 0.06f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PrimitiveFit fit = fitPrimitive(c.make());
        EXPECT_EQ(fit.type, c.type);
        EXPECT_NEAR(fit.radius, c.radius, c.radius * c.tolerance);
        EXPECT_LE(fit.residual, c.maxResidual);
    }
    // Even triangles: area samples and vertices describe the same surface, up
    // to the facets' sag between the vertices (0.01 mm here).
    const MeshModel tube = scannedTube(15, 120, 200, 0.05f);
    double meanRadius = 0.0;
    for (const Vec3f& p : tube.vertices)
        meanRadius += std::hypot(double(p.x), double(p.z));
    meanRadius /= double(tube.vertices.size());
    const PrimitiveFit dense = fitPrimitive(tube);
    EXPECT_NEAR(dense.radius, meanRadius, meanRadius * 1e-3);
    EXPECT_NEAR(std::fabs(dense.axis.y), 1.0f, 1e-4f);
    EXPECT_NEAR(dense.centre.y, 60.0f, 0.05f);
}

TEST(PrimitiveFit, PerfectPlaneWinsOverACylinderAndTooLittleGivesNone)
{
    MeshModel m = shapes::plate(20, 5, 8);
    shapes::transform(m, Rotation3(), {0, 0, 3});
    const PrimitiveFit fit = fitPrimitive(m);
    EXPECT_EQ(fit.type, "plane");
    EXPECT_NEAR(fit.residual, 0.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(fit.axis.z), 1.0f, 1e-5f);
    EXPECT_NEAR(fit.centre.z, 3.0f, 1e-5f);
    EXPECT_EQ(fit.radius, 0.0f);
    // Too few vertices, no mesh or no area give none.
    std::vector<Vec3f> nine;
    for (int i = 0; i < 9; ++i)
        nine.emplace_back(float(i), float(i % 2), 0.0f);
    EXPECT_EQ(fitPrimitive(meshOf(nine, {Triangle(0, 1, 2)})).type, "none");
    EXPECT_EQ(fitPrimitive(MeshModel()).type, "none");
    EXPECT_GT(fitPrimitive(MeshModel()).residual, 1e29f);
    // Ten collinear vertices: no triangle has an area to sample.
    std::vector<Vec3f> line;
    for (int i = 0; i < 10; ++i)
        line.emplace_back(float(i), 0.0f, 0.0f);
    EXPECT_EQ(fitPrimitive(meshOf(line, {Triangle(0, 1, 2), Triangle(3, 4, 5)})).type, "none");
}

