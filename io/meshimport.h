#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <string>
#include <vector>

class vtkPolyData;

// Importers behind MeshModel::load. Each reads one file into a flat triangle
// soup and returns true, or returns false with one message in error (when
// given) and leaves the output arrays in an unspecified state. Paths are UTF-8.
// Nothing throws.

bool importStl(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error);
bool importObj(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error);
bool importPly(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error);
// Runs the reader program (io/stepimport.h); a cancel kills it at once.
bool importStep(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                std::string* error, Progress* progress = nullptr);
bool import3mf(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error);
// Point cloud: readAscPoints (io/pointcloud.h), then the reconstruction in
// its own program within time and memory limits (io/cloudimport.h).
bool importAsc(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
               std::string* error, Progress* progress = nullptr);

// Points become vertices in order, 3-point polygons with valid ids become
// triangles, everything else is skipped. Shared by the VTK readers and the
// point-cloud reconstruction.
bool polyDataToMesh(vtkPolyData* polyData, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                    std::string* error);

// Removes vertices with a NaN or infinite coordinate together with every
// triangle that uses one, renumbering the rest. A scan with a few broken
// samples still loads, and no later stage (bounds, clustering, VTK locators)
// sees a non-finite coordinate. Returns the number of vertices removed.
std::size_t dropNonFiniteVertices(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

// Lower-cased extension of the file name, dot included; empty without one.
std::string lowerCaseExtension(const std::string& path);
