#include "bench/syntheticscan.h"
#include "model/drawing/drawingpipeline.h"

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
TEST(DrawingPipeline, ChunkedDecimationStaysClosedDeterministicAndCancels)
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
}
