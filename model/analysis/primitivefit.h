#pragma once

#include "model/mesh/meshmodel.h"

#include <string>

// Which simple shape describes the whole mesh best, by RMS deviation.
struct PrimitiveFit {
    std::string type = "none";  // "plane", "sphere", "cylinder" or "none"
    float residual = 1e30f;     // mm
    float radius = 0.0f;        // 0 for a plane
    Vec3f centre{0, 0, 0};      // vertex centroid
    Vec3f axis{0, 0, 1};        // plane normal or cylinder axis
};

// Over every working vertex; "none" without a mesh or below 10 vertices.
// A fixed number of passes over the vertices, nothing allocated per vertex.
PrimitiveFit fitPrimitive(const MeshModel& model);
