#pragma once

#include "model/mesh/meshmodel.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Long-feature wireframe: the mesh's creases and open borders chained into
// long polylines, simplified, ranked longest first, then thinned for display.

using WireSegments = std::vector<MeshModel::SliceSegment3D>;

// Fixed limits of the builder.
struct LongFeatureLimits {
    float minAngle = 1.0f;                 // edge angle is clamped to 1..85 degrees
    float maxAngle = 85.0f;
    std::size_t maxPolylines = 2600;       // emitted longest first
    std::size_t maxSegments = 26000;       // checked after every polyline
    std::size_t maxFallbackEdges = 24000;  // raw edges when no polyline is long enough
    int maxCollinearRemovals = 20000;      // per polyline
};

// Diagonal of the mesh's bounding box, the scale of every length limit here.
double boxDiagonal(const MeshModel& model);

// What longFeatureSegments were built from; angle -1 means never built.
struct LongFeatureKey {
    bool valid = false;
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    float angle = -1.0f;
    bool matches(const MeshModel& model, float edgeAngle) const;
    static LongFeatureKey of(const MeshModel& model, float edgeAngle);
};

// Builds the ranked long-feature segments from the feature edges at the angle
// (cached in the model). Falls back to the longest raw feature edges when no
// polyline reaches the minimum length; empty only when the mesh has none.
WireSegments buildLongFeatureSegments(MeshModel& model, float edgeAngle, const LongFeatureLimits& limits = {});

// Cleanup modes of the "Cleanup" combo, by index.
enum class WireCleanup { Balanced = 0, CadClean = 1, Aggressive = 2 };
inline constexpr int kDefaultWireCleanup = int(WireCleanup::CadClean);
// Target factor of a cleanup index (clamped to the three modes).
double wireCleanupFactor(int cleanupIndex);
// The displayed segment target for complexity fraction c (not clamped here)
// and a cleanup index.
long longFeatureDisplayTarget(double c, int cleanupIndex);

// The displayed subset and, per entry, its index into the source list.
struct LongFeatureDisplay {
    WireSegments segments;
    std::vector<std::uint32_t> sourceIndex;
};
// Thins the source by complexity (percent) and cleanup: a minimum length
// that grows with cleanup, a stride when the source is far over the target.
// boxDiagonal is the mesh's bounding-box diagonal.
LongFeatureDisplay selectLongFeaturesForDisplay(const WireSegments& source, double boxDiagonal, int complexity,
                                                int cleanupIndex);
// Keeps the first count entries (Keep N); true when something was removed.
bool keepFirstLongFeatures(LongFeatureDisplay& display, std::size_t count);

// How many long-feature segments the lattice view draws over the lattice.
std::size_t latticeFeatureOverlayCount(std::size_t available, int complexity);
