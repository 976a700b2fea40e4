#include "model/sectionfit/fitentity.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <algorithm>
#include <cmath>

namespace sectionfit {

double angleOf(const QPointF& p, const QPointF& c)
{
    const double a = std::atan2(p.y() - c.y(), p.x() - c.x());
    return a < 0.0 ? a + 2.0 * kPi : a;
}

void dxfArcAngles(const FitEntity& arc, double* startDegrees, double* endDegrees)
{
    double a = angleOf(arc.start, arc.center) * 180.0 / kPi;
    double b = angleOf(arc.end, arc.center) * 180.0 / kPi;
    if (arc.sweep < 0.0)
        std::swap(a, b);
    // atan2 of a point a hair below the axis rounds to 360.
    *startDegrees = a >= 360.0 ? a - 360.0 : a;
    *endDegrees = b >= 360.0 ? b - 360.0 : b;
}

QPointF pointOnArc(const FitEntity& arc, double t)
{
    const double a = angleOf(arc.start, arc.center) + t * arc.sweep;
    return arc.center + arc.radius * QPointF(std::cos(a), std::sin(a));
}

double entityLength(const FitEntity& e)
{
    if (e.type == FitEntityType::Line)
        return norm(e.end - e.start);
    return std::abs(e.sweep) * e.radius;
}

namespace {

double segmentDistance(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF d = b - a;
    const double len2 = vec2::dot(d, d);
    const double t = len2 > 0.0 ? std::clamp(vec2::dot(p - a, d) / len2, 0.0, 1.0) : 0.0;
    return norm(p - (a + d * t));
}

} // namespace

bool withinArcSpan(const QPointF& v, const FitEntity& arc)
{
    // Counter-clockwise from a to b through the included angle; a clockwise
    // arc is the counter-clockwise one from its end to its start.
    QPointF a = arc.start - arc.center, b = arc.end - arc.center;
    if (arc.sweep < 0.0)
        std::swap(a, b);
    if (std::abs(arc.sweep) <= kPi)
        return vec2::cross(a, v) >= 0.0 && vec2::cross(v, b) >= 0.0;
    return !(vec2::cross(b, v) > 0.0 && vec2::cross(v, a) > 0.0);
}

double distanceToEntity(const QPointF& p, const FitEntity& e)
{
    if (e.type == FitEntityType::Line)
        return segmentDistance(p, e.start, e.end);
    const double radial = std::abs(norm(p - e.center) - e.radius);
    // Inside the arc's angular span the nearest point is radial; outside it
    // is the end that is angularly nearer, which is also the nearer one.
    if (e.type == FitEntityType::Circle || withinArcSpan(p - e.center, e))
        return radial;
    return std::min(norm(p - e.start), norm(p - e.end));
}

} // namespace sectionfit
