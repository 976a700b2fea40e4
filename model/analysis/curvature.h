#pragma once

#include "model/mesh/meshmodel.h"

#include <vector>

// Umbrella curvature per vertex of the render mesh (the full mesh when there
// is none): the length of the mean offset to the 1-ring neighbours, scaled so
// the largest is 1. Empty without a mesh.
std::vector<float> computeCurvature(const MeshModel& model);
