#pragma once

#include "model/sectionfit/circlefit.h"
#include "model/sectionfit/fitentity.h"
#include "model/sectionfit/fitparams.h"
#include "model/sectionfit/linefit.h"

#include <QPointF>

#include <limits>

// One line or one arc fitted to a run of chain vertices, with free ends: the
// entity ends where the run's end vertices project onto it. With free ends
// the chain-to-entity deviation bounds the other direction too: the run is a
// continuous path whose projection (or angle about the centre) sweeps the
// whole entity, so every entity point has a run point on its own normal.
namespace sectionfit {

struct RunFit {
    bool valid = false;
    FitEntity entity;
    double deviation = std::numeric_limits<double>::infinity();
    Line line;     // the fitted line (Line)
    Circle circle; // the fitted circle (Arc)
};

// Signed angle the polyline turns through about c, summed segment by segment.
double sweepAbout(const QPointF* pts, int count, const QPointF& c);

FitEntity lineEntity(const QPointF& a, const QPointF& b);
// The arc of circle from the radial projection of from, turning sweep.
FitEntity arcEntity(const Circle& circle, const QPointF& from, double sweep);
// Largest distance of the arc from its chord.
double arcSagitta(const FitEntity& arc);

// stopAbove lets a feasibility test give up early; the deviation is then
// only known to exceed it.
RunFit fitRunAsLine(const QPointF* pts, int count, double stopAbove = std::numeric_limits<double>::infinity());
RunFit fitRunAsArc(const QPointF* pts, int count, const SectionFitParams& params, int refineIterations,
                   double stopAbove = std::numeric_limits<double>::infinity());

// Whether one line or one arc covers the run within the tolerance.
bool runFits(const QPointF* pts, int count, const SectionFitParams& params);

// The primitive for a run: a line when it fits and the best arc would barely
// bulge from it, else the arc when it fits, else whichever deviates less.
RunFit bestRunFit(const QPointF* pts, int count, const SectionFitParams& params);

} // namespace sectionfit
