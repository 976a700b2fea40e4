#pragma once

#include "model/common/progress.h"

#include <string>

class MeshModel;

struct LoadOptions {
    // Build the render mesh and the slicing list after reading. A caller that
    // aligns right away skips it: the alignment rebuilds both, and on a scan
    // of millions of triangles each build is a full pass.
    bool buildCaches = true;
};

// Reads a mesh file into model, choosing the importer by extension (UTF-8
// path). On success the model holds the file's mesh as loaded, with its
// caches built unless options say otherwise; on failure, or when progress is
// cancelled, the model is left exactly as it was and error (when given)
// receives one sentence.
bool loadMesh(MeshModel& model, const std::string& path, std::string* error = nullptr, Progress* progress = nullptr,
              const LoadOptions& options = {});
