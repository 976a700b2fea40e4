#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <vector>

// Checks and clean-up on the triangle soup read from the input file, before
// a halfedge mesh exists.
namespace repairprogram {

struct SoupCleanup {
    std::size_t invalid = 0;    // an index out of range, a corner repeated or not a finite point
    std::size_t duplicates = 0; // the same three corners as an earlier triangle, in either winding
};

// Drops invalid and duplicate triangles in place, keeping the first of each
// set of duplicates and the order of the rest.
SoupCleanup cleanSoup(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

// True when the triangles form an oriented surface a halfedge mesh can hold
// as it is: every directed edge used once, and the triangles around every
// vertex forming a single fan. Then no vertex needs splitting.
bool isOrientedManifold(std::size_t vertexCount, const std::vector<Triangle>& faces);

} // namespace repairprogram
