#include "model/align/alignmentcommands.h"
#include "model/align/alignmenthistory.h"
#include "model/mesh/meshmodel.h"
#include "model/align/rotation.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr float kDeg = 3.1415927f / 180.0f;

// Every vertex, by index, where the expected map sends its original position.
void expectMapped(const MeshModel& m, const std::vector<Vec3f>& original, const std::function<Vec3f(Vec3f)>& expected,
                  float tol = 2e-3f)
{
    ASSERT_EQ(m.vertices.size(), original.size());
    int failures = 0;
    for (std::size_t i = 0; i < original.size() && failures < 5; ++i) {
        const Vec3f e = expected(original[i]);
        const Vec3f a = m.vertices[i];
        if (std::fabs(a.x - e.x) > tol || std::fabs(a.y - e.y) > tol || std::fabs(a.z - e.z) > tol) {
            ADD_FAILURE() << "vertex " << i << " at (" << a.x << ", " << a.y << ", " << a.z << "), expected (" << e.x
                          << ", " << e.y << ", " << e.z << ")";
            ++failures;
        }
    }
}

void expectExtents(const MeshModel& m, float x, float y, float z, float tol)
{
    const Vec3f e = m.extents();
    EXPECT_NEAR(e.x, x, tol);
    EXPECT_NEAR(e.y, y, tol);
    EXPECT_NEAR(e.z, z, tol);
}

QVector3D q(Vec3f v)
{
    return {v.x, v.y, v.z};
}

// 20 x 100 x 60 box in a fixed arbitrary pose; original holds its
// axis-aligned vertices by index.
MeshModel tiltedBox(std::vector<Vec3f>* original, Rotation3* pose)
{
    MeshModel m = shapes::box({20, 100, 60}, 3);
    *original = m.vertices.vec();
    *pose = axisAngleRotation(QVector3D(1, 2, 3), 1.1f);
    shapes::transform(m, *pose, {37, -12, 500});
    return m;
}

} // namespace

TEST(PickedFaceAlignment, FaceNormalOnTargetAxisSnappedReferenceInPlaneTwistedAndSeated)
{
    // The box's top face (normal +Z before the pose) with a reference along or
    // near its long edge (Y), checked against a map of its original corners.
    const auto check = [](QVector3D reference, Axis axis, float twist, const std::function<Vec3f(Vec3f)>& expected) {
        std::vector<Vec3f> o;
        Rotation3 pose;
        MeshModel m = tiltedBox(&o, &pose);
        const double volume = shapes::signedVolume(m);
        std::string error;
        ASSERT_TRUE(m.alignToPickedFace(pose.apply({0, 0, 1}), pose.apply(reference), axis, twist, &error)) << error;
        expectMapped(m, o, expected);
        EXPECT_NEAR(shapes::signedVolume(m), volume, std::fabs(volume) * 1e-4);
    };
    // Z onto X, Y onto Y (in-plane target for X), so X onto -Z; min x = 0, y and z centred.
    check({0, 1, 0}, Axis::X, 0.0f, [](Vec3f p) { return Vec3f(p.z, p.y - 50.0f, 10.0f - p.x); });
    // Seated on Z (min z 0, x and y centred) the long edge lies on X, also when
    // picked 20 degrees off it in the face plane.
    for (const QVector3D& reference : {QVector3D(0, 1, 0), QVector3D(std::sin(20.0f * kDeg), std::cos(20.0f * kDeg), 0)})
        check(reference, Axis::Z, 0.0f, [](Vec3f p) { return Vec3f(p.y - 50.0f, 10.0f - p.x, p.z); });
    // A 90 degree twist turns it back to +Y: the box's own orientation.
    check({0, 1, 0}, Axis::Z, 90.0f, [](Vec3f p) { return Vec3f(p.x - 10.0f, p.y - 50.0f, p.z); });
    // The picked reference snaps to the nearer part axis within 44 degrees.
    const Rotation3 rows = Rotation3::identity();
    const QVector3D normal(0, 0, 1);
    const auto at = [](float deg) { return QVector3D(std::cos(deg * kDeg), std::sin(deg * kDeg), 0.0f); };
    auto expectDir = [](const QVector3D& a, const QVector3D& b) {
        EXPECT_NEAR(a.x(), b.x(), 1e-5f);
        EXPECT_NEAR(a.y(), b.y(), 1e-5f);
        EXPECT_NEAR(a.z(), b.z(), 1e-5f);
    };
    expectDir(snapPickedReference(normal, at(40.0f), rows), QVector3D(1, 0, 0));
    expectDir(snapPickedReference(normal, at(170.0f), rows), QVector3D(-1, 0, 0)); // keeps the picked sense
    expectDir(snapPickedReference(normal, at(-60.0f), rows), QVector3D(0, -1, 0));
    // 45 degrees is farther than 44 from both X and Y: used as picked.
    expectDir(snapPickedReference(normal, at(45.0f), rows), at(45.0f));
    // The picked direction is flattened into the face plane first.
    expectDir(snapPickedReference(normal, QVector3D(0.2f, 1.0f, 5.0f), rows), QVector3D(0, 1, 0));
}

TEST(AlignmentRefusals, PickedFaceAndResetRefusalsLeaveModelUnchanged)
{
    MeshModel empty;
    std::string error;
    EXPECT_FALSE(empty.alignToPickedFace({0, 0, 1}, {1, 0, 0}, Axis::Z, 0.0f, &error));
    EXPECT_EQ(error, "No mesh loaded.");

    MeshModel m = shapes::box({10, 20, 30}, 1);
    const std::vector<Vec3f> before = m.vertices.vec();
    const std::uint64_t revision = m.geometryRevision;
    EXPECT_FALSE(m.alignToPickedFace({0, 0, 1}, {1, 0, 0}, static_cast<Axis>(3), 0.0f, &error));
    EXPECT_EQ(error, "Invalid target axis index.");
    EXPECT_FALSE(m.alignToPickedFace({0, 0, 1}, {1, 0, 0}, static_cast<Axis>(-1), 0.0f, &error));
    EXPECT_EQ(error, "Invalid target axis index.");
    EXPECT_FALSE(m.alignToPickedFace({0, 0, 1e-9f}, {1, 0, 0}, Axis::Z, 0.0f, &error));
    EXPECT_EQ(error, "Picked face normal is invalid.");
    EXPECT_EQ(m.vertices.vec(), before);
    EXPECT_EQ(m.geometryRevision, revision);
    // Reset without loaded arrays changes nothing.
    MeshModel unloaded;
    unloaded.vertices.assign(std::vector<Vec3f>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    unloaded.faces.assign(std::vector<Triangle>{{0, 1, 2}});
    EXPECT_FALSE(unloaded.resetAlignment(nullptr, &error));
    EXPECT_EQ(error, "No mesh loaded.");
    EXPECT_EQ(unloaded.vertices[1], Vec3f(1, 0, 0));
}

TEST(PrincipalAxisAlignment, LeastSpreadOnTargetGreatestInPlaneThenTwist)
{
    std::vector<Vec3f> o;
    Rotation3 pose;
    MeshModel m = tiltedBox(&o, &pose);
    ASSERT_TRUE(m.alignPrincipalAxes(Axis::Z, 0.0f));
    expectExtents(m, 100.0f, 60.0f, 20.0f, 0.01f);

    // A 45-degree twist spreads the 100 x 60 footprint diagonally.
    MeshModel t = tiltedBox(&o, &pose);
    ASSERT_TRUE(t.alignPrincipalAxes(Axis::Z, 45.0f));
    const float diagonal = (100.0f + 60.0f) / std::sqrt(2.0f);
    expectExtents(t, diagonal, diagonal, 20.0f, 0.01f);

    MeshModel onX = tiltedBox(&o, &pose);
    ASSERT_TRUE(onX.alignPrincipalAxes(Axis::X, 0.0f));
    EXPECT_NEAR(onX.extents().x, 20.0f, 0.01f);
    EXPECT_NEAR(onX.extents().y, 100.0f, 0.01f);
}

TEST(FlipAndSwap, HalfTurnsAndTheXYSwapKeepTheMeshRightSideOutAndSeatItOnZ)
{
    for (Axis axis : {Axis::X, Axis::Y, Axis::Z}) {
        MeshModel m = shapes::box({20, 100, 60}, 3);
        const std::vector<Vec3f> o = m.vertices.vec();
        const double volume = shapes::signedVolume(m);
        std::string error;
        ASSERT_TRUE(m.flipAboutAxis(axis, 180.0f, &error)) << error;
        EXPECT_NEAR(shapes::signedVolume(m), volume, std::fabs(volume) * 1e-4) << "mirrored about axis " << axisIndex(axis);
        expectExtents(m, 20.0f, 100.0f, 60.0f, 1e-3f);
        // The turn axis keeps its sense, the other two are negated; then seated.
        expectMapped(m, o, [axis](Vec3f p) {
            Vec3f r(axis == Axis::X ? p.x : 20.0f - p.x, axis == Axis::Y ? p.y : 100.0f - p.y,
                    axis == Axis::Z ? p.z : 60.0f - p.z);
            return Vec3f(r.x - 10.0f, r.y - 50.0f, r.z);
        });
        // Flipping twice gives the original pose, seated.
        ASSERT_TRUE(m.flipAboutAxis(axis, 180.0f));
        expectMapped(m, o, [](Vec3f p) { return Vec3f(p.x - 10.0f, p.y - 50.0f, p.z); });
    }
    // Swapping X and Y exchanges the extents without turning the mesh inside out.
    MeshModel swapped = shapes::box({20, 100, 60}, 3);
    const std::vector<Vec3f> original = swapped.vertices.vec();
    const std::vector<Triangle> faces = swapped.faces.vec();
    const double swappedVolume = shapes::signedVolume(swapped);
    ASSERT_TRUE(swapped.swapXYAxes());
    expectExtents(swapped, 100.0f, 20.0f, 60.0f, 1e-4f);
    expectMapped(swapped, original, [](Vec3f p) { return Vec3f(p.y - 50.0f, p.x - 10.0f, p.z); }, 1e-4f);
    EXPECT_NEAR(shapes::signedVolume(swapped), swappedVolume, std::fabs(swappedVolume) * 1e-5);
    ASSERT_EQ(swapped.faces.size(), faces.size());
    EXPECT_EQ(swapped.faces[5], Triangle(faces[5][0], faces[5][2], faces[5][1]));
    // The as-loaded arrays are not touched.
    EXPECT_EQ(swapped.loadedFaces.vec(), faces);
    EXPECT_EQ(swapped.loadedVertices.vec(), original);
}

TEST(AlignmentHistory, FineTuneComposesXYZAboutTheCentroidUndoRestoresExactlyRedoReapplies)
{
    MeshModel m = shapes::box({20, 100, 60}, 3);
    AlignmentHistory history;
    const std::vector<Vec3f> before = m.vertices.vec();
    EXPECT_FALSE(history.undo(m)); // nothing recorded yet
    EXPECT_FALSE(history.redo(m));
    history.record(m);
    m.applyFineTune(1.0f, -2.0f, 0.5f);
    const std::vector<Vec3f> after = m.vertices.vec();
    ASSERT_NE(after, before);
    EXPECT_TRUE(history.canUndo());
    EXPECT_FALSE(history.canRedo());

    const std::uint64_t revision = m.geometryRevision;
    m.sliceAxis(Axis::Z, 30.0f, 0.0f);
    ASSERT_TRUE(m.axisSliceCacheValid);
    ASSERT_TRUE(history.undo(m));
    EXPECT_EQ(m.vertices.vec(), before);
    EXPECT_GT(m.geometryRevision, revision);
    EXPECT_FALSE(m.axisSliceCacheValid);
    EXPECT_EQ(m.displayVertices.vec(), before); // render mesh rebuilt (small mesh: same vertices)
    EXPECT_EQ(history.undoCount(), 0u);
    EXPECT_EQ(history.redoCount(), 1u);

    ASSERT_TRUE(history.redo(m));
    EXPECT_EQ(m.vertices.vec(), after);
    EXPECT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.redoCount(), 0u);
    EXPECT_FALSE(history.redo(m));
    EXPECT_EQ(m.vertices.vec(), after);
    MeshModel empty;
    EXPECT_FALSE(history.undo(empty)); // no mesh: the entry stays
    EXPECT_EQ(history.undoCount(), 1u);
    // Fine tune composes X, then Y, then Z about the centroid.
    MeshModel tuned = shapes::box({20, 100, 60}, 2);
    const std::vector<Vec3f> start = tuned.vertices.vec();
    const Vec3f centre = tuned.centroid();
    tuned.applyFineTune(1.5f, -0.8f, 2.0f);
    const Rotation3 composed = axisAngleRotation({0, 0, 1}, 2.0f * kDeg) * axisAngleRotation({0, 1, 0}, -0.8f * kDeg) *
                        axisAngleRotation({1, 0, 0}, 1.5f * kDeg);
    expectMapped(tuned, start, [&](Vec3f p) {
        const QVector3D d = composed.apply(q(p - centre));
        return Vec3f(centre.x + d.x(), centre.y + d.y(), centre.z + d.z());
    });
    EXPECT_NEAR(fineTuneRotation(1.5f, -0.8f, 2.0f).determinant(), 1.0f, 1e-6f);
}

TEST(AlignmentHistory, KeepsTenEntriesDropsRedoOnANewCommandAndRestoresTopologyOnlyWithFaces)
{
    MeshModel m = shapes::box({20, 100, 60}, 1);
    AlignmentHistory history;
    std::vector<std::vector<Vec3f>> states{m.vertices.vec()};
    for (int i = 0; i < 11; ++i) {
        history.record(m);
        m.applyFineTune(0.5f, 0.0f, 0.0f);
        states.push_back(m.vertices.vec());
    }
    EXPECT_EQ(history.undoCount(), 10u);
    int undone = 0;
    while (history.undo(m))
        ++undone;
    EXPECT_EQ(undone, 10);
    EXPECT_EQ(m.vertices.vec(), states[1]);
    EXPECT_NE(m.vertices.vec(), states[0]);
    // Redo has no limit: every entry comes back.
    EXPECT_EQ(history.redoCount(), 10u);
    while (history.redo(m)) {
    }
    EXPECT_EQ(m.vertices.vec(), states[11]);
    // Entries with faces restore the topology both ways.
    MeshModel repaired = shapes::box({20, 100, 60}, 2);
    const std::vector<Vec3f> vertsBefore = repaired.vertices.vec();
    const std::vector<Triangle> facesBefore = repaired.faces.vec();
    AlignmentHistory withFaces;
    withFaces.record(repaired, true);
    // A "repair" that drops triangles and moves a vertex.
    std::vector<Triangle> fewer(facesBefore.begin(), facesBefore.end() - 4);
    repaired.faces.assign(fewer);
    repaired.vertices.edit()[0] = Vec3f(-5, -5, -5);
    repaired.updateCaches();

    ASSERT_TRUE(withFaces.undo(repaired));
    EXPECT_EQ(repaired.faces.vec(), facesBefore);
    EXPECT_EQ(repaired.vertices.vec(), vertsBefore);
    EXPECT_EQ(repaired.sliceFaces.vec(), facesBefore);
    ASSERT_TRUE(withFaces.redo(repaired));
    EXPECT_EQ(repaired.faces.vec(), fewer);
    EXPECT_EQ(repaired.vertices[0], Vec3f(-5, -5, -5));
    // A new command after an undo drops the redo entries.
    MeshModel flipped = shapes::box({20, 100, 60}, 1);
    AlignmentHistory flips;
    flips.record(flipped);
    flipped.flipAboutAxis(Axis::X, 180.0f);
    flips.record(flipped);
    flipped.flipAboutAxis(Axis::Y, 180.0f);
    ASSERT_TRUE(flips.undo(flipped));
    EXPECT_TRUE(flips.canRedo());
    flips.record(flipped);
    flipped.swapXYAxes();
    EXPECT_FALSE(flips.canRedo());
    EXPECT_EQ(flips.undoCount(), 2u);
    // A vertex-only entry leaves the faces alone.
    flips.record(flipped);
    std::vector<Triangle> fewerFaces = flipped.faces.vec();
    flipped.flipAboutAxis(Axis::Z, 180.0f);
    fewerFaces.pop_back();
    flipped.faces.assign(fewerFaces);
    ASSERT_TRUE(flips.undo(flipped));
    EXPECT_EQ(flipped.faces.vec(), fewerFaces);
    EXPECT_TRUE(flips.redoEntries().back().faces.empty());
}

TEST(AlignmentCommands, ResetRestoresTheLoadedArraysAndEveryChangeBumpsRevisionAndDropsCaches)
{
    std::vector<Vec3f> o;
    Rotation3 pose;
    MeshModel m = tiltedBox(&o, &pose);
    MeshModel reference = m;
    ASSERT_TRUE(reference.autoAlignOnImport());
    const std::vector<Vec3f> loaded = m.loadedVertices.vec();

    ASSERT_TRUE(m.autoAlignOnImport());
    ASSERT_TRUE(m.flipAboutAxis(Axis::X, 180.0f));
    ASSERT_TRUE(m.swapXYAxes());
    m.applyFineTune(1.0f, 1.0f, 1.0f);
    const std::uint64_t revision = m.geometryRevision;
    std::string fallback = "x", error;
    ASSERT_TRUE(m.resetAlignment(&fallback, &error)) << error;
    EXPECT_TRUE(fallback.empty()) << fallback;
    EXPECT_EQ(m.vertices.vec(), reference.vertices.vec());
    EXPECT_EQ(m.faces.vec(), reference.faces.vec());
    EXPECT_EQ(m.loadedVertices.vec(), loaded);
    EXPECT_GT(m.geometryRevision, revision);
    EXPECT_EQ(m.displayFaces.size(), m.faces.size());
    EXPECT_EQ(m.sliceFaces.vec(), m.faces.vec());
    // Every command bumps the revision and drops the caches.
    MeshModel box = shapes::box({20, 100, 60}, 2);
    const std::vector<std::function<bool(MeshModel&)>> commands = {
        [](MeshModel& x) { return x.alignToPickedFace({0, 1, 0}, {1, 0, 0}, Axis::Z, 0.0f); },
        [](MeshModel& x) { return x.alignPrincipalAxes(Axis::Y, 45.0f); },
        [](MeshModel& x) { return x.flipAboutAxis(Axis::X, 180.0f); },
        [](MeshModel& x) { return x.swapXYAxes(); },
        [](MeshModel& x) { x.applyFineTune(0.0f, 1.0f, 0.0f); return true; },
        [](MeshModel& x) { return x.resetAlignment(); },
    };
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const float z = 0.5f * (box.boundsMin().z + box.boundsMax().z);
        ASSERT_FALSE(box.sliceAxis(Axis::Z, z, 0.0f).empty());
        ASSERT_TRUE(box.axisSliceCacheValid);
        const std::uint64_t before = box.geometryRevision;
        ASSERT_TRUE(commands[i](box)) << "operation " << i;
        EXPECT_GT(box.geometryRevision, before) << "operation " << i;
        EXPECT_FALSE(box.axisSliceCacheValid) << "operation " << i;
        // The render mesh matches the moved vertices (small mesh: copied as is).
        ASSERT_EQ(box.displayVertices.size(), box.vertices.size()) << "operation " << i;
        EXPECT_NEAR(box.displayVertices[7].x, box.vertices[7].x, 1e-4f) << "operation " << i;
        EXPECT_NEAR(box.displayVertices[7].z, box.vertices[7].z, 1e-4f) << "operation " << i;
    }
}

