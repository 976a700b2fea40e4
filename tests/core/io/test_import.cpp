// Loading by extension, and the STL, OBJ and PLY readers with damaged input.

#include "io/meshload.h"
#include "io/meshimport.h"
#include "io/prechecks.h"
#include "tests/core/fixtures/meshfixtures.h"
#include "model/mesh/meshmodel.h"

#include <vtkCellArray.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <limits>

#ifdef __unix__
#include <sys/stat.h>
#endif

using fixtures::load;
using fixtures::Loaded;
using fixtures::TempDir;

namespace {

const std::string kSupported = " (supported: .stl, .obj, .ply, .step, .stp, .3mf, .asc)";


void expectBounds(const MeshModel& m, Vec3f lo, Vec3f hi)
{
    const Vec3f a = m.boundsMin(), b = m.boundsMax();
    for (int k = 0; k < 3; ++k) {
        EXPECT_FLOAT_EQ(a[k], lo[k]) << "min axis " << k;
        EXPECT_FLOAT_EQ(b[k], hi[k]) << "max axis " << k;
    }
}

double area(const MeshModel& m)
{
    double sum = 0.0;
    for (const Triangle& t : m.faces) {
        const Vec3f n = cross(m.vertices[t[1]] - m.vertices[t[0]], m.vertices[t[2]] - m.vertices[t[0]]);
        sum += 0.5 * std::sqrt(double(dot(n, n)));
    }
    return sum;
}

const fixtures::Mesh kCube = fixtures::box({-1, 2, 3}, {4, 5, 10});

// An ASCII PLY header: x, y, z vertices, and faces whose corner count is a `count`.
std::string plyHeader(int vertices, int faces, const std::string& count = "uchar")
{
    return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertices) +
           "\nproperty float x\nproperty float y\nproperty float z\nelement face " + std::to_string(faces) +
           "\nproperty list " + count + " int vertex_indices\nend_header\n";
}

} // namespace

// --- dispatch -----------------------------------------------------------------

TEST(ImportDispatch, MissingFilesFoldersPipesAndNoExtensionGiveTheirMessages)
{
    TempDir dir;
    const std::string path = dir.path("nothing here.xyz");
    const Loaded r = load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "File not found: " + path);
    // A file without an extension gets an empty one, even in a folder that has one.
    std::filesystem::create_directory(dir.path("folder.stl"));
    for (const std::string& file : {dir.path("scan"), dir.path("folder.stl/scan")}) {
        fixtures::writeText(file, "solid x\nendsolid x\n");
        EXPECT_EQ(load(file).error, "Unsupported format: " + kSupported) << file;
    }
    // A folder named like a mesh fails cleanly.
    const std::string folder = dir.path("scan.stl");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(load(folder).error, "Cannot open a folder as a mesh: " + folder);
#ifdef __unix__
    // A named pipe would block the reader forever.
    const std::string pipe = dir.path("pipe.obj");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(load(pipe).error, "Not a regular file: " + pipe);
#endif
}

TEST(ImportDispatch, FailuresLeaveTheModelExactlyAsItWasSuccessStoresMeshCopyAndCaches)
{
    TempDir dir;
    const std::string good = dir.path("good.stl");
    fixtures::writeBinaryStl(good, kCube);
    MeshModel m;
    ASSERT_TRUE(loadMesh(m, good));
    m.repaired = true;
    const MeshModel before = m;

    std::filesystem::create_directory(dir.path("dir.ply"));
    fixtures::writeText(dir.path("garbage.stl"), "this is not a mesh\n");
    fixtures::writeText(dir.path("garbage.obj"), "hello\nf x y z\n");
    fixtures::writeText(dir.path("garbage.ply"), "ply\nformat ascii 1.0\nelement vertex 9\nproperty float x\nend_header\n1\n");
    fixtures::writeText(dir.path("garbage.step"), "ISO-10303-21;\nnonsense\n");
    fixtures::writeText(dir.path("garbage.3mf"), "not a zip archive");
    fixtures::writeText(dir.path("garbage.asc"), "1 2\n");
    fixtures::writeBinaryStl(dir.path("short.stl"), kCube, 13);
    fixtures::writeText(dir.path("unknown.abc"), "x");
    for (const char* name : {"missing.stl", "dir.ply", "garbage.stl", "garbage.obj", "garbage.ply", "garbage.step",
                             "garbage.3mf", "garbage.asc", "short.stl", "unknown.abc"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(loadMesh(m, dir.path(name), &error));
        EXPECT_FALSE(error.empty());
        fixtures::expectSameState(m, before);
    }
    // No error text wanted: still a clean failure.
    EXPECT_FALSE(loadMesh(m, dir.path("garbage.stl"), nullptr));
    fixtures::expectSameState(m, before);
    // Success stores the mesh, its copy and the caches.
    const std::string cubePath = dir.path("cube.stl");
    fixtures::writeBinaryStl(cubePath, kCube);
    MeshModel fresh;
    fresh.repaired = true;
    const std::uint64_t startRevision = fresh.geometryRevision;
    std::string untouched = "untouched";
    ASSERT_TRUE(loadMesh(fresh, cubePath, &untouched));
    EXPECT_EQ(untouched, "untouched");
    EXPECT_EQ(fresh.sourcePath, cubePath);
    EXPECT_FALSE(fresh.repaired);
    EXPECT_GT(fresh.geometryRevision, startRevision);
    EXPECT_EQ(fresh.loadedVertices, fresh.vertices);
    EXPECT_EQ(fresh.loadedFaces, fresh.faces);
    EXPECT_EQ(fresh.displayFaces, fresh.faces);
    EXPECT_EQ(fresh.sliceFaces, fresh.faces);
    expectBounds(fresh, {-1, 2, 3}, {4, 5, 10});
}

TEST(ImportDispatch, Utf8PathsWithSpacesReachEveryReader)
{
    TempDir dir;
    const std::string folder = dir.path("Größe Teil – Ω");
    std::filesystem::create_directory(folder);
    const std::string base = folder + "/scan ünïcødé 1";
    fixtures::writeBinaryStl(base + ".stl", kCube);
    fixtures::writeText(base + ".obj", fixtures::objCubeOfQuads(2.0f));
    fixtures::writeText(base + ".ply", fixtures::plyFile(kCube));
    fixtures::writeStepBox(base + ".step", 1, 2, 3);
    fixtures::write3mf(base + ".3mf", {{kCube, false}});
    fixtures::writeText(base + ".asc", fixtures::ascText(fixtures::spherePoints(500, 5.0f)));
    for (const char* ext : {".stl", ".obj", ".ply", ".step", ".3mf", ".asc"}) {
        const Loaded r = load(base + ext);
        EXPECT_TRUE(r.ok) << ext << ": " << r.error;
        EXPECT_TRUE(r.model.hasMesh()) << ext;
        EXPECT_EQ(r.model.sourcePath, base + ext);
    }
}

// --- poly data conversion ------------------------------------------------------------

TEST(ImportPolyData, MissingPartsGiveTheirMessagesAndOnlyValidTrianglesAreTaken)
{
    std::vector<Vec3f> v;
    std::vector<Triangle> f;
    std::string error;
    EXPECT_FALSE(polyDataToMesh(nullptr, v, f, &error));
    EXPECT_EQ(error, "VTK loader produced null polydata.");

    auto empty = vtkSmartPointer<vtkPolyData>::New();
    EXPECT_FALSE(polyDataToMesh(empty, v, f, &error));
    EXPECT_EQ(error, "No vertices were found in the mesh.");

    auto pointsOnly = vtkSmartPointer<vtkPolyData>::New();
    auto points = vtkSmartPointer<vtkPoints>::New();
    points->InsertNextPoint(0, 0, 0);
    pointsOnly->SetPoints(points);
    EXPECT_FALSE(polyDataToMesh(pointsOnly, v, f, &error));
    EXPECT_EQ(error, "No triangle faces were found in the mesh.");
    // Only valid three-point cells become triangles, in order.
    auto corners = vtkSmartPointer<vtkPoints>::New();
    corners->SetDataTypeToDouble();
    corners->InsertNextPoint(0.1, 0.2, 0.3);
    corners->InsertNextPoint(1.0 + 1e-12, 0, 0);
    corners->InsertNextPoint(0, 1, 0);
    corners->InsertNextPoint(1, 1, 0);
    auto polys = vtkSmartPointer<vtkCellArray>::New();
    const vtkIdType quad[4] = {0, 1, 3, 2}, past[3] = {0, 1, 4}, negative[3] = {-1, 1, 2}, first[3] = {2, 1, 0},
                    second[3] = {1, 3, 2};
    polys->InsertNextCell(4, quad);
    polys->InsertNextCell(3, first);
    polys->InsertNextCell(3, past);
    polys->InsertNextCell(3, negative);
    polys->InsertNextCell(3, second);
    auto polyData = vtkSmartPointer<vtkPolyData>::New();
    polyData->SetPoints(corners);
    polyData->SetPolys(polys);
    ASSERT_TRUE(polyDataToMesh(polyData, v, f, &error)) << error;
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0], (Vec3f{0.1f, 0.2f, 0.3f})); // doubles narrowed, point order kept
    EXPECT_EQ(v[1], (Vec3f{1, 0, 0}));
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], (Triangle{2, 1, 0})); // the cell's own point order
    EXPECT_EQ(f[1], (Triangle{1, 3, 2}));

    auto onlyBad = vtkSmartPointer<vtkCellArray>::New();
    onlyBad->InsertNextCell(4, quad);
    onlyBad->InsertNextCell(3, past);
    polyData->SetPolys(onlyBad);
    EXPECT_FALSE(polyDataToMesh(polyData, v, f, &error));
    EXPECT_EQ(error, "No valid triangle mesh data found.");
}

// --- STL ------------------------------------------------------------------------

TEST(ImportCube, EveryEncodingGivesTheSameMergedMeshWithItsExactGeometry)
{
    TempDir dir;
    fixtures::writeBinaryStl(dir.path("cube.stl"), kCube);
    fixtures::writeBinaryStl(dir.path("PART.STL"), kCube);  // upper-case extension
    fixtures::writeBinaryStl(dir.path("zero.stl"), kCube, 0); // a zero header count still reads every record
    fixtures::writeText(dir.path("ascii.stl"), fixtures::asciiStl(kCube));
    fixtures::writeText(dir.path("ascii.ply"), fixtures::plyFile(kCube));
    fixtures::writeText(dir.path("binary.ply"), fixtures::plyFile(kCube, {"binary_little_endian"}));
    const Loaded reference = load(dir.path("cube.stl"));
    ASSERT_TRUE(reference.ok) << reference.error;
    EXPECT_EQ(reference.model.vertices.size(), 8u);
    EXPECT_EQ(reference.model.faces.size(), 12u);
    expectBounds(reference.model, {-1, 2, 3}, {4, 5, 10});
    // Winding kept: outward triangles enclose +5 x 3 x 7.
    EXPECT_NEAR(fixtures::signedVolume(reference.model), 105.0, 1e-3);
    for (const char* name : {"PART.STL", "zero.stl", "ascii.stl", "ascii.ply", "binary.ply"}) {
        const Loaded r = load(dir.path(name));
        ASSERT_TRUE(r.ok) << name << ": " << r.error;
        EXPECT_EQ(r.model.vertices, reference.model.vertices) << name;
        EXPECT_EQ(r.model.faces, reference.model.faces) << name;
    }
}

TEST(ImportStl, TruncationIsReportedAndNonFiniteCoordinatesDropTheirTriangles)
{
    TempDir dir;
    fixtures::writeBinaryStl(dir.path("short.stl"), kCube, 13);
    EXPECT_EQ(load(dir.path("short.stl")).error,
              "Truncated binary STL: the header declares 13 triangles but the file holds 12.");
    fixtures::writeBinaryStl(dir.path("absurd.stl"), kCube, 0xFFFFFFFFLL);
    EXPECT_EQ(load(dir.path("absurd.stl")).error,
              "Truncated binary STL: the header declares 4294967295 triangles but the file holds 12.");
    // Cut in the middle of the last record.
    std::vector<unsigned char> bytes = fixtures::readBytes(dir.path("short.stl"));
    bytes.resize(84 + 50 * 11 + 30);
    bytes[80] = 12;
    fixtures::writeBytes(dir.path("cut.stl"), bytes);
    EXPECT_EQ(load(dir.path("cut.stl")).error,
              "Truncated binary STL: the header declares 12 triangles but the file holds 11.");
    // A NaN or infinite corner makes its triangle unusable; the vertex and
    // the triangle are removed, the rest of the mesh loads unchanged.
    fixtures::Mesh withNaN = kCube;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    withNaN.vertices.insert(withNaN.vertices.end(), {{nan, 0, 0}, {0, inf, 0}, {1, 1, 1}});
    withNaN.faces.insert(withNaN.faces.end(), {{8, 0, 1}, {9, 2, 3}, {10, 8, 4}});
    fixtures::writeBinaryStl(dir.path("nan.stl"), withNaN);
    const Loaded loaded = load(dir.path("nan.stl"));
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_EQ(loaded.model.faces.size(), 12u);
    for (const Vec3f& p : loaded.model.vertices)
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    for (const Triangle& t : loaded.model.faces)
        EXPECT_TRUE(t.inRange(loaded.model.vertices.size()));
    expectBounds(loaded.model, {-1, 2, 3}, {4, 5, 10});

    fixtures::Mesh allBroken;
    allBroken.vertices = {{nan, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    allBroken.faces = {{0, 1, 2}};
    fixtures::writeBinaryStl(dir.path("broken.stl"), allBroken);
    EXPECT_EQ(load(dir.path("broken.stl")).error, "No vertices were found in the mesh.");
}

// --- OBJ ------------------------------------------------------------------------

TEST(ImportObj, QuadsAreSplitIntoTwoTrianglesEach)
{
    TempDir dir;
    fixtures::writeText(dir.path("cube.obj"), fixtures::objCubeOfQuads(2.0f));
    const Loaded r = load(dir.path("cube.obj"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.model.vertices.size(), 8u);
    EXPECT_EQ(r.model.faces.size(), 12u);
    expectBounds(r.model, {0, 0, 0}, {2, 2, 2});
    EXPECT_NEAR(area(r.model), 24.0, 1e-4);                   // the quads are covered, not overlapped
    EXPECT_NEAR(fixtures::signedVolume(r.model), 8.0, 1e-4); // and keep their outward winding
}

// --- PLY ------------------------------------------------------------------------

// The reader splits text lines as C strings in a 4096-byte buffer: a longer
// line made it free memory twice. The native reader takes it; the pipeline,
// when a file falls back to it, is guarded by the pre-check.
TEST(ImportPly, LongLinesLoadAndThePipelinePrecheckRefusesThem)
{
    TempDir dir;
    const std::string longLine = "3 0 1 2" + std::string(4100, ' ') + "\n";
    fixtures::writeText(dir.path("long.ply"), plyHeader(3, 1) + "0 0 0\n1 0 0\n0 1 0\n" + longLine);
    EXPECT_EQ(load(dir.path("long.ply")).error, "");
    std::string error;
    EXPECT_FALSE(precheckPly(dir.path("long.ply"), &error));
    EXPECT_EQ(error, "Malformed PLY file: face 0 is longer than 4094 characters.");
}

// --- text files by table -----------------------------------------------------------

// A small text file, what it loads as (faces and area) or the error it gives.
struct TextCase {
    const char* name; // file name; the extension picks the reader
    std::string text;
    std::string error; // empty: loads
    std::size_t faces = 0;
    double area = 0.0;
};

std::string plyCorners(int n)
{
    std::string s = plyHeader(n, 1, "int");
    for (int i = 0; i < n; ++i)
        s += std::to_string(i) + " " + std::to_string(i % 7) + " 0\n";
    s += std::to_string(n);
    for (int i = 0; i < n; ++i)
        s += " " + std::to_string(i);
    return s + "\n";
}

const std::string kNoVertices = "No vertices were found in the mesh.";
const std::string kTriangle = "0 0 0\n1 0 0\n0 1 0\n";

const TextCase kTextCases[] = {
    {"part.XyZ", "whatever", "Unsupported format: .xyz" + kSupported},
    {"garbage.stl", "this is not an stl file\nat all\n", kNoVertices},
    {"empty.stl", "", kNoVertices},
    {"tiny.stl", "abc", kNoVertices},
    {"cut.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0", kNoVertices},
    {"two_corners.stl",
     "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\nendfacet\nendsolid t\n",
     kNoVertices},
    {"negative.obj", "v 0 0 0\nv 3 0 0\nv 0 4 0\nf -3 -2 -1\n", "", 1, 6.0},
    {"past_the_end.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", kNoVertices},
    {"some_past_the_end.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 1 2 99\nf -1 -2 -10\nf 0 1 2\nf 2 4 3\n", "", 2,
     1.0},
    {"lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2 3\np 1\n", kNoVertices},
    {"garbage.obj", "hello world\nf x y z\n", kNoVertices},
    {"quad.ply", plyHeader(4, 1) + "0 0 0\n2 0 0\n2 3 0\n0 3 0\n4 0 1 2 3\n", "", 2, 6.0},
    {"more.ply", plyHeader(10, 5) + "0 0 0\n1 0 0\n0 1 0\n1 1 0\n3 0 1 2\n3 1 3 2\n",
     "Malformed PLY file: the data ends in vertex 6 of 10 declared."},
    {"cut.ply", [] { const std::string full = fixtures::plyFile(kCube, {"binary_little_endian"});
                     return full.substr(0, full.size() - 7); }(),
     "Malformed PLY file: the data ends in face 11 of 12 declared."},
    {"huge.ply",
     "ply\nformat binary_little_endian 1.0\nelement vertex 1000000000\nproperty float x\nproperty float y\n"
     "property float z\nelement face 1000000000\nproperty list uchar int vertex_indices\nend_header\n",
     "Malformed PLY file: the data ends in vertex 0 of 1000000000 declared."},
    // Indices outside the vertex list drop their face (test_native_readers.cpp).
    {"blank.ply", plyHeader(3, 2) + kTriangle + "3 0 1 2\n\n", "Malformed PLY file: face 1 has too few values."},
    {"order.ply",
     "ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int vertex_indices\nelement vertex 3\n"
     "property float x\nproperty float y\nproperty float z\nend_header\n3 0 1 2\n" + kTriangle,
     "Malformed PLY file: faces come before the vertices."},
    {"corners.ply", plyCorners(300), "Malformed PLY file: face 0 has 300 corners (at most 255 are supported)."},
    {"type.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n1\n",
     "Malformed PLY file: unreadable property line."},
    {"open.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n",
     "Malformed PLY file: the header does not end."},
    // A NUL byte in a text line made the reader free memory twice.
    {"nul.ply", plyHeader(3, 1) + kTriangle + std::string("\0\0\0 3 0 1 2\n", 13),
     "Malformed PLY file: face 0 holds a NUL byte."},
    {"text.ply", "not a ply at all\n", kNoVertices},
};

TEST(ImportText, EachSmallFileLoadsOrGivesItsMessage)
{
    for (const TextCase& c : kTextCases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        fixtures::writeText(dir.path(c.name), c.text);
        const Loaded r = load(dir.path(c.name));
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(r.ok, c.error.empty());
        if (r.ok) {
            EXPECT_EQ(r.model.faces.size(), c.faces);
            EXPECT_NEAR(area(r.model), c.area, 1e-5);
        }
    }
}
