#pragma once

#include <QPointF>

// One fitted piece of a section chain, in section millimetres.
namespace sectionfit {

enum class FitEntityType { Line, Arc, Circle };

struct FitEntity {
    FitEntityType type = FitEntityType::Line;
    // Line and arc ends, shared exactly with the neighbours. A circle has
    // start == end, the point at angle 0.
    QPointF start;
    QPointF end;
    // Arc and circle.
    QPointF center;
    double radius = 0.0;
    // Arc: signed included angle in radians from start to end, > 0 counter-
    // clockwise. Circle: 2 pi.
    double sweep = 0.0;
    // Largest distance, both ways, between the entity and its part of the chain.
    double maxDeviation = 0.0;
};

constexpr double kPi = 3.14159265358979323846;

// Radians in [0, 2 pi) of p about c.
double angleOf(const QPointF& p, const QPointF& c);
// Degrees of the DXF ARC: counter-clockwise from start to end, each in
// [0, 360). A clockwise arc has its ends swapped.
void dxfArcAngles(const FitEntity& arc, double* startDegrees, double* endDegrees);
// Point of an arc at fraction t (0 start, 1 end) of its sweep.
QPointF pointOnArc(const FitEntity& arc, double t);
// Length of a line or arc, circumference of a circle.
double entityLength(const FitEntity& e);
// Whether v (relative to the centre) points into the arc's angular span.
bool withinArcSpan(const QPointF& v, const FitEntity& arc);
// Distance from p to the entity (segment, arc or whole circle).
double distanceToEntity(const QPointF& p, const FitEntity& e);

} // namespace sectionfit
