#pragma once

#include "model/common/progress.h"
#include "model/wireframe/longfeature.h"

class SliceCutter;

// One wireframe as "Export Wireframe DXF" writes it, for given controls; the
// window's defaults. halvoran-cli and the window share it so both write the
// same segments.
struct WireframeRequest {
    bool lattice = false;                 // X/Y lattice vectors, else long-feature polylines
    float edgeAngle = 30.0f;              // "Edge Angle:" in degrees
    int complexity = 70;                  // wire complexity slider, percent
    int cleanup = kDefaultWireCleanup;    // "Cleanup" combo index
    long keepTop = -1;                    // Keep N on the long-feature list; below 1 keeps all
};

// Lattice: the full lattice, its lanes, and the lanes the complexity shows.
// Long features: the ranked segments thinned for display, then Keep N.
// Empty when the mesh gives nothing or progress was cancelled (lattice only).
WireSegments wireframeSegments(MeshModel& model, const WireframeRequest& request, const SliceCutter* cutter = nullptr,
                               Progress* progress = nullptr);
