#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshtypes.h"
#include "model/repair/fairing/fairfill.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Open boundary loops of a triangle mesh and their closing: a faired patch
// that follows the surface around the loop, or the loop triangulated flat.
namespace holes {

// Vertex indices in walking order; edges are (v[i], v[(i + 1) % n]). The
// order follows the boundary edges' direction in their triangles, so a fill
// that reverses it matches the surrounding winding.
using Loop = std::vector<std::uint32_t>;

// Edges used by exactly one triangle (triangles with an index out of range
// or a repeated index are ignored), walked into simple closed loops. A loop
// passing a vertex twice is split there; chains that do not close (possible
// only next to non-manifold edges) are dropped.
std::vector<Loop> findBoundaryLoops(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces);

// Edges used by exactly one valid triangle.
std::size_t countBoundaryEdges(const std::vector<Triangle>& faces, std::size_t vertexCount);

// Closes the loop with triangles wound against its walking order. Ear
// clipping in the plane of the loop's mean normal gives n - 2 triangles; a
// flat or stuck loop gets a fan from its centroid, appended to vertices.
// Returns the number of triangles appended; loops under 3 vertices add none.
std::size_t triangulateLoop(std::vector<Vec3f>& vertices, const Loop& loop, std::vector<Triangle>& out);

struct FillOptions {
    // Close each hole with a faired patch that follows the surrounding
    // surface; off, or where fairing cannot close a hole, the loop is
    // triangulated flat.
    bool fair = true;
    fairing::FairFillOptions fairing;
    // Rings of triangles around the loop handed to the fairing: tangent
    // continuity fixes two rings of vertices, and the weights at the second
    // ring read the triangles of the third.
    int rings = 3;
};

struct FillStats {
    std::size_t faired = 0;       // closed by a patch that follows the surface
    std::size_t triangulated = 0; // closed by triangulating the loop itself
    std::size_t skipped = 0;      // under 3 vertices or out of range
};

// Fills every hole whose index is not in keepOpen, in list order, appending
// vertices and triangles (existing ones keep their indices). progress runs
// from 5 towards 90 and is polled between holes and inside a hole's
// triangulation search. A cancel returns false with "Hole filling
// canceled." and both arrays as they were.
bool fillHoles(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, const std::vector<Loop>& holeList,
               const std::set<std::uint32_t>& keepOpen, const FillOptions& options = {}, std::string* error = nullptr,
               Progress* progress = nullptr, FillStats* stats = nullptr);

} // namespace holes
