#pragma once

#include <QPointF>

#include <functional>
#include <optional>

// Circles through scattered points: an algebraic start refined on the true
// (geometric) distances, and constrained families for tangency and snapping.
namespace sectionfit {

struct Circle {
    QPointF center;
    double radius = 0.0;
};

// Taubin's algebraic fit refined by Gauss-Newton on the radial distances,
// each vertex weighted by the chain length it stands for.
// Nothing for fewer than 3 points, (nearly) collinear points or a result
// that is not finite.
std::optional<Circle> fitCircle(const QPointF* pts, int count, int refineIterations = 4);

// The circle of a parametrised family (at most 3 parameters, nothing for an
// invalid parameter set) with the least summed squared radial distance,
// by Levenberg-Marquardt from the given start. params holds the start and
// receives the result; nothing when no valid member was found.
using CircleFamily = std::function<std::optional<Circle>(const double* params)>;
std::optional<Circle> fitCircleFamily(const QPointF* pts, int count, const CircleFamily& family, double* params,
                                      int paramCount, int iterations = 30);

} // namespace sectionfit
