// STEP tessellation and 3MF mesh objects.

#include "io/meshload.h"
#include "io/meshimport.h"
#include "io/step/occt/steptessellate.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "model/mesh/meshmodel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

using fixtures::load;
using fixtures::Loaded;
using fixtures::TempDir;

// --- STEP -----------------------------------------------------------------------

TEST(ImportStep, BoxesBecomeTwoTrianglesPerFaceFromStepOrStpAndTwoSolidsOneMesh)
{
    TempDir dir;
    fixtures::writeStepBox(dir.path("box.step"), 10, 20, 30);
    const Loaded r = load(dir.path("box.step"));
    ASSERT_TRUE(r.ok) << r.error;
    // Six planar faces sharing the eight corners.
    EXPECT_EQ(r.model.faces.size(), 12u);
    EXPECT_EQ(r.model.vertices.size(), 8u);
    const Vec3f lo = r.model.boundsMin(), hi = r.model.boundsMax();
    EXPECT_FLOAT_EQ(lo.x, 0.0f);
    EXPECT_FLOAT_EQ(lo.y, 0.0f);
    EXPECT_FLOAT_EQ(lo.z, 0.0f);
    EXPECT_FLOAT_EQ(hi.x, 10.0f);
    EXPECT_FLOAT_EQ(hi.y, 20.0f);
    EXPECT_FLOAT_EQ(hi.z, 30.0f);
    // Every vertex is a corner of the box.
    for (const Vec3f& p : r.model.vertices)
        for (int a = 0; a < 3; ++a)
            EXPECT_TRUE(p[a] == lo[a] || p[a] == hi[a]);
    // STP and STEP take the same importer.
    std::filesystem::copy_file(dir.path("box.step"), dir.path("a.STP"));
    const Loaded stp = load(dir.path("a.STP"));
    ASSERT_TRUE(stp.ok) << stp.error;
    EXPECT_EQ(r.model.vertices, stp.model.vertices);
    EXPECT_EQ(r.model.faces, stp.model.faces);
    // Two solids give one mesh with offset indices.
    fixtures::writeStepTwoBoxes(dir.path("two.step"), 5, 20);
    const Loaded two = load(dir.path("two.step"));
    ASSERT_TRUE(two.ok) << two.error;
    ASSERT_EQ(two.model.faces.size(), 24u);
    ASSERT_EQ(two.model.vertices.size(), 16u);
    // The first solid's triangles use the first 8 vertices, the second's the rest.
    for (std::size_t i = 0; i < 24; ++i) {
        const Triangle& t = two.model.faces[i];
        const bool second = i >= 12;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(t[k] >= 8u, second) << "triangle " << i;
            EXPECT_EQ(two.model.vertices[t[k]].x >= 20.0f, second) << "triangle " << i;
        }
    }
    EXPECT_FLOAT_EQ(two.model.boundsMax().x, 25.0f);
}

// Solids arrive closed and outward-wound: every edge joins exactly two
// triangles that run it in opposite directions, and the volume is positive.
// The reader program's mesh is the one this process would tessellate.
TEST(ImportStep, SolidsAreClosedOutwardWoundAndAsTessellatedInProcess)
{
    const struct {
        const char* name;
        void (*write)(const std::string&);
        double volume;
        double tolerance;
    } cases[] = {
        {"box", [](const std::string& p) { fixtures::writeStepBox(p, 10, 20, 30); }, 6000.0, 1e-3},
        // The tessellated cylinder lies inside the true one by at most the deflection.
        {"cylinder", [](const std::string& p) { fixtures::writeStepCylinder(p, 10, 20); }, M_PI * 100.0 * 20.0,
         2.0 * M_PI * 10.0 * 20.0 * 0.1},
        {"plate", [](const std::string& p) { fixtures::writeStepPlateWithCrossHole(p, 100, 60, 8, 2); },
         100.0 * 60.0 * 8.0 - M_PI * 4.0 * 60.0, 2.0 * M_PI * 2.0 * 60.0 * 0.1},
        {"two boxes", [](const std::string& p) { fixtures::writeStepTwoBoxes(p, 5, 20); }, 250.0, 1e-3},
    };
    TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path(std::string(c.name) + ".step");
        c.write(path);
        const Loaded r = load(path);
        ASSERT_TRUE(r.ok) << r.error;
        std::vector<Vec3f> vertices;
        std::vector<Triangle> faces;
        ASSERT_EQ(tessellateStep(path, vertices, faces), StepReadStatus::Ok);
        EXPECT_EQ(r.model.vertices.vec(), vertices);
        EXPECT_EQ(r.model.faces.vec(), faces);
        std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
        for (const Triangle& t : r.model.faces)
            for (int k = 0; k < 3; ++k)
                ++directed[{t[k], t[(k + 1) % 3]}];
        for (const auto& [edge, count] : directed) {
            EXPECT_EQ(count, 1) << edge.first << "-" << edge.second << " runs the same way twice";
            EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << "-" << edge.second << " is open";
        }
        EXPECT_NEAR(fixtures::signedVolume(r.model), c.volume, c.tolerance);
    }
    // The cylinder is tessellated within the absolute deflection.
    TempDir cylDir;
    const double radiusMm = 10.0;
    fixtures::writeStepCylinder(cylDir.path("cyl.step"), radiusMm, 20.0);
    const Loaded cylinder = load(cylDir.path("cyl.step"));
    ASSERT_TRUE(cylinder.ok) << cylinder.error;
    const MeshModel& cyl = cylinder.model;
    std::set<long> angles;
    for (const Vec3f& p : cyl.vertices) {
        const double radius = std::hypot(p.x, p.y);
        EXPECT_LE(radius, radiusMm + 1e-4);
        EXPECT_TRUE(std::abs(p.z) < 1e-5 || std::abs(p.z - 20.0f) < 1e-5 || std::abs(radius - radiusMm) < 1e-4);
        if (std::abs(radius - radiusMm) < 1e-4)
            angles.insert(std::lround(std::atan2(p.y, p.x) * 1e4));
    }
    // Chord sagitta r (1 - cos(pi / n)) <= 0.1 needs n >= 23 segments.
    EXPECT_GE(angles.size(), 23u);
    // Still a plain tessellation, not a dense one.
    EXPECT_LT(cyl.faces.size(), 2000u);
}

TEST(ImportStep, DamagedFilesFailWithTheirMessages)
{
    TempDir dir;
    fixtures::writeText(dir.path("empty.step"), "");
    fixtures::writeText(dir.path("garbage.stp"), "this is not STEP\n");
    for (const char* name : {"empty.step", "garbage.stp"})
        EXPECT_EQ(load(dir.path(name)).error, "Failed to read STEP file.") << name;

    fixtures::writeText(dir.path("nogeometry.step"),
                        "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('empty'),'2;1');\n"
                        "FILE_NAME('empty.step','2024-01-01T00:00:00',(''),(''),'','','');\n"
                        "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\nENDSEC;\n"
                        "DATA;\nENDSEC;\nEND-ISO-10303-21;\n");
    EXPECT_EQ(load(dir.path("nogeometry.step")).error, "STEP file contains no geometry.");

    fixtures::writeStepBox(dir.path("box.step"), 1, 1, 1);
    // Without its directions OpenCASCADE's reader crashes; the reader program
    // takes the crash.
    const std::vector<unsigned char> boxBytes = fixtures::readBytes(dir.path("box.step"));
    const std::string box(boxBytes.begin(), boxBytes.end());
    std::string damaged;
    for (std::size_t at = 0, end = 0; at < box.size(); at = end + 1) {
        end = std::min(box.find('\n', at), box.size());
        const std::string line = box.substr(at, end - at);
        if (line.find("= DIRECTION(") == std::string::npos)
            damaged += line + '\n';
    }
    ASSERT_LT(damaged.size(), box.size());
    fixtures::writeText(dir.path("damaged.step"), damaged);
    EXPECT_EQ(load(dir.path("damaged.step")).error, "Failed to read STEP file.");

    // A valid file cut in half.
    std::vector<unsigned char> bytes = fixtures::readBytes(dir.path("box.step"));
    bytes.resize(bytes.size() / 2);
    fixtures::writeBytes(dir.path("cut.step"), bytes);
    const Loaded cut = load(dir.path("cut.step"));
    EXPECT_FALSE(cut.ok);
    EXPECT_TRUE(cut.error == "Failed to read STEP file." || cut.error == "STEP file contains no geometry."
                || cut.error == "No triangulated geometry found in STEP file.")
        << cut.error;
}

// --- 3MF ------------------------------------------------------------------------

TEST(Import3mf, ObjectsAreOffsetTransformsIgnoredAndDamagedPackagesGiveTheirMessages)
{
    TempDir dir;
    const fixtures::Mesh cube = fixtures::box({0, 0, 0}, {1, 2, 3});
    fixtures::Mesh triangle;
    triangle.vertices = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
    triangle.faces = {{0, 1, 2}};
    fixtures::write3mf(dir.path("two.3mf"), {{cube, false}, {triangle, false}});
    const Loaded r = load(dir.path("two.3mf"));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.model.vertices.size(), 11u);
    ASSERT_EQ(r.model.faces.size(), 13u);
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(r.model.faces[i], cube.faces[i]);
    EXPECT_EQ(r.model.faces[12], (Triangle{8, 9, 10}));
    EXPECT_EQ(r.model.vertices[9], (Vec3f{6, 5, 5}));
    EXPECT_NEAR(fixtures::signedVolume(r.model.vertices.vec(), cube.faces), 6.0, 1e-5);
    // Build item transforms are not applied.
    fixtures::write3mf(dir.path("moved.3mf"), {{cube, true}});
    const Loaded moved = load(dir.path("moved.3mf"));
    ASSERT_TRUE(moved.ok) << moved.error;
    EXPECT_FLOAT_EQ(moved.model.boundsMin().x, 0.0f);
    EXPECT_FLOAT_EQ(moved.model.boundsMax().x, 1.0f);
    // Damaged or empty packages give their messages.
    fixtures::writeText(dir.path("text.3mf"), "this is not a zip archive");
    fixtures::writeText(dir.path("empty.3mf"), "");
    fixtures::write3mf(dir.path("good.3mf"), {{fixtures::box({0, 0, 0}, {1, 1, 1}), false}});
    std::vector<unsigned char> half = fixtures::readBytes(dir.path("good.3mf"));
    half.resize(half.size() / 2);
    fixtures::writeBytes(dir.path("cut.3mf"), half);
    EXPECT_EQ(load(dir.path("text.3mf")).error, "3MF load error: Could not read ZIP file");
    for (const char* name : {"text.3mf", "empty.3mf", "cut.3mf"}) {
        const Loaded failed = load(dir.path(name));
        EXPECT_FALSE(failed.ok) << name;
        EXPECT_EQ(failed.error.rfind("3MF load error: ", 0), 0u) << name << ": " << failed.error;
        EXPECT_GT(failed.error.size(), std::string("3MF load error: ").size()) << name;
    }
    // A package without meshes has no mesh data.
    fixtures::write3mf(dir.path("nomesh.3mf"), {});
    EXPECT_EQ(load(dir.path("nomesh.3mf")).error, "No mesh data found in 3MF file.");
}

