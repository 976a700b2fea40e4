#pragma once

#include "model/common/progress.h"
#include "model/sectionfit/fitentity.h"
#include "model/sectionfit/fitparams.h"

#include <QList>
#include <QPointF>

#include <vector>

// Turns chained section polylines into lines, arcs and whole circles.
//
// Guarantees, for every chain, on the true geometry (segments, not samples):
// - every point of the chain lies within the tolerance of the chain's entities,
//   and every point of every entity within the tolerance of the chain;
// - consecutive entities share their end points exactly (the same doubles),
//   and a closed chain's last entity ends where its first begins.
// Within those, it uses as few entities as it can find (a minimum-count
// segmentation over the chain's vertices), makes lines and arcs tangent where
// the section turns smoothly, and snaps near-axis lines and near-equal radii
// when the bound still holds.

namespace sectionfit {

struct FittedChain {
    std::vector<FitEntity> entities;
    bool closed = false;
    double maxDeviation = 0.0;
};

struct FitResult {
    std::vector<FittedChain> chains; // in input order; chains with no length are left out
    int lines = 0;
    int arcs = 0;
    int circles = 0;
    double maxDeviation = 0.0; // largest entity deviation over all chains
    bool canceled = false;     // when set, chains is empty
};

// A polyline is closed when its last point repeats its first (as the section
// chaining writes loops). Non-finite points split a polyline; repeated points
// are dropped. A tolerance that is not finite and positive gives an empty
// result. Polls progress once per chain and inside long chains; when
// cancelled it returns an empty result with canceled set.
FitResult fitSectionChains(const QList<QList<QPointF>>& polylines, const SectionFitParams& params,
                           Progress* progress = nullptr);

} // namespace sectionfit
