#include "model/sectionfit/tangency.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <cmath>
#include <vector>

namespace sectionfit {

namespace {

using vec2::cross;
using vec2::dot;


QPointF leftNormal(const QPointF& u)
{
    return QPointF(-u.y(), u.x());
}

QPointF unitAt(double angle)
{
    return QPointF(std::cos(angle), std::sin(angle));
}

// Tangency to one carrier, parametrised by the touch point: T(s) on the
// carrier and m(s), the unit normal from T towards the arc's centre. The arc
// centre is T + r m.
struct Touch {
    const Carrier* carrier = nullptr;
    double side = 1.0; // line: which normal side the centre is on; circle: +1 outside, -1 inside touch

    Touch(const Carrier* c, const Circle& free) : carrier(c)
    {
        if (c->isLine) {
            side = dot(leftNormal(c->line.direction), free.center - c->line.point) >= 0.0 ? 1.0 : -1.0;
        } else {
            const double d = norm(free.center - c->circle.center);
            const double outside = std::abs(d - (c->circle.radius + free.radius));
            const double inside = std::abs(d - std::abs(c->circle.radius - free.radius));
            side = outside <= inside ? 1.0 : -1.0;
        }
    }

    void at(double s, QPointF* T, QPointF* m) const
    {
        if (carrier->isLine) {
            *T = carrier->line.point + carrier->line.direction * s;
            *m = leftNormal(carrier->line.direction) * side;
        } else {
            const QPointF w = unitAt(s);
            *T = carrier->circle.center + carrier->circle.radius * w;
            *m = w * side;
        }
    }

    double initial(const QPointF& near) const
    {
        if (carrier->isLine)
            return dot(near - carrier->line.point, carrier->line.direction);
        const QPointF d = near - carrier->circle.center;
        return std::atan2(d.y(), d.x());
    }

    // Radius of the arc centred on T + r m that touches this carrier too
    // (linear in r for lines and circles alike).
    std::optional<double> radiusFor(const QPointF& T, const QPointF& m) const
    {
        double r = 0.0;
        if (carrier->isLine) {
            const QPointF n = leftNormal(carrier->line.direction) * side;
            const double den = 1.0 - dot(n, m);
            if (std::abs(den) < 1e-12)
                return std::nullopt;
            r = dot(n, T - carrier->line.point) / den;
        } else {
            const QPointF D = T - carrier->circle.center;
            const double r2 = carrier->circle.radius;
            const double den = 2.0 * (dot(D, m) - side * r2);
            if (std::abs(den) < 1e-12)
                return std::nullopt;
            r = (r2 * r2 - dot(D, D)) / den;
        }
        if (!std::isfinite(r) || r <= 0.0)
            return std::nullopt;
        return r;
    }

    QPointF touchPoint(const Circle& arc) const
    {
        if (carrier->isLine)
            return projectOntoLine(arc.center, carrier->line);
        const QPointF d = arc.center - carrier->circle.center;
        const double len = norm(d);
        const QPointF w = len > 0.0 ? d / len : QPointF(1.0, 0.0);
        const QPointF a = carrier->circle.center + carrier->circle.radius * w;
        const QPointF b = carrier->circle.center - carrier->circle.radius * w;
        return std::abs(norm(a - arc.center) - arc.radius) <= std::abs(norm(b - arc.center) - arc.radius) ? a : b;
    }
};

std::optional<QPointF> lineCrossing(const Line& a, const Line& b)
{
    const double den = cross(a.direction, b.direction);
    if (std::abs(den) < 1e-12)
        return std::nullopt;
    const double t = cross(b.point - a.point, b.direction) / den;
    return a.point + a.direction * t;
}

// Offset of line by distance along its side normal.
Line offsetLine(const Line& line, double side, double distance)
{
    return Line{line.point + leftNormal(line.direction) * (side * distance), line.direction};
}

} // namespace

std::optional<TangentArc> fitTangentArc(const QPointF* pts, int count, const Circle& free,
                                        const Carrier* startCarrier, const QPointF& startNear,
                                        const Carrier* endCarrier, const QPointF& endNear, double fixedRadius)
{
    const bool fixed = fixedRadius > 0.0;
    std::optional<Circle> circle;
    std::vector<double> params;
    if (!startCarrier && !endCarrier) {
        if (!fixed)
            return TangentArc{free, {}, {}};
        params = {free.center.x(), free.center.y()};
        circle = fitCircleFamily(
            pts, count, [&](const double* p) { return std::optional<Circle>(Circle{QPointF(p[0], p[1]), fixedRadius}); },
            params.data(), 2);
    } else if (!startCarrier || !endCarrier) {
        const Touch touch(startCarrier ? startCarrier : endCarrier, free);
        const QPointF& near = startCarrier ? startNear : endNear;
        params = {touch.initial(near)};
        if (!fixed)
            params.push_back(free.radius);
        circle = fitCircleFamily(
            pts, count,
            [&](const double* p) -> std::optional<Circle> {
                const double r = fixed ? fixedRadius : p[1];
                if (r <= 0.0)
                    return std::nullopt;
                QPointF T, m;
                touch.at(p[0], &T, &m);
                return Circle{T + r * m, r};
            },
            params.data(), int(params.size()));
    } else {
        const Touch first(startCarrier, free), second(endCarrier, free);
        if (fixed) {
            // Two lines and a radius fix the centre: the offsets' crossing.
            if (!startCarrier->isLine || !endCarrier->isLine)
                return std::nullopt;
            const std::optional<QPointF> c = lineCrossing(offsetLine(startCarrier->line, first.side, fixedRadius),
                                                          offsetLine(endCarrier->line, second.side, fixedRadius));
            if (!c)
                return std::nullopt;
            circle = Circle{*c, fixedRadius};
        } else {
            params = {first.initial(startNear)};
            circle = fitCircleFamily(
                pts, count,
                [&](const double* p) -> std::optional<Circle> {
                    QPointF T, m;
                    first.at(p[0], &T, &m);
                    const std::optional<double> r = second.radiusFor(T, m);
                    if (!r)
                        return std::nullopt;
                    return Circle{T + *r * m, *r};
                },
                params.data(), 1);
        }
    }
    if (!circle)
        return std::nullopt;
    TangentArc arc{*circle, {}, {}};
    if (startCarrier)
        arc.startTouch = Touch(startCarrier, free).touchPoint(*circle);
    if (endCarrier)
        arc.endTouch = Touch(endCarrier, free).touchPoint(*circle);
    return arc;
}

std::optional<QPointF> crossingNear(const Carrier& a, const Carrier& b, const QPointF& near)
{
    if (a.isLine && b.isLine)
        return lineCrossing(a.line, b.line);
    std::vector<QPointF> found;
    if (a.isLine != b.isLine) {
        const Line& line = a.isLine ? a.line : b.line;
        const Circle& circle = a.isLine ? b.circle : a.circle;
        const QPointF foot = projectOntoLine(circle.center, line);
        const double h = norm(foot - circle.center);
        if (h > circle.radius)
            return std::nullopt;
        const double half = std::sqrt(circle.radius * circle.radius - h * h);
        found = {foot + line.direction * half, foot - line.direction * half};
    } else {
        const QPointF d = b.circle.center - a.circle.center;
        const double dist = norm(d);
        const double r0 = a.circle.radius, r1 = b.circle.radius;
        if (dist <= 0.0 || dist > r0 + r1 || dist < std::abs(r0 - r1))
            return std::nullopt;
        const double along = (r0 * r0 - r1 * r1 + dist * dist) / (2.0 * dist);
        const double half = std::sqrt(std::max(r0 * r0 - along * along, 0.0));
        const QPointF u = d / dist;
        const QPointF base = a.circle.center + u * along;
        found = {base + leftNormal(u) * half, base - leftNormal(u) * half};
    }
    return norm(found[0] - near) <= norm(found[1] - near) ? found[0] : found[1];
}

} // namespace sectionfit
