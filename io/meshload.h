#pragma once

#include "model/common/progress.h"

#include <string>

class MeshModel;

// Reads a mesh file into model, choosing the importer by extension (UTF-8
// path). On success the model holds the file's mesh as loaded, with its
// caches built; on failure, or when progress is cancelled, the model is left
// exactly as it was and error (when given) receives one sentence.
bool loadMesh(MeshModel& model, const std::string& path, std::string* error = nullptr, Progress* progress = nullptr);
