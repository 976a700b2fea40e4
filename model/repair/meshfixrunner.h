#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <QString>

#include <string>
#include <vector>

// Hand-over to the external repair program through temporary binary STL
// files: the program gets exactly two arguments, the input and the output
// path, and exits with 0 on success. While it runs it may write lines
// "progress N" (0..100) to standard error; every other line there is its
// report.

struct MeshFixResult {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;
    bool success = false;
    bool canceled = false;           // the caller cancelled; the program was killed
    std::string error;
    std::vector<std::string> report; // the program's own lines, in order
};

// The program next to the application: "meshfix_cli" before "meshfix" (with
// ".exe" on Windows). searchDir empty means the application's directory.
// Empty when none exists.
QString findMeshFixExecutable(const QString& searchDir = QString());

// Runs one repair at a time process-wide. Never touches the caller's arrays.
// The program's progress moves the stage; a cancel kills the program within
// about 50 ms and returns "Repair canceled." with canceled set.
MeshFixResult runMeshFix(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                         const QString& searchDir = QString(),
                         const ProgressStage& progress = ProgressStage(nullptr, 0, 100));

namespace meshfix {

// 80 zero header bytes, little-endian count, 50-byte records. Triangles with
// an index out of range are skipped.
bool writeBinaryStl(const QString& path, const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);

// Welds exactly coincident corners (coordinates at 1e-6 resolution). False on
// a short file or a zero count.
bool readBinaryStl(const QString& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

} // namespace meshfix
