#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <vector>

// Small clean-up steps of a repair, on plain arrays.
namespace repairtools {

// Drops triangles with an index out of range, a repeated index, zero area or
// a corner set already used by an earlier triangle. Returns how many went.
std::size_t removeDegenerateAndDuplicateFaces(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

// Turns triangles so that neighbours across every two-triangle edge run the
// shared edge in opposite directions; a closed component is then turned to
// enclose positive volume. Returns the number of triangles flipped.
std::size_t orientConsistently(const std::vector<Vec3f>& vertices, std::vector<Triangle>& faces);

// Six times the enclosed volume, by the divergence theorem (closed meshes).
double signedVolume(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);

} // namespace repairtools
