#include "model/sectionfit/runfit.h"
#include "model/sectionfit/fitmath.h"

#include "model/sectionfit/deviation.h"
#include "model/section/vec2.h"

#include <cmath>

namespace sectionfit {

double sweepAbout(const QPointF* pts, int count, const QPointF& c)
{
    double sum = 0.0;
    for (int i = 0; i + 1 < count; ++i) {
        const QPointF a = pts[i] - c, b = pts[i + 1] - c;
        sum += std::atan2(vec2::cross(a, b), vec2::dot(a, b));
    }
    return sum;
}

FitEntity lineEntity(const QPointF& a, const QPointF& b)
{
    FitEntity e;
    e.type = FitEntityType::Line;
    e.start = a;
    e.end = b;
    return e;
}

FitEntity arcEntity(const Circle& circle, const QPointF& from, double sweep)
{
    FitEntity e;
    e.type = FitEntityType::Arc;
    e.center = circle.center;
    e.radius = circle.radius;
    const double a = angleOf(from, circle.center);
    e.start = circle.center + circle.radius * QPointF(std::cos(a), std::sin(a));
    e.end = circle.center + circle.radius * QPointF(std::cos(a + sweep), std::sin(a + sweep));
    e.sweep = sweep;
    return e;
}

double arcSagitta(const FitEntity& arc)
{
    const double half = 0.5 * std::abs(arc.sweep);
    return arc.radius * (1.0 - std::cos(std::min(half, kPi)));
}

RunFit fitRunAsLine(const QPointF* pts, int count, double stopAbove)
{
    RunFit fit;
    if (count == 2) {
        fit.line = Line{pts[0], (pts[1] - pts[0]) / norm(pts[1] - pts[0])};
        fit.entity = lineEntity(pts[0], pts[1]);
        fit.deviation = 0.0;
        fit.valid = true;
        return fit;
    }
    const std::optional<Line> line = fitLine(pts, count);
    if (!line)
        return fit;
    fit.line = *line;
    fit.entity = lineEntity(projectOntoLine(pts[0], *line), projectOntoLine(pts[count - 1], *line));
    if (norm(fit.entity.end - fit.entity.start) <= 1e-9)
        return fit;
    fit.deviation = polylineToEntity(pts, count, fit.entity, stopAbove);
    fit.valid = true;
    return fit;
}

RunFit fitRunAsArc(const QPointF* pts, int count, const SectionFitParams& params, int refineIterations,
                   double stopAbove)
{
    RunFit fit;
    if (count < 3)
        return fit;
    const std::optional<Circle> circle = fitCircle(pts, count, refineIterations);
    // The radius must clear the tolerance: the run then never passes the
    // centre, and its angle about the centre is a proper parameter.
    if (!circle || circle->radius <= params.tolerance || circle->radius > params.maxArcRadius)
        return fit;
    const double sweep = sweepAbout(pts, count, circle->center);
    if (!(std::abs(sweep) > 1e-12) || std::abs(sweep) >= 2.0 * kPi - 1e-9)
        return fit;
    fit.circle = *circle;
    fit.entity = arcEntity(*circle, pts[0], sweep);
    fit.deviation = polylineToEntity(pts, count, fit.entity, stopAbove);
    fit.valid = true;
    return fit;
}

bool runFits(const QPointF* pts, int count, const SectionFitParams& params)
{
    const double tol = params.tolerance;
    if (count <= 2)
        return true;
    if (fitRunAsLine(pts, count, tol).deviation <= tol)
        return true;
    const RunFit quick = fitRunAsArc(pts, count, params, 0, 2.0 * tol);
    if (quick.deviation <= tol)
        return true;
    // The algebraic circle is near but not at the best: refine close calls.
    if (!quick.valid || quick.deviation > 2.0 * tol)
        return false;
    return fitRunAsArc(pts, count, params, 4, tol).deviation <= tol;
}

RunFit bestRunFit(const QPointF* pts, int count, const SectionFitParams& params)
{
    const double tol = params.tolerance;
    const RunFit line = fitRunAsLine(pts, count);
    const RunFit arc = fitRunAsArc(pts, count, params, 6);
    const bool lineOk = line.valid && line.deviation <= tol;
    const bool arcOk = arc.valid && arc.deviation <= tol;
    if (lineOk && (!arcOk || arcSagitta(arc.entity) <= params.lineSagittaFraction * tol))
        return line;
    if (arcOk)
        return arc;
    if (line.valid && (!arc.valid || line.deviation <= arc.deviation))
        return line;
    return arc;
}

} // namespace sectionfit
