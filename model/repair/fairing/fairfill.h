#pragma once

#include "model/mesh/meshtypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Closing a hole with a patch that continues the surface around it: the rim
// is triangulated (a minimum-area search restricted to the rim's Delaunay
// triangles), the patch is refined until its triangles are sized like their
// neighbours, and the new vertices are placed by fairing, so the patch
// follows the surrounding curvature instead of spanning a flat lid.
namespace fairing {

struct FairFillOptions {
    // Vertex density of the patch relative to the rim's edge lengths; the
    // square root of 2 gives triangles sized like the rim's neighbours.
    double density = 1.4142135623730951;
    // Smoothness across the rim: 0 position only, 1 tangent (the patch
    // follows the curvature), 2 curvature as well (needs a wider rim).
    unsigned continuity = 1;
    // Rims with more vertices skip the exhaustive triangulation search,
    // whose table grows with the square of the rim and its time with the
    // cube; the Delaunay-restricted search still runs.
    std::size_t exhaustiveSearchLimit = 300;
    // Patches with more new vertices than this are refined but not faired:
    // the fairing solve grows faster than linearly and such holes are far
    // larger than scan dropouts.
    std::size_t fairingVertexLimit = 60000;
};

// Asked between holes and inside the triangulation search; true stops the
// work (cancel or an exhausted time budget).
using StopCheck = std::function<bool()>;

enum class FillStatus {
    Filled,    // closed, faired (or refined only, see faired)
    NotFilled, // nothing changed: no triangulation, a non-manifold rim, ...
    Stopped,   // the stop check fired; nothing changed
};

struct HolePatch {
    std::vector<Vec3f> newVertices;  // numbered after the input vertices
    std::vector<Triangle> triangles; // the closing triangles, wound like the surface
    bool faired = false;             // false: the new vertices stay where refinement put them
                                     // (too many to fair, or the solve failed)
};

// Fills the hole rimmed by `rim` inside a small mesh around it (vertices and
// faces of a few rings around the rim). The rim lists vertex indices in
// walking order, following the direction of the rim edges in their
// triangles. On Filled, out holds the new vertices and triangles; the input
// is never modified. why receives the reason for NotFilled.
FillStatus fillHole(const std::vector<Vec3f>& vertices, const std::vector<Triangle>& faces,
                    const std::vector<std::uint32_t>& rim, const FairFillOptions& options, HolePatch& out,
                    const StopCheck& stop = {}, std::string* why = nullptr);

} // namespace fairing
