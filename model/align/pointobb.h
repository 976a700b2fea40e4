#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>

// The oriented box of every step-th point, bit for bit what
// vtkOBBTree::ComputeOBB gives for those points copied into a double
// vtkPoints: the import pose depends on it, and loads are timed against it.
struct PointObb {
    double corner[3] = {};
    double maxAxis[3] = {}; // axes scaled by the box's extent along them
    double midAxis[3] = {};
    double minAxis[3] = {};
    double size[3] = {};    // covariance eigenvalues, largest first
};

// Reads the floats in place, in two ordered sums and one projection pass, on
// up to threads threads for the projection (its min and max need no order).
// Falls back to VTK itself for point sets where its line-distance step takes
// a special branch (points ~1e5 axis lengths out, non-finite sums, no
// point on one side of the mean), so the result never depends on which path ran. Needs count >= 1.
PointObb pointObb(const Vec3f* points, std::size_t count, std::size_t step, unsigned threads = 2);

// The same through vtkOBBTree on a vtkPoints copy: the reference.
PointObb pointObbVtk(const Vec3f* points, std::size_t count, std::size_t step);
