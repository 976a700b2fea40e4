#pragma once

#include "model/repair/fairing/fairfill.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Surface_mesh.h>

#include <cstddef>
#include <functional>

// The halfedge mesh the repair program works on, and the hole fill on it.
// Only the repair program and the fairing library include this header: the
// rest of the code base sees plain arrays.
namespace fairing {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;
using SurfaceMesh = CGAL::Surface_mesh<Point>;

struct HoleFillReport {
    std::size_t holes = 0;      // border cycles found
    std::size_t faired = 0;     // closed with a faired patch
    std::size_t refinedOnly = 0; // closed, but too large to fair or the solve failed
    std::size_t fanned = 0;     // no triangulation found: closed with a centre fan
    std::size_t newFaces = 0;
    bool stopped = false;       // the stop check fired; later holes stay open
};

// Closes every border cycle of mesh, one at a time: refine-and-fair, else a
// fan around the rim's centroid. onHole(done, total) runs after each hole.
// Holes closed before a stop stay closed; the mesh is always valid.
HoleFillReport fillAllHoles(SurfaceMesh& mesh, const FairFillOptions& options, const StopCheck& stop = {},
                            const std::function<void(std::size_t, std::size_t)>& onHole = {});

} // namespace fairing
