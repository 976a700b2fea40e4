#pragma once

#include "model/mesh/meshmodel.h"

#include <vector>

// Chains loose 3D segments into polylines: end points within the weld
// tolerance become one node; open chains run between nodes whose degree is
// not 2 (in node order), then the closed loops that remain are traced. A
// closed loop repeats its first point at the end. Segments whose two ends
// weld into one node are skipped.
std::vector<std::vector<Vec3f>> chainFeatureEdges(const std::vector<MeshModel::SliceSegment3D>& edges,
                                                  double weldTolerance);
