#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

// The working mesh as a file other programs open: binary STL, binary PLY,
// OBJ or 3MF. Coordinates are written as they are (millimetres), triangles
// in their own winding; a triangle with an index out of range is left out,
// and so is every vertex no written triangle uses. 3MF also leaves out
// triangles that repeat a corner, which the format forbids.
enum class MeshFileFormat { Stl, Ply, Obj, ThreeMf };

struct MeshFileType {
    MeshFileFormat format;
    const char* name;   // "STL"
    const char* suffix; // "stl"
    const char* filter; // the save dialog's filter line
};

// In the order the save dialog lists them.
inline constexpr MeshFileType kMeshFileTypes[] = {
    {MeshFileFormat::Stl, "STL", "stl", "Binary STL (*.stl)"},
    {MeshFileFormat::Ply, "PLY", "ply", "Binary PLY (*.ply)"},
    {MeshFileFormat::Obj, "OBJ", "obj", "OBJ (*.obj)"},
    {MeshFileFormat::ThreeMf, "3MF", "3mf", "3MF (*.3mf)"},
};

const MeshFileType& meshFileType(MeshFileFormat format);
// The type named by the path's extension, any case; nullptr for none.
const MeshFileType* meshFileTypeForPath(const QString& path);

// Writes the file atomically: it appears complete or not at all, and an
// existing file stays as it was when writing fails or is cancelled.
// progress is asked with the number of triangles written so far, every
// 65,536 triangles; false cancels ("Export canceled."). On failure error
// holds the reason; triangles receives the count written.
bool writeMeshFile(const QString& path, MeshFileFormat format, const std::vector<Vec3f>& vertices,
                   const std::vector<Triangle>& faces, std::string* error = nullptr,
                   std::size_t* triangles = nullptr, const ItemProgress& progress = {});

namespace meshwriter {

// The triangles that will be written and the vertices they use, renumbered
// in order of first use.
struct Compacted {
    std::vector<std::uint32_t> newIndex; // per input vertex; UINT32_MAX when unused
    std::vector<std::uint32_t> used;     // input index of each output vertex
    std::size_t triangles = 0;
};
Compacted compact(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);

// The whole 3MF package in memory (lib3mf writes to a buffer).
bool threeMfBytes(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces, const Compacted& used,
                  std::vector<unsigned char>& bytes, std::string& error, const ItemProgress& progress);

} // namespace meshwriter
