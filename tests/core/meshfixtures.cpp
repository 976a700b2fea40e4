#include "meshfixtures.h"

#include "io/fileaccess.h"

// OpenCASCADE 7.6 headers still derive from the deprecated std::iterator.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Writer.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Trsf.hxx>
#pragma GCC diagnostic pop

#include <Model/COM/NMR_DLLInterfaces.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fixtures {

TempDir::TempDir()
{
    if (!dir_.isValid())
        throw std::runtime_error("cannot create a temporary directory");
    root_ = dir_.path().toStdString();
}

std::string TempDir::path(const std::string& name) const
{
    return root_ + "/" + name;
}

Mesh box(Vec3f a, Vec3f b)
{
    Mesh m;
    for (int i = 0; i < 8; ++i)
        m.vertices.emplace_back(i & 1 ? b.x : a.x, i & 2 ? b.y : a.y, i & 4 ? b.z : a.z);
    // Two outward triangles per side, corners numbered by (x, y, z) bits.
    const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                       {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        m.faces.emplace_back(q[0], q[1], q[2]);
        m.faces.emplace_back(q[0], q[2], q[3]);
    }
    return m;
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(pathFromUtf8(path), std::ios::binary);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(pathFromUtf8(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<unsigned char> readBytes(const std::string& path)
{
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

namespace {

Vec3f normalOf(const Mesh& m, const Triangle& t)
{
    const Vec3f a = m.vertices[t[0]], b = m.vertices[t[1]], c = m.vertices[t[2]];
    Vec3f n = cross(b - a, c - a);
    const float len = std::sqrt(dot(n, n));
    return len > 0 ? n * (1.0f / len) : n;
}

template <class T>
void put(std::vector<unsigned char>& out, T value)
{
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

void writeStep(const std::string& path, const TopoDS_Shape& shape)
{
    STEPControl_Writer writer;
    if (writer.Transfer(shape, STEPControl_AsIs) != IFSelect_RetDone || writer.Write(path.c_str()) != IFSelect_RetDone)
        throw std::runtime_error("cannot write STEP " + path);
}

void ok3mf(LIB3MFRESULT result, const char* what)
{
    if (result != LIB3MF_OK)
        throw std::runtime_error(std::string("lib3mf: ") + what);
}

} // namespace

void writeAsciiStl(const std::string& path, const Mesh& mesh)
{
    std::ostringstream s;
    s.precision(9);
    s << "solid fixture\n";
    for (const Triangle& t : mesh.faces) {
        const Vec3f n = normalOf(mesh, t);
        s << "  facet normal " << n.x << ' ' << n.y << ' ' << n.z << "\n    outer loop\n";
        for (int k = 0; k < 3; ++k) {
            const Vec3f p = mesh.vertices[t[k]];
            s << "      vertex " << p.x << ' ' << p.y << ' ' << p.z << '\n';
        }
        s << "    endloop\n  endfacet\n";
    }
    s << "endsolid fixture\n";
    writeText(path, s.str());
}

void writeBinaryStl(const std::string& path, const Mesh& mesh, std::int64_t declaredCount)
{
    std::vector<unsigned char> out(80, ' ');
    const char title[] = "binary fixture";
    std::memcpy(out.data(), title, sizeof title - 1);
    put(out, std::uint32_t(declaredCount < 0 ? std::int64_t(mesh.faces.size()) : declaredCount));
    for (const Triangle& t : mesh.faces) {
        const Vec3f n = normalOf(mesh, t);
        for (float f : {n.x, n.y, n.z})
            put(out, f);
        for (int k = 0; k < 3; ++k)
            for (float f : {mesh.vertices[t[k]].x, mesh.vertices[t[k]].y, mesh.vertices[t[k]].z})
                put(out, f);
        put(out, std::uint16_t(0));
    }
    writeBytes(path, out);
}

std::string objCubeOfQuads(float size)
{
    std::ostringstream s;
    s << "# cube of quads\n";
    for (int i = 0; i < 8; ++i)
        s << "v " << (i & 1 ? size : 0.0f) << ' ' << (i & 2 ? size : 0.0f) << ' ' << (i & 4 ? size : 0.0f) << '\n';
    s << "f 1 3 4 2\nf 5 6 8 7\nf 1 2 6 5\nf 3 7 8 4\nf 1 5 7 3\nf 2 4 8 6\n";
    return s.str();
}

void writeAsciiPly(const std::string& path, const Mesh& mesh)
{
    std::ostringstream s;
    s.precision(9);
    s << "ply\nformat ascii 1.0\ncomment fixture\nelement vertex " << mesh.vertices.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << mesh.faces.size()
      << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (const Vec3f& v : mesh.vertices)
        s << v.x << ' ' << v.y << ' ' << v.z << '\n';
    for (const Triangle& t : mesh.faces)
        s << "3 " << t[0] << ' ' << t[1] << ' ' << t[2] << '\n';
    writeText(path, s.str());
}

void writeBinaryPly(const std::string& path, const Mesh& mesh)
{
    std::ostringstream h;
    h << "ply\nformat binary_little_endian 1.0\nelement vertex " << mesh.vertices.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << mesh.faces.size()
      << "\nproperty list uchar int vertex_indices\nend_header\n";
    const std::string header = h.str();
    std::vector<unsigned char> out(header.begin(), header.end());
    for (const Vec3f& v : mesh.vertices)
        for (float f : {v.x, v.y, v.z})
            put(out, f);
    for (const Triangle& t : mesh.faces) {
        put(out, std::uint8_t(3));
        for (int k = 0; k < 3; ++k)
            put(out, std::int32_t(t[k]));
    }
    writeBytes(path, out);
}

void writeStepBox(const std::string& path, double dx, double dy, double dz)
{
    writeStep(path, BRepPrimAPI_MakeBox(dx, dy, dz).Shape());
}

void writeStepCylinder(const std::string& path, double radius, double height)
{
    writeStep(path, BRepPrimAPI_MakeCylinder(radius, height).Shape());
}

void writeStepTwoBoxes(const std::string& path, double size, double offset)
{
    const TopoDS_Shape first = BRepPrimAPI_MakeBox(size, size, size).Shape();
    gp_Trsf move;
    move.SetTranslation(gp_Vec(offset, 0, 0));
    const TopoDS_Shape second = BRepBuilderAPI_Transform(first, move, Standard_True).Shape();
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    builder.Add(compound, first);
    builder.Add(compound, second);
    writeStep(path, compound);
}

void write3mf(const std::string& path, const std::vector<ThreeMfObject>& objects)
{
    using namespace NMR;
    PLib3MFModel* model = nullptr;
    ok3mf(lib3mf_createmodel(&model), "createmodel");
    for (const ThreeMfObject& o : objects) {
        PLib3MFModelMeshObject* mesh = nullptr;
        ok3mf(lib3mf_model_addmeshobject(model, &mesh), "addmeshobject");
        std::vector<MODELMESHVERTEX> v(o.mesh.vertices.size());
        for (std::size_t i = 0; i < v.size(); ++i) {
            v[i].m_fPosition[0] = o.mesh.vertices[i].x;
            v[i].m_fPosition[1] = o.mesh.vertices[i].y;
            v[i].m_fPosition[2] = o.mesh.vertices[i].z;
        }
        std::vector<MODELMESHTRIANGLE> t(o.mesh.faces.size());
        for (std::size_t i = 0; i < t.size(); ++i)
            for (int k = 0; k < 3; ++k)
                t[i].m_nIndices[k] = o.mesh.faces[i][k];
        ok3mf(lib3mf_meshobject_setgeometry(mesh, v.data(), DWORD(v.size()), t.data(), DWORD(t.size())),
              "setgeometry");
        MODELTRANSFORM transform = {};
        for (int r = 0; r < 3; ++r)
            transform.m_fFields[r][r] = 1.0f;
        transform.m_fFields[0][3] = o.translatedBuildItem ? 100.0f : 0.0f;
        PLib3MFModelBuildItem* item = nullptr;
        ok3mf(lib3mf_model_addbuilditem(model, mesh, &transform, &item), "addbuilditem");
        lib3mf_release(item);
        lib3mf_release(mesh);
    }
    PLib3MFModelWriter* writer = nullptr;
    ok3mf(lib3mf_model_querywriter(model, "3mf", &writer), "querywriter");
    ok3mf(lib3mf_writer_writetofileutf8(writer, path.c_str()), "writetofile");
    lib3mf_release(writer);
    lib3mf_release(model);
}

std::vector<Vec3f> spherePoints(int count, float radius)
{
    std::vector<Vec3f> p;
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    for (int i = 0; i < count; ++i) {
        const double z = 1.0 - 2.0 * (i + 0.5) / count;
        const double r = std::sqrt(1.0 - z * z);
        p.emplace_back(float(radius * r * std::cos(golden * i)), float(radius * r * std::sin(golden * i)),
                       float(radius * z));
    }
    return p;
}

std::string ascText(const std::vector<Vec3f>& points)
{
    std::ostringstream s;
    s.precision(9);
    for (const Vec3f& p : points)
        s << p.x << ' ' << p.y << ' ' << p.z << '\n';
    return s.str();
}

double signedVolume(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces)
{
    double sum = 0.0;
    for (const Triangle& t : faces) {
        if (!t.inRange(vertices.size()))
            continue;
        const Vec3f a = vertices[t[0]], b = vertices[t[1]], c = vertices[t[2]];
        sum += double(dot(a, cross(b, c)));
    }
    return sum / 6.0;
}

double signedVolume(const MeshModel& model)
{
    return signedVolume(model.vertices.vec(), model.faces.vec());
}

void expectSameState(const MeshModel& actual, const MeshModel& expected)
{
    EXPECT_EQ(actual.vertices, expected.vertices);
    EXPECT_EQ(actual.faces, expected.faces);
    EXPECT_EQ(actual.loadedVertices, expected.loadedVertices);
    EXPECT_EQ(actual.loadedFaces, expected.loadedFaces);
    EXPECT_EQ(actual.displayVertices, expected.displayVertices);
    EXPECT_EQ(actual.displayFaces, expected.displayFaces);
    EXPECT_EQ(actual.sliceFaces, expected.sliceFaces);
    EXPECT_EQ(actual.sourcePath, expected.sourcePath);
    EXPECT_EQ(actual.geometryRevision, expected.geometryRevision);
    EXPECT_EQ(actual.repaired, expected.repaired);
}

} // namespace fixtures
