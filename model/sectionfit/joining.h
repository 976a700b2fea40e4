#pragma once

#include "model/sectionfit/fitchain.h"
#include "model/sectionfit/fitentity.h"
#include "model/sectionfit/fitparams.h"
#include "model/sectionfit/runfit.h"

#include <vector>

// Turns the pieces of one chain into entities that meet exactly.
//
// 1. Tangency: where the section turns smoothly from one piece to the next,
//    arcs (largest first) are refitted to touch their already settled
//    neighbours; a refit is kept only when both pieces stay in tolerance.
// 2. Corners: the other junctions go to the crossing of the two carriers
//    nearest the break vertex, or to the vertex itself when they do not
//    cross near it.
// 3. Proof: every entity is checked both ways against the chain. An entity
//    that fails has its ends pinned to its break vertices and is refitted
//    through them; one that still fails is split at its worst vertex. Both
//    steps only ever add freedom, and a single chain segment between pinned
//    ends is the segment itself, so this ends with every entity in bound.
namespace sectionfit {

struct Piece {
    int first = 0;           // chain vertex where the piece starts
    int last = 0;            // and ends (> first)
    RunFit fit;              // its line or arc with free ends
    double snapRadius = 0.0; // > 0: radius to hold where the tolerance allows
};

std::vector<FitEntity> joinPieces(const FitChain& chain, std::vector<Piece> pieces, const SectionFitParams& params);

} // namespace sectionfit
