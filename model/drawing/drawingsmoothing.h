#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"

#include <vector>

// Laplacian smoothing that keeps creases, corners and open borders, as the
// drawing runs it before extracting edges.
struct CreaseSmoothing {
    int iterations = 3;       // passes over all vertices
    double relaxation = 0.06; // share of the way to the neighbours' mean per pass
    double featureAngle = 35; // degrees between face normals that make a crease
    double edgeAngle = 35;    // degrees a crease may turn at a vertex and still slide along
};

// Moves every vertex of the triangles (out-of-range ones skipped) towards the
// mean of its neighbours, pass after pass, each move seeing the moves before
// it. A vertex on a crease (or a non-manifold edge) slides only along it,
// and stays put where the crease ends, branches or turns by more than
// edgeAngle; open-border vertices stay put. Same result as VTK's
// vtkSmoothPolyDataFilter with feature-edge smoothing on and boundary
// smoothing off, without its per-vertex lists, and with cancel polled.
// False when cancelled or there is nothing to smooth.
bool smoothKeepingCreases(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                          const CreaseSmoothing& settings, const ProgressStage& stage, std::vector<Vec3f>& outVertices,
                          std::vector<Triangle>& outFaces);
