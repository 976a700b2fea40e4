#include "model/sectionfit/linefit.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <cmath>

namespace sectionfit {

std::optional<Line> fitLine(const QPointF* pts, int count)
{
    if (count < 2)
        return std::nullopt;
    // Moments of the polyline as a curve (every segment by its length), so
    // one long chord counts as much as many short ones over the same length.
    double total = 0.0, mx = 0.0, my = 0.0;
    for (int i = 0; i + 1 < count; ++i) {
        const double len = norm(pts[i + 1] - pts[i]);
        total += len;
        mx += len * 0.5 * (pts[i].x() + pts[i + 1].x());
        my += len * 0.5 * (pts[i].y() + pts[i + 1].y());
    }
    if (!(total > 0.0))
        return std::nullopt;
    mx /= total;
    my /= total;
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (int i = 0; i + 1 < count; ++i) {
        const double len = norm(pts[i + 1] - pts[i]);
        const double ax = pts[i].x() - mx, ay = pts[i].y() - my;
        const double dx = pts[i + 1].x() - pts[i].x(), dy = pts[i + 1].y() - pts[i].y();
        // Integral over the segment of (a + t d)(a + t d)^T dt, t in [0, 1].
        sxx += len * (ax * ax + ax * dx + dx * dx / 3.0);
        syy += len * (ay * ay + ay * dy + dy * dy / 3.0);
        sxy += len * (ax * ay + 0.5 * (ax * dy + ay * dx) + dx * dy / 3.0);
    }
    // Principal direction of the 2x2 scatter matrix.
    const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    QPointF dir(std::cos(angle), std::sin(angle));
    if (vec2::dot(dir, pts[count - 1] - pts[0]) < 0.0)
        dir = -dir;
    return Line{QPointF(mx, my), dir};
}

QPointF projectOntoLine(const QPointF& p, const Line& line)
{
    return line.point + line.direction * vec2::dot(p - line.point, line.direction);
}

} // namespace sectionfit
