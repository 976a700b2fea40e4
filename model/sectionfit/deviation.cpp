#include "model/sectionfit/deviation.h"
#include "model/sectionfit/fitmath.h"

#include "model/section/vec2.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace sectionfit {

namespace {

using vec2::cross;
using vec2::dot;


constexpr double kTwoPi = 2.0 * kPi;

// Parameter s in (0, 1) where p + s (q - p) crosses the line through c along w.
bool crossingOfLine(const QPointF& p, const QPointF& d, const QPointF& c, const QPointF& w, double* s)
{
    const double den = cross(w, d);
    if (std::abs(den) < 1e-300)
        return false;
    *s = -cross(w, p - c) / den;
    return *s > 0.0 && *s < 1.0;
}

double maxLineDeviation(const QPointF& p, const QPointF& q, const FitEntity& e)
{
    double worst = std::max(distanceToEntity(p, e), distanceToEntity(q, e));
    const QPointF u = e.end - e.start;
    const QPointF d = q - p;
    const double ud = dot(u, d);
    if (std::abs(ud) < 1e-300)
        return worst;
    // Inside the strip the distance is linear, beyond either end it is the
    // distance to that end: convex pieces, so only their ends matter.
    const double len2 = dot(u, u);
    const double tp = dot(u, p - e.start);
    for (double target : {0.0, len2}) {
        const double s = (target - tp) / ud;
        if (s > 0.0 && s < 1.0)
            worst = std::max(worst, distanceToEntity(p + d * s, e));
    }
    return worst;
}

double maxArcDeviation(const QPointF& p, const QPointF& q, const FitEntity& e, const QPointF& mid)
{
    double worst = std::max(distanceToEntity(p, e), distanceToEntity(q, e));
    const QPointF d = q - p;
    const double len2 = dot(d, d);
    if (len2 <= 0.0)
        return worst;
    // The nearest point of the arc changes character where the segment
    // crosses the rays through the arc's ends and the line through its
    // middle; between those the distance is convex except for the radial
    // part, whose extreme is the foot of the centre.
    const QPointF& c = e.center;
    const double s0 = std::clamp(dot(c - p, d) / len2, 0.0, 1.0);
    worst = std::max(worst, distanceToEntity(p + d * s0, e));
    if (e.type == FitEntityType::Circle)
        return worst;
    for (const QPointF& through : {e.start, e.end, mid}) {
        double s = 0.0;
        if (crossingOfLine(p, d, c, through - c, &s))
            worst = std::max(worst, distanceToEntity(p + d * s, e));
    }
    return worst;
}

QPointF arcMiddle(const FitEntity& e)
{
    return e.type == FitEntityType::Arc ? pointOnArc(e, 0.5) : e.start;
}

// Angular position along the arc from its start, in its own direction, [0, 2 pi).
double alongArc(const QPointF& x, const FitEntity& e, double startAngle)
{
    double a = angleOf(x, e.center) - startAngle;
    if (e.sweep < 0.0)
        a = -a;
    a = std::fmod(a, kTwoPi);
    return a < 0.0 ? a + kTwoPi : a;
}

class IntervalUnion {
public:
    void add(double lo, double hi)
    {
        if (hi >= lo)
            spans_.emplace_back(lo, hi);
    }
    // Adds [lo, hi] on the circle of circumference 2 pi.
    void addWrapped(double lo, double hi)
    {
        if (hi - lo >= kTwoPi) {
            add(0.0, kTwoPi);
            return;
        }
        const double shift = std::floor(lo / kTwoPi) * kTwoPi;
        lo -= shift;
        hi -= shift;
        if (hi > kTwoPi) {
            add(lo, kTwoPi);
            add(0.0, hi - kTwoPi);
        } else {
            add(lo, hi);
        }
    }
    bool covers(double length, double eps)
    {
        std::sort(spans_.begin(), spans_.end());
        double reach = 0.0;
        for (const auto& [lo, hi] : spans_) {
            if (lo > reach + eps)
                break;
            reach = std::max(reach, hi);
        }
        return reach >= length - eps;
    }

private:
    std::vector<std::pair<double, double>> spans_;
};

bool lineCovered(const FitEntity& e, const QPointF* pts, int count, double band)
{
    const QPointF axis = e.end - e.start;
    const double len = norm(axis);
    if (len <= 0.0) {
        for (int i = 0; i < count; ++i)
            if (norm(pts[i] - e.start) <= band)
                return true;
        return false;
    }
    const QPointF u = axis / len;
    const QPointF n(-u.y(), u.x());
    IntervalUnion covered;
    for (int i = 0; i < count; ++i) {
        const QPointF v = pts[i] - e.start;
        const double off = std::abs(dot(n, v));
        if (off <= band) {
            const double w = std::sqrt(band * band - off * off);
            covered.add(dot(u, v) - w, dot(u, v) + w);
        }
        if (i + 1 == count)
            break;
        // The part of the segment inside the band, projected onto the line.
        const QPointF d = pts[i + 1] - pts[i];
        const double h0 = dot(n, v), hd = dot(n, d);
        double sa = 0.0, sb = 1.0;
        if (std::abs(hd) > 1e-300) {
            sa = (-band - h0) / hd;
            sb = (band - h0) / hd;
            if (sa > sb)
                std::swap(sa, sb);
            sa = std::max(sa, 0.0);
            sb = std::min(sb, 1.0);
        } else if (std::abs(h0) > band) {
            continue;
        }
        if (sa > sb)
            continue;
        const double ta = dot(u, v + d * sa), tb = dot(u, v + d * sb);
        covered.add(std::min(ta, tb), std::max(ta, tb));
    }
    return covered.covers(len, 1e-9 * (1.0 + len));
}

// Roots of a s^2 + 2 b s + c = 0, ascending; false when there are none.
bool quadraticRoots(double a, double b, double c, double* r1, double* r2)
{
    const double disc = b * b - a * c;
    if (disc < 0.0 || a <= 0.0)
        return false;
    const double sq = std::sqrt(disc);
    *r1 = (-b - sq) / a;
    *r2 = (-b + sq) / a;
    return true;
}

bool arcCovered(const FitEntity& e, const QPointF* pts, int count, double band)
{
    const QPointF& c = e.center;
    const double r = e.radius;
    if (r <= band)
        return false;
    const double span = e.type == FitEntityType::Circle ? kTwoPi : std::abs(e.sweep);
    const double startAngle = angleOf(e.start, c);
    const double dir = e.sweep < 0.0 ? -1.0 : 1.0;
    IntervalUnion covered;
    const auto addPiece = [&](const QPointF& a, const QPointF& b) {
        const double pa = alongArc(a, e, startAngle);
        const double turn = dir * std::atan2(cross(a - c, b - c), dot(a - c, b - c));
        covered.addWrapped(std::min(pa, pa + turn), std::max(pa, pa + turn));
    };
    const double outer2 = (r + band) * (r + band), inner2 = (r - band) * (r - band);
    for (int i = 0; i < count; ++i) {
        const QPointF v = pts[i] - c;
        const double dv = norm(v);
        if (dv > 0.0) {
            const double cosw = (r * r + dv * dv - band * band) / (2.0 * r * dv);
            if (cosw <= 1.0) {
                const double w = std::acos(std::max(cosw, -1.0));
                const double pv = alongArc(pts[i], e, startAngle);
                covered.addWrapped(pv - w, pv + w);
            }
        }
        if (i + 1 == count)
            break;
        // The parts of the segment inside the annulus r +- band: each sees
        // the arc points on its own rays within band.
        const QPointF d = pts[i + 1] - pts[i];
        const double a = dot(d, d), b = dot(d, v), c0 = dot(v, v);
        double o1 = 0.0, o2 = 0.0;
        if (!quadraticRoots(a, b, c0 - outer2, &o1, &o2))
            continue;
        o1 = std::max(o1, 0.0);
        o2 = std::min(o2, 1.0);
        if (o1 >= o2)
            continue;
        double i1 = 0.0, i2 = 0.0;
        if (quadraticRoots(a, b, c0 - inner2, &i1, &i2) && i2 > o1 && i1 < o2) {
            if (i1 > o1)
                addPiece(pts[i] + d * o1, pts[i] + d * i1);
            if (i2 < o2)
                addPiece(pts[i] + d * i2, pts[i] + d * o2);
        } else {
            addPiece(pts[i] + d * o1, pts[i] + d * o2);
        }
    }
    return covered.covers(span, 1e-12 + 1e-9 * span);
}

} // namespace

double maxSegmentDeviation(const QPointF& p, const QPointF& q, const FitEntity& e)
{
    return e.type == FitEntityType::Line ? maxLineDeviation(p, q, e) : maxArcDeviation(p, q, e, arcMiddle(e));
}

double polylineToEntity(const QPointF* pts, int count, const FitEntity& e, double stopAbove)
{
    if (count == 1)
        return distanceToEntity(pts[0], e);
    const bool line = e.type == FitEntityType::Line;
    const QPointF mid = arcMiddle(e);
    double worst = 0.0;
    // A fit that fails usually fails at an end, where the run was extended:
    // look there first.
    for (int k = 0; k + 1 < count; ++k) {
        const int i = (k % 2 == 0) ? count - 2 - k / 2 : k / 2;
        worst = std::max(worst, line ? maxLineDeviation(pts[i], pts[i + 1], e)
                                     : maxArcDeviation(pts[i], pts[i + 1], e, mid));
        if (worst > stopAbove)
            break;
    }
    return worst;
}

bool entityCoveredBy(const FitEntity& e, const QPointF* pts, int count, double band)
{
    if (count <= 0 || !(band > 0.0))
        return false;
    return e.type == FitEntityType::Line ? lineCovered(e, pts, count, band) : arcCovered(e, pts, count, band);
}

double entityToPolyline(const FitEntity& e, const QPointF* pts, int count, double lowerHint, double limit)
{
    const double lower = std::max(lowerHint, 1e-12);
    if (entityCoveredBy(e, pts, count, lower * (1.0 + 1e-9)))
        return lower;
    if (!entityCoveredBy(e, pts, count, limit))
        return std::numeric_limits<double>::infinity();
    double lo = lower, hi = limit;
    while (hi - lo > 0.01 * limit) {
        const double mid = 0.5 * (lo + hi);
        (entityCoveredBy(e, pts, count, mid) ? hi : lo) = mid;
    }
    return hi;
}

} // namespace sectionfit
