// The native STL, OBJ and PLY readers against the VTK pipeline they replace:
// every file of a generated corpus read both ways must give identical arrays
// (bit for bit, so -0.0 and 0.0 stay apart), or the same message.

#include "io/meshimport.h"
#include "io/nativereaders.h"
#include "io/vtkpipeline.h"
#include "tests/core/fixtures/meshfixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

using fixtures::Mesh;
using fixtures::PlyLayout;
using fixtures::asciiStl;
using fixtures::num;
using fixtures::plyFile;
using fixtures::TempDir;

namespace {

// A sphere with jittered coordinates, then the awkward parts of real files:
// duplicated triangles, triangles that collapse when equal points merge,
// -0.0 beside 0.0, a loose open flap, and a point used only by a collapsed
// triangle.
Mesh awkwardMesh()
{
    Mesh m = fixtures::sphere(20.0f, 3);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
    for (Vec3f& v : m.vertices)
        v = v + Vec3f(jitter(rng), jitter(rng), jitter(rng));
    const auto n = std::uint32_t(m.vertices.size());
    m.faces.push_back(m.faces[5]);                 // duplicate
    m.faces.push_back(Triangle(3, 3, 9));          // collapsed
    m.vertices.push_back(Vec3f(50, 50, 50));       // used by a collapsed triangle only
    m.faces.push_back(Triangle(7, n, 7));
    m.vertices.push_back(Vec3f(-0.0f, 0.0f, -0.0f)); // n + 1
    m.vertices.push_back(Vec3f(0.0f, -0.0f, 0.0f));  // n + 2, equal to n + 1
    m.vertices.push_back(Vec3f(1.0f, 0.0f, 0.0f));
    m.vertices.push_back(Vec3f(0.0f, 1.0f, -0.0f));
    m.faces.push_back(Triangle(n + 1, n + 3, n + 4));
    m.faces.push_back(Triangle(n + 2, n + 4, n + 3));
    m.faces.push_back(Triangle(n + 1, n + 2, n + 3)); // collapses: n + 1 equals n + 2
    m.faces.push_back(m.faces[40]);
    return m;
}

// OBJ text: positions, then faces; optionally with texture coordinates and
// normals, comments and groups, and the given line end.
std::string objText(const Mesh& m, bool attributes, const std::string& eol = "\n")
{
    std::string s = "# corpus" + eol + "mtllib none.mtl" + eol + "o part" + eol;
    for (const Vec3f& v : m.vertices)
        s += "v " + num(v.x) + "  " + num(v.y) + "\t" + num(v.z) + eol;
    if (attributes)
        s += "vt 0 0" + eol + "vt 1 0" + eol + "vn 0 0 1" + eol + "g side" + eol + "usemtl steel" + eol + "s 1" + eol;
    for (const Triangle& t : m.faces) {
        s += "f";
        for (int k = 0; k < 3; ++k) {
            const std::string i = std::to_string(t[k] + 1);
            s += " " + (attributes ? i + "/" + std::to_string(k % 2 + 1) + "/1" : i);
        }
        s += " " + eol;
    }
    return s;
}

struct Case {
    const char* name; // file name; the extension picks the reader
    std::function<void(const std::string& path)> write;
    bool native;      // the native reader takes it (else the pipeline does)
};

std::vector<Case> corpus()
{
    static const Mesh awkward = awkwardMesh();
    static const Mesh cube = fixtures::box({-1, 2, 3}, {4, 5, 10});
    Mesh open = fixtures::sphere(5.0f, 2);
    open.faces.resize(open.faces.size() / 2);
    const std::string sample = std::string(HALVORAN_SOURCE_DIR) + "/samples/sample_part.stl";
    const auto text = [](std::string t) { return [t](const std::string& p) { fixtures::writeText(p, t); }; };
    const auto ply = [](PlyLayout l) {
        return [l](const std::string& p) { fixtures::writeText(p, plyFile(awkward, l)); };
    };
    return {
        {"awkward_binary.stl", [](const std::string& p) { fixtures::writeBinaryStl(p, awkward); }, true},
        {"awkward_ascii.stl", text(asciiStl(awkward, "\n", "  ")), true},
        {"awkward_crlf_tabs.stl", text(asciiStl(awkward, "\r\n", "\t \t")), true},
        {"open_binary.stl", [open](const std::string& p) { fixtures::writeBinaryStl(p, open); }, true},
        {"undercount.stl", [](const std::string& p) { fixtures::writeBinaryStl(p, cube, 5); }, true},
        {"two_solids.stl", text(asciiStl(cube, "\n", " ") + asciiStl(awkward, "\n", " ")), true},
        {"sample_part.stl", [sample](const std::string& p) { fixtures::writeBytes(p, fixtures::readBytes(sample)); },
         true},
        {"nan.stl",
         [](const std::string& p) {
             Mesh m = cube;
             m.vertices[2].y = std::nanf("");
             fixtures::writeBinaryStl(p, m);
         },
         false},
        {"two_corner_facet.stl",
         text("solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\nendfacet\nendsolid t\n"),
         false},
        {"all_collapsed.stl",
         [](const std::string& p) {
             fixtures::writeBinaryStl(p, Mesh{{Vec3f(0, 0, 0), Vec3f(1, 0, 0)}, {Triangle(0, 0, 1)}});
         },
         false},
        {"claims_2gb.stl", [](const std::string& p) { fixtures::writeBinaryStl(p, cube, 40000000); }, false},
        {"awkward.obj", text(objText(awkward, false)), true},
        {"attributes_crlf.obj", text(objText(awkward, true, "\r\n")), true},
        {"past_the_end.obj",
         text("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 1 2 99\nf 0 1 2\nf 2 4 3\nf 2 4 5\nv 0 0 0\n"), true},
        {"quads.obj", text(fixtures::objCubeOfQuads(2.0f)), false},
        {"pentagon.obj", text("v 0 0 0\nv 2 0 0\nv 3 1 0\nv 1 3 0\nv -1 1 0\nf 1 2 3 4 5\n"), false},
        {"negative.obj", text("v 0 0 0\nv 3 0 0\nv 0 4 0\nf -3 -2 -1\n"), false},
        {"mixed_forms.obj", text("v 0 0 0\nv 3 0 0\nv 0 4 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2//1 3/1/1\n"), false},
        {"lines.obj", text("v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2 3\n"), false},
        {"ascii.ply", ply({}), true},
        {"ascii_extras_crlf.ply", ply({"ascii", "float", "uchar", "int", true, "\r\n"}), true},
        {"binary_le.ply", ply({"binary_little_endian"}), true},
        {"binary_le_extras.ply", ply({"binary_little_endian", "float", "int", "int", true}), true},
        {"binary_be_double.ply", ply({"binary_big_endian", "double", "uchar", "uint"}), true},
        {"quads.ply",
         text("ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
              "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n2 0 0\n2 3 0\n0 3 0\n"
              "4 0 1 2 3\n"),
         false},
        {"short.ply", text(plyFile(cube, {}).substr(0, plyFile(cube, {}).size() - 9)), false},
        {"upper_case.stl",
         text("SOLID x\nFACET NORMAL 0 0 1\nOUTER LOOP\nVERTEX 0 0 0\nVERTEX 1 0 0\nVERTEX 0 1 0\nENDLOOP\nENDFACET\n"
              "ENDSOLID\n"),
         false},
    };
}

using Importer = bool (*)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string*);

struct Route {
    VtkMeshFormat format;
    Importer importer;
    bool (*native)(const std::string&, std::vector<Vec3f>&, std::vector<Triangle>&, std::string&);
};

Route routeFor(const std::string& name)
{
    const std::string ext = name.substr(name.rfind('.'));
    if (ext == ".obj")
        return {VtkMeshFormat::Obj, importObj, readObjNative};
    if (ext == ".ply")
        return {VtkMeshFormat::Ply, importPly, readPlyNative};
    return {VtkMeshFormat::Stl, importStl, readStlNative};
}

bool sameBits(const std::vector<Vec3f>& a, const std::vector<Vec3f>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3f)) == 0;
}

} // namespace

namespace {

// A 5 x 3 grid of points; each row pair as one strip a0 b0 a1 b1 ...
Mesh stripGrid(std::vector<std::vector<int>>& strips)
{
    Mesh m;
    for (int r = 0; r < 3; ++r)
        for (int i = 0; i < 5; ++i)
            m.vertices.push_back(Vec3f(float(i), float(r), 0.1f * float(i * r)));
    std::vector<int> both; // the two strips in one list, -1 between them
    for (int r = 0; r < 2; ++r) {
        if (r > 0)
            both.push_back(-1);
        for (int i = 0; i < 5; ++i) {
            const auto a = std::uint32_t(5 * r + i), b = a + 5;
            both.push_back(int(a));
            both.push_back(int(b));
            if (i < 4) {
                m.faces.push_back(Triangle(a, b, a + 1));
                m.faces.push_back(Triangle(a + 1, b, b + 1));
            }
        }
    }
    strips = {both, {0, 6, 1}}; // and a one-triangle strip
    m.faces.push_back(Triangle(0, 6, 1));
    return m;
}

} // namespace

TEST(NativeReaders, GiveThePipelinesArraysOnTheCorpusAndOnEquivalentFilesBeyondIt)
{
    TempDir dir;
    for (const Case& c : corpus()) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path(c.name);
        c.write(path);
        const Route route = routeFor(c.name);

        std::vector<Vec3f> vtkVertices, vertices;
        std::vector<Triangle> vtkFaces, faces;
        std::string vtkError, error, why;
        const bool vtkOk = importWithVtkPipeline(route.format, path, vtkVertices, vtkFaces, &vtkError);
        EXPECT_EQ(route.native(path, vertices, faces, why), c.native) << why;
        if (!c.native) {
            vertices.clear();
            faces.clear();
        }
        // The load path: native when taken, else the pipeline with its message.
        const bool ok = route.importer(path, vertices, faces, &error);
        EXPECT_EQ(ok, vtkOk);
        EXPECT_EQ(error, vtkError);
        if (!ok || !vtkOk)
            continue;
        EXPECT_GT(faces.size(), 0u);
        EXPECT_TRUE(sameBits(vertices, vtkVertices)) << vertices.size() << " vs " << vtkVertices.size();
        EXPECT_EQ(faces, vtkFaces);
    }
    // Where the native readers deliberately go beyond the pipeline, they give
    // what the pipeline gives for the equivalent file it can read.
    std::vector<std::vector<int>> strips;
    const Mesh grid = stripGrid(strips);
    PlyLayout binary;
    binary.format = "binary_little_endian";
    binary.extras = true;
    const std::string plyHead = "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                                "property float z\nelement face 3\nproperty list uchar int vertex_indices\n"
                                "end_header\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n";
    const std::string objHead = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvn 0 0 1\n";
    struct Departure {
        const char* name;
        std::string text;       // read natively
        std::string equivalent; // read by the pipeline
    };
    const Departure departures[] = {
        {"strips.ply", plyFile(grid, {}, strips), plyFile(grid, {})},
        {"strips_binary.ply", plyFile(grid, binary, strips), plyFile(grid, binary)},
        {"face_past_the_end.ply", plyHead + "3 0 1 2\n3 1 3 9\n3 1 3 2\n",
         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 2\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n"
         "3 0 1 2\n3 1 3 2\n"},
        {"negative_face_index.ply", plyHead + "3 0 1 2\n3 1 -1 2\n3 1 3 2\n",
         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 2\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n"
         "3 0 1 2\n3 1 3 2\n"},
        {"texture_past_the_end.obj", objHead + "f 1/1/1 2/99/1 3/1/1\nf 2/1/1 4/1/7 3/1/1\n",
         objHead + "f 1 2 3\nf 2 4 3\n"},
        {"vertex_past_the_end_with_normals.obj", objHead + "f 1//1 2//1 3//1\nf 2//1 4//1 9//1\n",
         objHead + "f 1 2 3\n"},
    };
    for (const Departure& d : departures) {
        SCOPED_TRACE(d.name);
        const std::string path = dir.path(d.name), equivalent = dir.path(std::string("vtk_") + d.name);
        fixtures::writeText(path, d.text);
        fixtures::writeText(equivalent, d.equivalent);
        const Route route = routeFor(d.name);
        std::vector<Vec3f> vtkVertices, vertices;
        std::vector<Triangle> vtkFaces, faces;
        std::string vtkError, error;
        ASSERT_TRUE(importWithVtkPipeline(route.format, equivalent, vtkVertices, vtkFaces, &vtkError)) << vtkError;
        ASSERT_TRUE(route.importer(path, vertices, faces, &error)) << error;
        EXPECT_TRUE(sameBits(vertices, vtkVertices));
        EXPECT_EQ(faces, vtkFaces);
    }
}


