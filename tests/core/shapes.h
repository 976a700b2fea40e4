#pragma once

#include "model/meshmodel.h"
#include "model/rotation.h"

#include <vector>

// Closed, outward-wound test solids built in memory.
namespace shapes {

// Axis-aligned box from (0,0,0) to size, each face split into n x n quads.
MeshModel box(Vec3f size, int n = 1);
// Cylinder of radius r along Z from z = 0 to height, with capped ends.
MeshModel cylinder(float radius, float height, int segments, int rings = 1);
// A single-sided flat rectangle in the XY plane (zero thickness).
MeshModel plate(float sx, float sy, int n);

// Moves every vertex (and the loaded copy) by p -> R p + t, then updateCaches.
void transform(MeshModel& model, const Rotation3& r, Vec3f t);

// Merges corners with identical coordinates (box() keeps them apart per side),
// so neighbouring triangles share their vertices.
void weldExact(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

// Signed volume of a closed mesh; flips sign under a mirror.
double signedVolume(const MeshModel& model);

} // namespace shapes
