#pragma once

#include <QPointF>

#include <cmath>

// Plane-vector arithmetic on QPointF for the section geometry.
namespace vec2 {

inline double dot(const QPointF& a, const QPointF& b)
{
    return a.x() * b.x() + a.y() * b.y();
}

// z of the 3D cross product: > 0 when b turns left of a.
inline double cross(const QPointF& a, const QPointF& b)
{
    return a.x() * b.y() - a.y() * b.x();
}

inline double length(const QPointF& v)
{
    return std::hypot(v.x(), v.y());
}

} // namespace vec2
