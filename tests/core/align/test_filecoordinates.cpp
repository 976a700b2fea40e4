// "File Coordinates": the loaded positions come back bit for bit after any
// alignment; vertices a hole fill added follow the part; after a repair the
// mesh as loaded comes back.
#include "model/align/filecoordinates.h"
#include "model/align/rotation.h"
#include "model/repair/holes.h"
#include "tests/core/fixtures/meshfixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

MeshModel loadedSphere()
{
    const fixtures::Mesh m = fixtures::sphereWithHoles(25.0f, 30.0f);
    MeshModel model;
    // An off-centre file frame, so that recentring shows.
    std::vector<Vec3f> v = m.vertices;
    for (Vec3f& p : v)
        p = p + Vec3f{100.0f, -40.0f, 7.5f};
    model.vertices.assign(v);
    model.faces.assign(m.faces);
    model.loadedVertices = model.vertices;
    model.loadedFaces = model.faces;
    model.updateCaches();
    return model;
}

void align(MeshModel& model)
{
    model.autoAlignOnImport();
    model.flipAboutAxis(Axis::X, 180.0f);
    model.swapXYAxes(); // a mirror too
}

bool sameBits(const SharedArray<Vec3f>& a, const SharedArray<Vec3f>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3f)) == 0;
}

TEST(FileCoordinates, AlignedPartGoesBackBitForBitHoleFillsFollowRepairedMeshAsLoaded)
{
    MeshModel model = loadedSphere();
    align(model);
    ASSERT_FALSE(sameBits(model.vertices, model.loadedVertices));
    const std::uint64_t revision = model.geometryRevision;
    FileFrameRestore how = FileFrameRestore::Reloaded;
    ASSERT_TRUE(restoreFileCoordinates(model, &how));
    EXPECT_EQ(how, FileFrameRestore::Exact);
    EXPECT_TRUE(sameBits(model.vertices, model.loadedVertices));
    EXPECT_GT(model.geometryRevision, revision);
    // What a repair leaves: new arrays with no link to the loaded ones.
    model.vertices.assign(std::vector<Vec3f>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    model.faces.assign(std::vector<Triangle>{{0, 1, 2}});
    how = FileFrameRestore::Exact;
    ASSERT_TRUE(restoreFileCoordinates(model, &how));
    EXPECT_EQ(how, FileFrameRestore::Reloaded);
    EXPECT_TRUE(sameBits(model.vertices, model.loadedVertices));
    EXPECT_TRUE(model.faces.sharesStorageWith(model.loadedFaces));

    MeshModel empty;
    std::string error;
    EXPECT_FALSE(restoreFileCoordinates(empty, nullptr, &error));
    EXPECT_EQ(error, "No mesh loaded.");
    // Vertices added by a hole fill follow the part.
    MeshModel filled = loadedSphere();
    align(filled);
    ASSERT_TRUE(filled.fillSelectedHoles(filled.findBoundaryLoops(), {}));
    const std::size_t loadedCount = filled.loadedVertices.size();
    ASSERT_GT(filled.vertices.size(), loadedCount);
    FileFrameRestore filledHow = FileFrameRestore::Reloaded;
    ASSERT_TRUE(restoreFileCoordinates(filled, &filledHow));
    EXPECT_EQ(filledHow, FileFrameRestore::Exact);
    EXPECT_EQ(std::memcmp(filled.vertices.data(), filled.loadedVertices.data(), loadedCount * sizeof(Vec3f)), 0);
    // The patches lie on the sphere where the file has it (a patch left in
    // the aligned frame would be about 100 mm away).
    for (std::size_t i = loadedCount; i < filled.vertices.size(); ++i) {
        const Vec3f d = filled.vertices[i] - Vec3f{100.0f, -40.0f, 7.5f};
        EXPECT_NEAR(std::sqrt(dot(d, d)), 25.0, 0.6) << "vertex " << i;
    }
}

} // namespace
