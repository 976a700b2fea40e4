#include "bench/syntheticscan.h"
#include "model/drawing/drawingpipeline.h"
#include "model/drawing/drawingsmoothing.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// Edges used by one triangle only, counted by vertex position so that a
// seam whose two sides moved apart shows up.
std::size_t openEdges(const std::vector<Vec3f>& v, const std::vector<Triangle>& f)
{
    using Key = std::pair<std::array<float, 3>, std::array<float, 3>>;
    std::map<Key, int> uses;
    for (const Triangle& t : f)
        for (int k = 0; k < 3; ++k) {
            std::array<float, 3> a{v[t[k]].x, v[t[k]].y, v[t[k]].z};
            std::array<float, 3> b{v[t[(k + 1) % 3]].x, v[t[(k + 1) % 3]].y, v[t[(k + 1) % 3]].z};
            ++uses[std::minmax(a, b)];
        }
    return std::size_t(std::count_if(uses.begin(), uses.end(), [](const auto& u) { return u.second == 1; }));
}

} // namespace

// The scan is large enough to be simplified in several chunks: their cuts
// must still meet, the target must hold, and the result must not depend on
// which thread took which chunk.
TEST(DrawingPipeline, DecimationStaysClosedDeterministicCancelsAndSmoothingKeepsCreases)
{
    SyntheticScanOptions o;
    o.targetTriangles = 200000;
    o.holes = 0;
    o.tilted = false;
    const SyntheticScan scan = makeSyntheticScan(o);
    ASSERT_EQ(openEdges(scan.vertices, scan.faces), 0u);

    std::vector<Vec3f> v, v2;
    std::vector<Triangle> f, f2;
    ASSERT_TRUE(decimateForDrawing(scan.vertices, scan.faces, 0.4f, DrawingView::Top, ProgressStage(nullptr, 0, 100), v, f));
    EXPECT_LE(f.size(), drawingDecimationTarget(scan.faces.size(), 0.4f));
    EXPECT_GT(f.size(), scan.faces.size() / 4);
    EXPECT_EQ(openEdges(v, f), 0u);
    ASSERT_TRUE(decimateForDrawing(scan.vertices, scan.faces, 0.4f, DrawingView::Top, ProgressStage(nullptr, 0, 100), v2, f2));
    EXPECT_TRUE(f == f2 && v.size() == v2.size());

    Progress canceled;
    canceled.cancel();
    EXPECT_FALSE(decimateForDrawing(scan.vertices, scan.faces, 0.4f, DrawingView::Top, ProgressStage(&canceled, 0, 100), v, f));
    MeshModel model = makeSyntheticModel(20000);
    EXPECT_FALSE(model.computeDrawingEdges(DrawingOptions()).empty());
    EXPECT_TRUE(model.computeDrawingEdges(DrawingOptions(), &canceled).empty());
    // Crease smoothing keeps corners, edges and borders.
    const Vec3f size{40, 20, 10};
    const MeshModel box = shapes::box(size, 4);
    std::vector<Vec3f> boxVertices = box.vertices.vec();
    std::vector<Triangle> boxFaces = box.faces.vec();
    shapes::weldExact(boxVertices, boxFaces);
    const auto onBound = [&](const Vec3f& p, int k) {
        return std::abs(p[k]) < 1e-4f || std::abs(p[k] - size[k]) < 1e-4f;
    };
    std::size_t dent = 0;
    for (std::size_t i = 0; i < boxVertices.size(); ++i)
        if (std::abs(boxVertices[i].z - size.z) < 1e-4f && !onBound(boxVertices[i], 0) && !onBound(boxVertices[i], 1))
            dent = i;
    boxVertices[dent].z -= 1.0f;
    CreaseSmoothing settings;
    settings.iterations = 5;
    settings.relaxation = 0.3;
    std::vector<Vec3f> out;
    std::vector<Triangle> faces;
    ASSERT_TRUE(smoothKeepingCreases(boxVertices, boxFaces, settings, ProgressStage(nullptr, 0, 100), out, faces));
    ASSERT_EQ(out.size(), boxVertices.size());
    for (std::size_t i = 0; i < boxVertices.size(); ++i) {
        int bounds = 0;
        for (int k = 0; k < 3; ++k)
            bounds += onBound(boxVertices[i], k);
        // The dented face's own vertices follow the dent; all else keeps
        // its face, edge or corner.
        if (i == dent || (bounds == 1 && onBound(boxVertices[i], 2) && boxVertices[i].z > 1.0f))
            continue;
        for (int k = 0; k < 3; ++k) {
            if (onBound(boxVertices[i], k)) {
                EXPECT_NEAR(out[i][k], boxVertices[i][k], 1e-4f) << "vertex " << i << " left its face";
            }
        }
        if (bounds == 3) {
            EXPECT_EQ(out[i], boxVertices[i]) << "corner " << i << " moved";
        }
    }
    EXPECT_GT(out[dent].z, boxVertices[dent].z + 0.2f);

    MeshModel sheet = shapes::plate(10, 10, 6);
    std::vector<Vec3f> bumpy = sheet.vertices.vec();
    for (std::size_t i = 0; i < bumpy.size(); ++i)
        bumpy[i].z = float(i % 3) * 0.2f;
    ASSERT_TRUE(smoothKeepingCreases(bumpy, sheet.faces.vec(), settings, ProgressStage(nullptr, 0, 100), out, faces));
    for (std::size_t i = 0; i < bumpy.size(); ++i)
        if (bumpy[i].x < 1e-4f || bumpy[i].x > 10 - 1e-4f || bumpy[i].y < 1e-4f || bumpy[i].y > 10 - 1e-4f) {
            EXPECT_EQ(out[i], bumpy[i]) << "border vertex " << i << " moved";
        }

    canceled.cancel();
    EXPECT_FALSE(smoothKeepingCreases(boxVertices, boxFaces, settings, ProgressStage(&canceled, 0, 100), out, faces));
}

// Smoothing moves vertices within flat faces and along straight creases,
// never off the solid: a box with a dent in one face keeps its corners and
// edges, and only the dent is pulled back towards the face. An open sheet
// keeps its border.
