#pragma once

#include "model/meshmodel.h"

#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

// Small writers for import fixtures; every test writes its files into its
// own temporary directory.
namespace fixtures {

struct Mesh {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
};

// Temporary directory removed at the end of the test; paths are UTF-8.
class TempDir {
public:
    TempDir();
    std::string path(const std::string& name) const; // name may contain '/'
    const std::string& root() const { return root_; }

private:
    QTemporaryDir dir_;
    std::string root_;
};

// Closed, outward-wound box from min to max: 8 vertices, 12 triangles.
Mesh box(Vec3f min, Vec3f max);

void writeText(const std::string& path, const std::string& text);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readBytes(const std::string& path);

void writeAsciiStl(const std::string& path, const Mesh& mesh);
// Binary STL with the given header count (by default the real one).
void writeBinaryStl(const std::string& path, const Mesh& mesh, std::int64_t declaredCount = -1);

// Cube as six quads, 1-based indices: "f a b c d".
std::string objCubeOfQuads(float size);

void writeAsciiPly(const std::string& path, const Mesh& mesh);
void writeBinaryPly(const std::string& path, const Mesh& mesh);

// STEP files through OpenCASCADE's writer.
void writeStepBox(const std::string& path, double dx, double dy, double dz);
void writeStepCylinder(const std::string& path, double radius, double height);
// Two boxes in one compound; the second translated by (offset, 0, 0).
void writeStepTwoBoxes(const std::string& path, double size, double offset);

struct ThreeMfObject {
    Mesh mesh;
    bool translatedBuildItem = false; // build item moved by (100, 0, 0)
};
// 3MF package through lib3mf's writer; objects in the given order.
void write3mf(const std::string& path, const std::vector<ThreeMfObject>& objects);

// Roughly even points on a sphere around the origin (golden-angle spiral),
// and the ASC text of a point list.
std::vector<Vec3f> spherePoints(int count, float radius);
std::string ascText(const std::vector<Vec3f>& points);

// Signed volume of a closed mesh (positive when wound outward).
double signedVolume(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);
double signedVolume(const MeshModel& model);

// Every member a load could touch, compared between two models.
void expectSameState(const MeshModel& actual, const MeshModel& expected);

} // namespace fixtures
