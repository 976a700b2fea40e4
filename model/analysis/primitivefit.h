#pragma once

#include "model/mesh/meshmodel.h"

#include <string>

// Which simple shape describes the whole surface best, by RMS deviation.
struct PrimitiveFit {
    std::string type = "none";  // "plane", "sphere", "cylinder" or "none"
    float residual = 1e30f;     // mm
    float radius = 0.0f;        // 0 for a plane
    Vec3f centre{0, 0, 0};      // area centroid of the surface
    Vec3f axis{0, 0, 1};        // plane normal or cylinder axis
};

// Over area-weighted samples of the working triangles, so that a CAD
// tessellation (vertices only on rims and edges) and a dense scan of the same
// part give the same answer. A cylinder's radius and residual come from its
// round wall, not its end caps. "none" without a mesh or below 10 vertices.
// A fixed number of passes over the triangles, nothing allocated per triangle.
PrimitiveFit fitPrimitive(const MeshModel& model);

// The report the window shows and halvoran-cli info prints: residuals and
// directions to 4 decimals, lengths and coordinates to 2.
std::string primitiveReport(const PrimitiveFit& fit);
