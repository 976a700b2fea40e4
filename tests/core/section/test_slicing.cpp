#include "bench/syntheticscan.h"
#include "model/mesh/meshmodel.h"
#include "model/section/slicecutter.h"
#include "model/section/sectionlines.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double totalLength(const std::vector<MeshModel::SliceSegment3D>& segments)
{
    double sum = 0.0;
    for (const auto& s : segments) {
        const Vec3f d = s.p1 - s.p0;
        sum += std::sqrt(double(dot(d, d)));
    }
    return sum;
}

// Perimeter of the regular polygon a tessellated circle really is.
double polygonPerimeter(double r, int n)
{
    return 2.0 * n * r * std::sin(M_PI / n);
}

} // namespace

TEST(SliceCylinder, CircumferenceEllipseAndTheCacheForNearlyEqualPositions)
{
    MeshModel m = shapes::cylinder(10.0f, 40.0f, 64, 3);
    for (float band : {0.0f, 0.8f}) {
        m.clearDerivedState();
        const auto cut = m.sliceAxis(Axis::Z, 20.5f, band);
        EXPECT_NEAR(totalLength(cut), polygonPerimeter(10.0, 64), 0.05) << "band " << band;
        for (const auto& s : cut) {
            EXPECT_NEAR(s.p0.z, 20.5f, 1e-4f);
            EXPECT_NEAR(std::hypot(s.p0.x, s.p0.y), 10.0f, 0.1f);
        }
    }
    // An oblique plane through a long cylinder cuts an ellipse.
    MeshModel tall = shapes::cylinder(10.0f, 100.0f, 128, 20);
    const float tilt = 0.5f; // radians away from the axis
    const QVector3D normal(std::sin(tilt), 0.0f, std::cos(tilt));
    const auto ellipse = tall.slicePlane(normal * 3.0f, QVector3D(0, 0, 50), 0.0f);
    // Ellipse with semi-axes r and r / cos(tilt) (Ramanujan's perimeter).
    const double a = 10.0 / std::cos(tilt), b = 10.0;
    const double h = (a - b) * (a - b) / ((a + b) * (a + b));
    const double perimeter = M_PI * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h)));
    EXPECT_NEAR(totalLength(ellipse), perimeter, perimeter * 0.003);
    for (const auto& s : ellipse)
        EXPECT_NEAR(dot(s.p0 - Vec3f(0, 0, 50), Vec3f(normal.x(), normal.y(), normal.z())), 0.0f, 1e-3f);
    EXPECT_TRUE(tall.slicePlane(QVector3D(0, 0, 0), QVector3D(0, 0, 50), 0.0f).empty());
    EXPECT_FALSE(tall.axisSliceCacheValid);
    // A nearly equal position is served from the cache.
    MeshModel cached = shapes::cylinder(5.0f, 10.0f, 32);
    const auto cut1 = cached.sliceAxis(Axis::Z, 5.0f, 0.0f);
    ASSERT_FALSE(cut1.empty());
    EXPECT_TRUE(cached.axisSliceCacheValid);
    EXPECT_EQ(cached.axisSliceCacheAxis, 2);
    // Change the geometry behind the cache's back: a cache hit still returns the old cut.
    std::vector<Vec3f> shifted = cached.vertices.vec();
    for (Vec3f& v : shifted)
        v.x += 100.0f;
    cached.vertices.assign(shifted);
    const auto cut2 = cached.sliceAxis(Axis::Z, 5.0000005f, 0.0f);
    ASSERT_EQ(cut2.size(), cut1.size());
    EXPECT_EQ(cut2[0].p0.x, cut1[0].p0.x);
    // After a cache update the same request is recomputed.
    cached.updateCaches();
    EXPECT_FALSE(cached.axisSliceCacheValid);
    const auto cut3 = cached.sliceAxis(Axis::Z, 5.0f, 0.0f);
    ASSERT_FALSE(cut3.empty());
    EXPECT_GT(cut3[0].p0.x, 90.0f);
}

TEST(SliceAxis, BoxSectionIsItsRectangleAlsoThroughAVertexRowAndNothingOffIt)
{
    MeshModel m = shapes::box({50, 30, 20}, 3);
    const auto cut = m.sliceAxis(Axis::X, 12.3f, 0.0f);
    EXPECT_NEAR(totalLength(cut), 2.0 * (30 + 20), 1e-3);
    const SectionLines lines = toSectionLines(cut, Axis::X);
    QRectF bounds;
    for (const QLineF& l : lines)
        bounds = bounds.united(QRectF(l.p1(), l.p2()).normalized());
    EXPECT_NEAR(bounds.width(), 30.0, 1e-4);
    EXPECT_NEAR(bounds.height(), 20.0, 1e-4);
    // Grid lines at z = 0, 5, 10, ...: the plane runs through a row of vertices.
    EXPECT_NEAR(totalLength(shapes::box({20, 20, 20}, 4).sliceAxis(Axis::Z, 10.0f, 0.0f)), 80.0, 0.01);
    // Planes missing the mesh, bad axes and no mesh give nothing.
    EXPECT_TRUE(m.sliceAxis(Axis::Z, 50.0f, 0.0f).empty());
    EXPECT_TRUE(m.sliceAxis(Axis::Z, -3.0f, 2.0f).empty());
    EXPECT_TRUE(m.sliceAxis(static_cast<Axis>(3), 5.0f, 0.0f).empty());
    EXPECT_TRUE(m.sliceAxis(static_cast<Axis>(-1), 5.0f, 0.0f).empty());
    EXPECT_TRUE(MeshModel().sliceAxis(Axis::Z, 0.0f, 0.0f).empty());
}

// A cutter belongs to one geometry state: never to the model after a change,
// and never to another copy that changed on its own, even though both copies
// started from the same revision.
TEST(SliceCutter, ServesOnlyItsGeometryAndFindsExactlyTheTouchingTriangles)
{
    MeshModel a = shapes::cylinder(5.0f, 10.0f, 32);
    a.updateCaches();
    MeshModel b = a;
    const auto cutter = SliceCutter::build(a);
    ASSERT_TRUE(cutter);
    EXPECT_TRUE(cutter->serves(a));
    EXPECT_TRUE(cutter->serves(b));
    a.updateCaches();
    b.applyFineTune(1.0f, 0.0f, 0.0f);
    EXPECT_FALSE(cutter->serves(a));
    EXPECT_FALSE(cutter->serves(b));
    EXPECT_NE(a.geometryRevision, b.geometryRevision);
    EXPECT_FALSE(SliceCutter::build(MeshModel()));
    Progress canceled;
    canceled.cancel();
    EXPECT_FALSE(SliceCutter::build(a, &canceled));
    // The index finds exactly the triangles a full pass finds.
    MeshModel synthetic = makeSyntheticModel(60000);
    synthetic.updateCaches();
    // A few long slivers across the part, which the index keeps apart.
    std::vector<Vec3f> vertices = synthetic.vertices.vec();
    std::vector<Triangle> faces = synthetic.faces.vec();
    const Vec3f lo = synthetic.boundsMin(), hi = synthetic.boundsMax();
    const auto base = std::uint32_t(vertices.size());
    vertices.insert(vertices.end(), {lo, hi, {lo.x, hi.y, lo.z}});
    faces.push_back({base, base + 1, base + 2});
    synthetic.vertices.assign(vertices);
    synthetic.faces.assign(faces);
    synthetic.updateCaches();
    const auto index = SliceCutter::build(synthetic);
    ASSERT_TRUE(index);
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<float> positions{lo[axis] - 1.0f, lo[axis], hi[axis], hi[axis] + 1.0f};
        for (int k = 0; k < 40; ++k)
            positions.push_back(synthetic.vertices[std::size_t(k) * 997 % synthetic.vertices.size()][axis]);
        for (int k = 1; k < 20; ++k)
            positions.push_back(lo[axis] + (hi[axis] - lo[axis]) * float(k) / 20.0f);
        for (float p : positions) {
            std::vector<std::uint32_t> found, expected;
            index->trianglesTouching(synthetic, axisFromIndex(axis), p, found);
            for (std::uint32_t i = 0; i < synthetic.faces.size(); ++i) {
                const Triangle& t = synthetic.faces[i];
                const float a = synthetic.vertices[t[0]][axis], b = synthetic.vertices[t[1]][axis], c = synthetic.vertices[t[2]][axis];
                if (std::min({a, b, c}) <= p && std::max({a, b, c}) >= p)
                    expected.push_back(i);
            }
            ASSERT_EQ(found, expected) << "axis " << axis << " at " << p;
        }
    }
}

// The index must find exactly the triangles a full pass finds, including at
// positions that coincide with vertex coordinates and outside the mesh.
// The cutter works on several threads; the section must not depend on how
// they were scheduled, or the same cut exports a different file each time.
// With the cutter the triangles come from the index, without it from a full
// pass; both must give the very same section, or a slider back at an earlier
// position would show different lines.
TEST(SliceAxis, ExactCutIsTheSameEveryTimeWithAndWithoutTheCutter)
{
    MeshModel model = makeSyntheticModel(200000);
    model.updateCaches();
    const auto cutter = SliceCutter::build(model);
    ASSERT_TRUE(cutter);
    const auto expectSame = [](const auto& a, const auto& b) {
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].p0, b[i].p0) << i;
            ASSERT_EQ(a[i].p1, b[i].p1) << i;
        }
    };
    const float mid = 0.5f * (model.boundsMin().z + model.boundsMax().z);
    const auto first = model.sliceAxis(Axis::Z, mid, 0.0f);
    ASSERT_GT(first.size(), 100u);
    for (int round = 0; round < 6; ++round) {
        model.sliceAxis(Axis::Z, mid + 1.0f + float(round), 0.0f); // evicts the one-entry cache
        expectSame(model.sliceAxis(Axis::Z, mid, 0.0f), first);
    }
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = model.boundsMin()[axis], hi = model.boundsMax()[axis];
        for (float f : {0.13f, 0.5f, 0.77f}) {
            SCOPED_TRACE(testing::Message() << "axis " << axis << " at " << f);
            const float at = lo + f * (hi - lo);
            model.clearDerivedState();
            const auto a = model.sliceAxis(axisFromIndex(axis), at, 0.0f);
            model.clearDerivedState();
            ASSERT_GT(a.size(), 50u);
            expectSame(model.sliceAxis(axisFromIndex(axis), at, 0.0f, cutter.get()), a);
        }
    }
}

TEST(BandWalk, VertexOnPlaneTriangleInPlaneAndBadIndices)
{
    const auto model = [](std::vector<Vec3f> vertices, std::vector<Triangle> faces) {
        MeshModel m;
        m.vertices.assign(std::move(vertices));
        m.faces.assign(std::move(faces));
        return m;
    };
    // A vertex on the plane plus a crossing makes one segment.
    const auto touching = model({{0, 0, 0}, {10, 0, -5}, {10, 0, 5}}, {{0, 1, 2}}).slicePlane({0, 0, 1}, {0, 0, 0}, 0.5f);
    ASSERT_EQ(touching.size(), 1u);
    EXPECT_NEAR(totalLength(touching), 10.0, 1e-4);
    // A triangle in the plane offers its first separated vertices.
    const auto inPlane = model({{0, 0, 0}, {0.00001f, 0, 0}, {4, 3, 0}}, {{0, 1, 2}}).sliceAxis(Axis::Z, 0.0f, 1.0f);
    ASSERT_EQ(inPlane.size(), 1u);
    EXPECT_EQ(inPlane[0].p0, Vec3f(0, 0, 0));
    EXPECT_EQ(inPlane[0].p1, Vec3f(4, 3, 0));
    // Triangles with an index past the vertex list are skipped.
    EXPECT_EQ(model({{0, 0, -1}, {10, 0, 1}, {0, 10, 1}}, {{0, 1, 7}, {0, 1, 2}}).sliceAxis(Axis::Z, 0.0f, 0.5f).size(), 1u);
}

TEST(SectionLines, AxisAndPlaneMappings)
{
    const std::vector<MeshModel::SliceSegment3D> seg{{{1, 2, 3}, {4, 5, 6}}};
    EXPECT_EQ(toSectionLines(seg, Axis::X).at(0), QLineF(2, 3, 5, 6));
    EXPECT_EQ(toSectionLines(seg, Axis::Y).at(0), QLineF(1, 3, 4, 6));
    EXPECT_EQ(toSectionLines(seg, Axis::Z).at(0), QLineF(1, 2, 4, 5));
    const QLineF plane = toSectionLines(seg, QVector3D(1, 1, 1), QVector3D(0, 1, 0), QVector3D(0, 0, 1)).at(0);
    EXPECT_EQ(plane, QLineF(1, 2, 4, 5));
}
