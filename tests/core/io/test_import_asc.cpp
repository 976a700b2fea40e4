// ASC point clouds: parsing, spacing estimate, surface reconstruction.

#include "io/cloudimport.h"
#include "io/meshload.h"
#include "io/pointcloud.h"
#include "io/reconstructionfield.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "model/mesh/meshmodel.h"

#include <gtest/gtest.h>

#include <vtkFloatArray.h>
#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSurfaceReconstructionFilter.h>

#include <cmath>

using fixtures::TempDir;

namespace {

std::vector<Vec3f> parse(const TempDir& dir, const std::string& text, std::string* error = nullptr)
{
    const std::string path = dir.path("cloud.asc");
    fixtures::writeText(path, text);
    std::vector<Vec3f> points;
    std::string message;
    readAscPoints(path, points, &message);
    if (error)
        *error = message;
    return points;
}

// Regular square grid of n x n points, spacing h, in the z = 0 plane.
std::vector<Vec3f> grid(int n, float h)
{
    std::vector<Vec3f> p;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            p.emplace_back(float(i) * h, float(j) * h, 0.0f);
    return p;
}

} // namespace

TEST(ImportAscParse, SeparatorsCommentsShortLinesNonFiniteValuesAndFailures)
{
    TempDir dir;
    const auto points = parse(dir, "1,2,3\n1 2 3\n1\t2 ,3\n4;5;6\n7, 8, 9, 10, 11\n");
    ASSERT_EQ(points.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(points[i], (Vec3f{1, 2, 3}));
    EXPECT_EQ(points[3], (Vec3f{7, 8, 9})); // further columns ignored
    // Comments, blank and short lines are skipped.
    const auto skipped = parse(dir, "# header 1 2 3\n   # 4 5 6\n\n  \t \r\n1.5 2.5\n-1e2 +2 3.25\r\n0 0 0\n1 1 1");
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped[0], (Vec3f{-100.0f, 2.0f, 3.25f}));
    EXPECT_EQ(skipped[2], (Vec3f{1, 1, 1})); // last line without a line feed
    // Non-finite values are skipped.
    const auto finite = parse(dir, "nan 1 2\ninf 0 0\n1e999 0 0\n1 2 3\n4 5 6\n7 8 9\n");
    ASSERT_EQ(finite.size(), 3u);
    EXPECT_EQ(finite[0], (Vec3f{1, 2, 3}));
    // Too few points and a missing file fail.
    std::string error;
    parse(dir, "1 2 3\n4 5 6\n", &error);
    EXPECT_EQ(error, "ASC file needs at least 3 points.");

    std::vector<Vec3f> none;
    EXPECT_FALSE(readAscPoints(dir.path("missing.asc"), none, &error));
    EXPECT_EQ(error, "Failed to open ASC file.");

    MeshModel m;
    fixtures::writeText(dir.path("two.asc"), "1 2 3\n4 5 6\n# 7 8 9\n");
    EXPECT_FALSE(loadMesh(m, dir.path("two.asc"), &error));
    EXPECT_EQ(error, "ASC file needs at least 3 points.");
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    EXPECT_FALSE(reconstructSurface({{0, 0, 0}, {1, 0, 0}}, v, f, &error));
    EXPECT_EQ(error, "ASC file needs at least 3 points.");
}

TEST(ImportAscSpacing, MedianNearestNeighbourDistanceSampledAndThinnedForLargeClouds)
{
    EXPECT_FLOAT_EQ(medianPointSpacing(grid(40, 0.5f)), 0.5f);
    // Fewer than four points: no estimate.
    EXPECT_EQ(medianPointSpacing({{0, 0, 0}, {1, 0, 0}, {3, 0, 0}}), 0.0f);
    // Coincident points are each other's nearest neighbour.
    EXPECT_EQ(medianPointSpacing(std::vector<Vec3f>(100, Vec3f{1, 2, 3})), 0.0f);
    // Half the points 1 apart, half 3 apart: the upper median of an even count.
    std::vector<Vec3f> line;
    for (int i = 0; i < 4; ++i)
        line.emplace_back(float(i), 0.0f, 0.0f);
    for (int i = 0; i < 4; ++i)
        line.emplace_back(100.0f + 3.0f * float(i), 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(medianPointSpacing(line), 3.0f);
    // A 200 x 200 grid is sampled at every ninth point only, same answer.
    EXPECT_FLOAT_EQ(medianPointSpacing(grid(200, 0.25f)), 0.25f);
    EXPECT_EQ(reconstructionStride(1200000), 1u);
    EXPECT_EQ(reconstructionStride(2000000), 1u);
    EXPECT_EQ(reconstructionStride(2399999), 1u);
    EXPECT_EQ(reconstructionStride(2400000), 2u);
    EXPECT_EQ(reconstructionStride(3700000), 3u);
}

TEST(ImportAscSpacing, SampleSpacingFollowsThePointSpacingAndBoundsTheVolume)
{
    EXPECT_NEAR(reconstructionSampleSpacing(grid(30, 0.4f)), 1.75 * 0.4, 1e-5);
    // All points coincide: spacing and diagonal are 0.
    EXPECT_DOUBLE_EQ(reconstructionSampleSpacing(std::vector<Vec3f>(50, Vec3f{4, 5, 6})), 0.0001);
    // Mostly duplicates: no spacing estimate, a three-hundredth of the diagonal.
    std::vector<Vec3f> dupes(50, Vec3f{0, 0, 0});
    dupes.insert(dupes.end(), 50, Vec3f{30, 40, 0});
    EXPECT_NEAR(reconstructionSampleSpacing(dupes), 50.0 / 300.0, 1e-6);
    // Two dense clusters a metre apart: the point spacing would ask for
    // 10^17 voxels (and overflow the filter's int indices).
    std::vector<Vec3f> far = grid(10, 0.0001f);
    for (const Vec3f& p : grid(10, 0.0001f))
        far.push_back(p + Vec3f{1000, 1000, 1000});
    const double spacing = reconstructionSampleSpacing(far);
    double voxels = 1.0;
    for (int a = 0; a < 3; ++a) {
        const double extent = double(far.back()[a]) - double(far.front()[a]);
        voxels *= std::floor((extent + 4 * spacing) / spacing);
    }
    EXPECT_LE(voxels, double(1u << 27));
    EXPECT_GT(voxels, double(1u << 26)); // coarsened no more than needed
}

TEST(ImportAscReconstruct, SphereBecomesAnOutwardClosedSurfaceUnlessCanceled)
{
    TempDir dir;
    const float radius = 10.0f;
    fixtures::writeText(dir.path("ball.asc"), fixtures::ascText(fixtures::spherePoints(3000, radius)));
    MeshModel m;
    std::string error;
    ASSERT_TRUE(loadMesh(m, dir.path("ball.asc"), &error)) << error;
    ASSERT_GT(m.faces.size(), 500u);
    for (const Vec3f& p : m.vertices)
        EXPECT_NEAR(std::sqrt(dot(p, p)), radius, 0.6f);
    // Wound outward after the flip, enclosing about the ball's volume.
    const double volume = 4.0 / 3.0 * M_PI * radius * radius * radius;
    EXPECT_NEAR(fixtures::signedVolume(m) / volume, 1.0, 0.1);
    EXPECT_EQ(m.loadedFaces, m.faces);
    // A cancel stops the parse and the reconstruction.
    TempDir bigDir;
    const std::vector<Vec3f> big = fixtures::spherePoints(70000, 10.0f);
    fixtures::writeText(bigDir.path("big.asc"), fixtures::ascText(big));
    Progress canceled;
    canceled.cancel();
    std::vector<Vec3f> read, v;
    std::vector<Triangle> f;
    std::string canceledError;
    EXPECT_FALSE(readAscPoints(bigDir.path("big.asc"), read, &canceledError, &canceled));
    EXPECT_EQ(canceledError, "Load canceled.");
    EXPECT_FALSE(reconstructSurface(big, v, f, &canceledError, &canceled));
    EXPECT_EQ(canceledError, "Load canceled.");
    EXPECT_TRUE(f.empty());
}

TEST(ImportAscReconstruct, FarOutliersAreLeftOutOfTheBoundsOrTheCloudIsRefused)
{
    // Three stray coordinates at 1e12 would make the sampled volume 1e12 wide
    // and the ball smaller than one voxel. Whether the ball is made within the
    // time limit depends on the machine; both outcomes are bounded.
    TempDir dir;
    const float radius = 10.0f;
    std::vector<Vec3f> points = fixtures::spherePoints(50000, radius);
    points.insert(points.end(), {{1e12f, 0, 0}, {0, 1e12f, 0}, {0, 0, 1e12f}});
    fixtures::writeText(dir.path("stray.asc"), fixtures::ascText(points));
    MeshModel m;
    std::string error;
    if (!loadMesh(m, dir.path("stray.asc"), &error)) {
        EXPECT_EQ(error, kCloudTooLarge);
        EXPECT_TRUE(m.faces.empty());
        return;
    }
    ASSERT_GT(m.faces.size(), 500u);
    for (const Vec3f& p : m.vertices)
        ASSERT_NEAR(std::sqrt(dot(p, p)), radius, 0.6f);
}

// The field must be VTK's filter output value for value, so that the mesh is
// the same: on surfaces, volumes, flat grids (all links tie), coincident and
// collinear points, and two clouds apart (only one is oriented).
TEST(ImportAscReconstruct, FieldIsVtksFilterOutputExactlyAndDegenerateCloudsGiveAFlatPatch)
{
    std::vector<Vec3f> random;
    std::srand(7);
    for (int i = 0; i < 1500; ++i)
        random.emplace_back(float(std::rand() % 1000) * 0.01f, float(std::rand() % 1000) * 0.01f,
                            float(std::rand() % 1000) * 0.01f);
    std::vector<Vec3f> line;
    for (int i = 0; i < 40; ++i)
        line.emplace_back(float(i), 0.0f, 0.0f);
    std::vector<Vec3f> apart = fixtures::spherePoints(800, 3.0f);
    for (const Vec3f& p : fixtures::spherePoints(700, 2.0f))
        apart.push_back(p + Vec3f{10, 0, 0});
    struct Case {
        const char* name;
        std::vector<Vec3f> points;
    };
    const Case cases[] = {{"sphere", fixtures::spherePoints(4000, 10.0f)},
                               {"random", random},
                               {"grid", grid(30, 0.5f)},
                               {"coincident", std::vector<Vec3f>(40, Vec3f{1, 1, 1})},
                               {"line", line},
                               {"apart", apart}};
    for (const Case& c : cases) {
        auto points = vtkSmartPointer<vtkPoints>::New();
        points->SetDataTypeToDouble();
        for (const Vec3f& p : c.points)
            points->InsertNextPoint(p.x, p.y, p.z);
        auto cloud = vtkSmartPointer<vtkPolyData>::New();
        cloud->SetPoints(points);
        const double spacing = reconstructionSampleSpacing(c.points);
        auto filter = vtkSmartPointer<vtkSurfaceReconstructionFilter>::New();
        filter->SetInputData(cloud);
        filter->SetNeighborhoodSize(24);
        filter->SetSampleSpacing(spacing);
        filter->Update();
        vtkImageData* expected = filter->GetOutput();
        const vtkSmartPointer<vtkImageData> actual = reconstructionField(cloud, 24, spacing);
        ASSERT_TRUE(actual) << c.name;
        int e[6], a[6];
        expected->GetExtent(e);
        actual->GetExtent(a);
        ASSERT_TRUE(std::equal(e, e + 6, a)) << c.name;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(actual->GetOrigin()[k], expected->GetOrigin()[k]) << c.name;
        auto* want = vtkFloatArray::SafeDownCast(expected->GetPointData()->GetScalars());
        auto* got = vtkFloatArray::SafeDownCast(actual->GetPointData()->GetScalars());
        ASSERT_TRUE(want && got && want->GetNumberOfValues() == got->GetNumberOfValues()) << c.name;
        vtkIdType differing = 0;
        for (vtkIdType i = 0; i < want->GetNumberOfValues(); ++i)
            differing += want->GetValue(i) != got->GetValue(i);
        EXPECT_EQ(differing, 0) << c.name << " of " << want->GetNumberOfValues();
    }
    // Coincident or collinear points have no surface, but VTK's tangent-plane
    // estimate still picks a plane and the zero contour is a flat patch of it,
    // within the sampled volume (the points' bounds plus two samples).
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    std::string error;
    ASSERT_TRUE(reconstructSurface(std::vector<Vec3f>(40, Vec3f{1, 1, 1}), v, f, &error)) << error;
    ASSERT_FALSE(f.empty());
    for (const Vec3f& p : v)
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(p[a], 1.0f, 2.5e-4f); // sample spacing 0.0001

    std::vector<Vec3f> row;
    for (int i = 0; i < 40; ++i)
        row.emplace_back(float(i), 0.0f, 0.0f);
    ASSERT_TRUE(reconstructSurface(row, v, f, &error)) << error;
    ASSERT_FALSE(f.empty());
    const float sample = 1.75f; // 1.75 x the unit spacing
    Vec3f normal = cross(v[f[0][1]] - v[f[0][0]], v[f[0][2]] - v[f[0][0]]);
    normal = normal * (1.0f / std::sqrt(dot(normal, normal)));
    EXPECT_NEAR(normal.x, 0.0f, 1e-4f); // the plane contains the line
    for (const Vec3f& p : v) {
        EXPECT_NEAR(dot(p, normal), 0.0f, 1e-3f);
        EXPECT_GE(p.x, -2 * sample - 1e-3f);
        EXPECT_LE(p.x, 39 + 2 * sample + 1e-3f);
    }
}

