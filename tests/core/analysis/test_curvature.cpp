// Umbrella curvature on meshes with known answers.
#include "model/analysis/curvature.h"

#include <gtest/gtest.h>

namespace {

// n x n grid of unit squares in z = 0, two triangles each, plus one vertex
// used by no face.
MeshModel flatGrid(int n)
{
    std::vector<Vec3f> v;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x)
            v.push_back(Vec3f(float(x), float(y), 0.0f));
    v.push_back(Vec3f(50, 50, 50));
    std::vector<Triangle> f;
    const auto id = [n](int x, int y) { return std::uint32_t(y * (n + 1) + x); };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            f.push_back(Triangle(id(x, y), id(x + 1, y), id(x + 1, y + 1)));
            f.push_back(Triangle(id(x, y), id(x + 1, y + 1), id(x, y + 1)));
        }
    f.push_back(Triangle(0, 1, 999999)); // out of range: its edges to 999999 are skipped
    MeshModel m;
    m.vertices.assign(v);
    m.faces.assign(f);
    return m;
}

} // namespace

TEST(Curvature, FlatInteriorIsZeroBorderIsNotValuesAreScaledAndNoMeshGivesNothing)
{
    const int n = 6;
    const MeshModel m = flatGrid(n);
    const std::vector<float> heat = computeCurvature(m);
    ASSERT_EQ(heat.size(), m.vertices.size());
    float largest = 0.0f;
    for (int y = 0; y <= n; ++y)
        for (int x = 0; x <= n; ++x) {
            const float h = heat[std::size_t(y * (n + 1) + x)];
            largest = std::max(largest, h);
            const bool border = x == 0 || y == 0 || x == n || y == n;
            if (border)
                EXPECT_GT(h, 0.0f) << x << "," << y;
            else
                EXPECT_NEAR(h, 0.0f, 1e-6f) << x << "," << y;
        }
    EXPECT_FLOAT_EQ(largest, 1.0f);
    EXPECT_EQ(heat.back(), 0.0f); // the isolated vertex
    // No mesh gives nothing.
    EXPECT_TRUE(computeCurvature(MeshModel()).empty());
}

