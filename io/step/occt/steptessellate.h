#pragma once

#include "io/step/stepstatus.h"
#include "model/mesh/meshtypes.h"

#include <functional>
#include <string>
#include <vector>

// The OpenCASCADE steps of a STEP load, run in this process: read, transfer,
// tessellate, collect. OpenCASCADE can crash on a damaged file, so the
// application runs this in the reader program (tools/stepreader) and
// importStep decodes its hand-off.

// Percent (0..100) after each step; may be empty.
using StepProgress = std::function<void(int percent)>;

// Nothing throws. The arrays may hold non-finite coordinates, which the
// caller drops.
StepReadStatus tessellateStep(const std::string& path, std::vector<Vec3f>& vertices, std::vector<Triangle>& faces,
                              const StepProgress& progress = {});
