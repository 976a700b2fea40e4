#pragma once

#include <QPointF>

#include <cmath>

// Plane lengths for the fitter's hot loops. std::hypot guards against
// overflow at a large cost; section coordinates are nowhere near that.
namespace sectionfit {

inline double norm(double dx, double dy)
{
    return std::sqrt(dx * dx + dy * dy);
}

inline double norm(const QPointF& v)
{
    return norm(v.x(), v.y());
}

} // namespace sectionfit
