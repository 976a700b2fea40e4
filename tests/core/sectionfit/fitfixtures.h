#pragma once

#include "model/sectionfit/sectionfit.h"

#include <QList>
#include <QPointF>

#include <cstdint>

// Section chains drawn in code, as an exact plane cut of a faceted mesh gives
// them: straight sides as single segments, arcs as chords whose ends lie on
// the true circle.
namespace fitfixtures {

using Polyline = QList<QPointF>;

// Appends a straight run to b (optionally split into pieces of at most step).
void lineTo(Polyline& p, const QPointF& b, double step = 0.0);
// Appends the arc about c from the current end, turning sweep (radians, > 0
// counter-clockwise), in chords of at most step.
void arcTo(Polyline& p, const QPointF& c, double sweep, double step);
// Closes the loop by repeating the first point.
void close(Polyline& p);

Polyline rectangle(double x0, double y0, double w, double h);
Polyline circle(const QPointF& c, double r, int sides);
// Two straight sides of length len joined by half circles of radius r.
Polyline slot(double len, double r, double chord);
// An L angle with 45 degree chamfers on its outer and inner corner.
Polyline chamferedL();
// A plate outline with rounded corners, a straight notch and a bulged side:
// 7 straight sides and 5 arcs.
Polyline profile(double chord);

// Every vertex moved by a normal deviate of the given sigma (deterministic).
Polyline noisy(const Polyline& p, double sigma, std::uint32_t seed);

// Largest distance, both ways, between the polylines and the fitted
// entities, by dense sampling of both: an independent check of the fitter's
// own proof, never above the true value by more than the sampling step.
double sampledDeviation(const QList<Polyline>& chains, const sectionfit::FitResult& result, double step);

} // namespace fitfixtures
