#pragma once

#include <QList>
#include <QPointF>

#include <vector>

// A section chain as the fitter sees it.
namespace sectionfit {

struct FitChain {
    // Consecutive points distinct; a closed chain repeats its first point last.
    std::vector<QPointF> pts;
    bool closed = false;

    int size() const { return int(pts.size()); }
    // Vertex i of a closed chain, taken cyclically over its distinct points.
    const QPointF& cyclic(int i) const;
};

// Splits polylines at non-finite points, drops repeated points, and marks a
// polyline closed when its last point repeats its first. Pieces with fewer
// than 2 points are dropped.
std::vector<FitChain> prepareChains(const QList<QList<QPointF>>& polylines);

// The closed chain started at its vertex start (same loop, same direction).
FitChain rotatedChain(const FitChain& chain, int start);

// The chain vertices from first - before to last + after, wrapping around a
// closed chain and clamped at the ends of an open one: the neighbourhood of
// a run that may be needed to cover its entity's ends.
std::vector<QPointF> runNeighbourhood(const FitChain& chain, int first, int last, double reach);

} // namespace sectionfit
