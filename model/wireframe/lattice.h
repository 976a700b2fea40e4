#pragma once

#include "model/common/progress.h"
#include "model/mesh/meshmodel.h"

#include <cstdint>
#include <vector>

// The edge-to-edge wireframe: axis cuts perpendicular to X and to Y at fixed
// full density, grouped into lanes so that thinning is a cheap selection.

using LatticeSegments = std::vector<MeshModel::SliceSegment3D>;
using LatticeLane = std::vector<std::uint32_t>; // indices into the segment list

struct LatticeLanes {
    std::vector<LatticeLane> alongX; // segments running along X, by ascending Y
    std::vector<LatticeLane> alongY; // segments running along Y, by ascending X
    bool empty() const { return alongX.empty() && alongY.empty(); }
};

// Full-density lattice of the mesh; reads the snapshot only (cuts go through a
// private copy that shares its arrays). The cuts use cutter when it serves the
// snapshot's geometry, else one built here. Empty for an empty or degenerate
// mesh, and when progress is cancelled (checked before every cut).
LatticeSegments computeLatticeSegments(const MeshModel& snapshot, const SliceCutter* cutter = nullptr,
                                       Progress* progress = nullptr);

// Scattered crease edges turned into long straight lines parallel to X or Y.
LatticeSegments dominantFeatureLines(const LatticeSegments& featureEdges);

// Groups the segments into lanes and cleans every lane. On success replaces
// segments and lanes and returns true; otherwise leaves both untouched.
// boxMin/boxMax are the corners of the mesh the lattice came from.
bool buildLatticeLanes(LatticeSegments& segments, LatticeLanes& lanes, const Vec3f& boxMin, const Vec3f& boxMax);

// Lane spacing in mm the complexity slider (10..100) asks for.
double latticeLaneSpacing(int complexity);

// The lanes the complexity value shows, at most the segment budget; fills
// displayToLattice with the lattice index of every displayed segment.
LatticeSegments selectLatticeForDisplay(const LatticeSegments& segments, const LatticeLanes& lanes,
                                        const Vec3f& boxMin, const Vec3f& boxMax, int complexity,
                                        std::vector<std::uint32_t>& displayToLattice);
