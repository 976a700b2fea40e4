#pragma once

#include "model/sectionfit/circlefit.h"
#include "model/sectionfit/linefit.h"

#include <QPointF>

#include <optional>

// Arcs refitted to touch their neighbours tangentially, and the points where
// neighbouring carriers cross at corners.
namespace sectionfit {

// The whole line or circle that carries a fitted entity.
struct Carrier {
    bool isLine = true;
    Line line;
    Circle circle;
};

struct TangentArc {
    Circle circle;
    QPointF startTouch; // on the start carrier, when there is one
    QPointF endTouch;   // on the end carrier, when there is one
};

// The least-squares arc through pts that touches startCarrier (near
// startNear) and/or endCarrier (near endNear); either may be null. free is
// the unconstrained fit: it fixes the sides the arc lies on and the start of
// the search. fixedRadius > 0 holds the radius (supported with at most one
// carrier, or two lines). Nothing when no valid arc of that family exists.
std::optional<TangentArc> fitTangentArc(const QPointF* pts, int count, const Circle& free,
                                        const Carrier* startCarrier, const QPointF& startNear,
                                        const Carrier* endCarrier, const QPointF& endNear, double fixedRadius);

// The crossing of two carriers nearest to near; nothing when they do not cross.
std::optional<QPointF> crossingNear(const Carrier& a, const Carrier& b, const QPointF& near);

} // namespace sectionfit
