#pragma once

#include "model/mesh/meshtypes.h"

#include <string>
#include <vector>

// Readers that give, for the files they accept, exactly the arrays of the
// VTK pipeline (io/vtkpipeline.h) in a fraction of its time. A file with a
// construct they do not reproduce (damage, polygons with more than three
// corners, non-finite coordinates, an empty result) is left to the pipeline:
// they return false with the reason in why, and the caller runs VTK, which
// also gives the file's message. The pre-flight checks run before them.
bool readStlNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why);
bool readObjNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why);
// Also expands a "tristrips" element, which VTK's reader ignores.
bool readPlyNative(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                   std::string& why);
