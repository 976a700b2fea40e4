#pragma once

#include "model/repair/meshfixrunner.h"
#include "model/mesh/meshtypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Open boundary loops of a triangle mesh and their closing: either by handing
// a small patch around the loop to the external repair program or by
// triangulating the loop itself.
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

// The triangles within a few rings of the loop as a small mesh.
struct LoopPatch {
    std::vector<Vec3f> vertices;
    std::vector<Triangle> faces;              // local indices
    std::vector<std::uint32_t> localToGlobal; // per local vertex
    std::vector<std::size_t> faceIndices;     // the faces' positions in the whole mesh
};

// Repairs a patch (the external program in production).
using PatchRepair = std::function<MeshFixResult(const std::vector<Vec3f>&, const std::vector<Triangle>&)>;

struct FillStats {
    std::size_t patched = 0;      // closed through the repair program
    std::size_t triangulated = 0; // closed by triangulating the loop
    std::size_t skipped = 0;      // under 3 vertices or out of range
};

// Fills every hole whose index is not in keepOpen, in list order. Without a
// repair (or when it fails or leaves more boundary than it got) the loop is
// triangulated directly. progress runs from 5 towards 90.
bool fillHoles(std::vector<Vec3f>& vertices, std::vector<Triangle>& faces, const std::vector<Loop>& holeList,
               const std::set<std::uint32_t>& keepOpen, const PatchRepair& repair, std::string* error = nullptr,
               std::atomic<int>* progress = nullptr, FillStats* stats = nullptr);

} // namespace holes
