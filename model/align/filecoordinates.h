#pragma once

#include "model/mesh/meshmodel.h"

#include <string>

// Back to the file's own frame: the coordinates the scan was stored in,
// before any alignment.
enum class FileFrameRestore {
    Exact,   // the loaded positions, bit for bit; added vertices moved along
    Reloaded // the mesh as loaded: a repaired mesh keeps no link to the file
};

// While the working faces still begin with the loaded ones (alignment moves
// vertices and may reverse the winding, hole filling only appends), the
// loaded positions and faces come back exactly and what was added since
// follows the same rigid motion. Otherwise (after a repair) the loaded
// vertices and faces come back. Caches are rebuilt. False, model untouched, with "No mesh loaded." when there is no
// loaded mesh.
bool restoreFileCoordinates(MeshModel& model, FileFrameRestore* how = nullptr, std::string* error = nullptr);
