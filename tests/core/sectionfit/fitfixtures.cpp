#include "fitfixtures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

namespace fitfixtures {

using sectionfit::FitEntity;
using sectionfit::FitEntityType;
using sectionfit::kPi;

void lineTo(Polyline& p, const QPointF& b, double step)
{
    const QPointF a = p.last();
    const int n = step > 0.0 ? std::max(1, int(std::ceil(std::hypot(b.x() - a.x(), b.y() - a.y()) / step))) : 1;
    for (int k = 1; k <= n; ++k)
        p.append(a + (b - a) * (double(k) / n));
}

void arcTo(Polyline& p, const QPointF& c, double sweep, double step)
{
    const QPointF a = p.last();
    const double r = std::hypot(a.x() - c.x(), a.y() - c.y());
    const double a0 = std::atan2(a.y() - c.y(), a.x() - c.x());
    const int n = std::max(2, int(std::ceil(std::abs(sweep) * r / step)));
    for (int k = 1; k <= n; ++k) {
        const double t = a0 + sweep * k / n;
        p.append(c + r * QPointF(std::cos(t), std::sin(t)));
    }
}

void close(Polyline& p)
{
    p.append(p.first());
}

Polyline rectangle(double x0, double y0, double w, double h)
{
    return {{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}, {x0, y0}};
}

Polyline circle(const QPointF& c, double r, int sides)
{
    Polyline p;
    for (int k = 0; k < sides; ++k)
        p.append(c + r * QPointF(std::cos(2 * kPi * k / sides), std::sin(2 * kPi * k / sides)));
    close(p);
    return p;
}

Polyline slot(double len, double r, double chord)
{
    Polyline p{{0, -r}};
    lineTo(p, {len, -r});
    arcTo(p, {len, 0}, kPi, chord);
    lineTo(p, {0, r});
    arcTo(p, {0, 0}, kPi, chord);
    p.last() = p.first();
    return p;
}

Polyline chamferedL()
{
    return {{6, 0}, {60, 0}, {60, 8}, {14, 8}, {8, 14}, {8, 40}, {0, 40}, {0, 6}, {6, 0}};
}

Polyline profile(double chord)
{
    // 80 x 50 plate: corners rounded with R6, a rectangular notch in the top
    // side, and the right side bulged out as an arc of radius 60.
    Polyline p{{6, 0}};
    lineTo(p, {74, 0}, chord);
    arcTo(p, {74, 6}, kPi / 2, chord);
    // Right side: from (80, 6) to (80, 44) as an arc bulging to the right.
    const double half = 19.0, R = 60.0;
    const double offset = std::sqrt(R * R - half * half);
    const QPointF bulgeCentre(80 - offset, 25);
    const double bulgeSweep = 2 * std::asin(half / R);
    arcTo(p, bulgeCentre, bulgeSweep, chord);
    arcTo(p, {74, 44}, kPi / 2, chord);
    lineTo(p, {50, 50}, chord);
    lineTo(p, {50, 42}, chord);
    lineTo(p, {30, 42}, chord);
    lineTo(p, {30, 50}, chord);
    lineTo(p, {6, 50}, chord);
    arcTo(p, {6, 44}, kPi / 2, chord);
    lineTo(p, {0, 6}, chord);
    arcTo(p, {6, 6}, kPi / 2, chord);
    p.last() = p.first();
    return p;
}

Polyline noisy(const Polyline& p, double sigma, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, sigma);
    Polyline out;
    for (const QPointF& q : p)
        out.append(q + QPointF(n(rng), n(rng)));
    if (p.size() > 2 && p.first() == p.last())
        out.last() = out.first();
    return out;
}

namespace {

std::vector<QPointF> samplePolyline(const Polyline& p, double step)
{
    std::vector<QPointF> out;
    for (int i = 0; i + 1 < p.size(); ++i) {
        const QPointF d = p[i + 1] - p[i];
        const int n = std::max(1, int(std::ceil(std::hypot(d.x(), d.y()) / step)));
        for (int k = 0; k < n; ++k)
            out.push_back(p[i] + d * (double(k) / n));
    }
    out.push_back(p.last());
    return out;
}

// Points along the entity, computed here from its definition alone.
std::vector<QPointF> sampleEntity(const FitEntity& e, double step)
{
    std::vector<QPointF> out;
    const double a0 = std::atan2(e.start.y() - e.center.y(), e.start.x() - e.center.x());
    const double sweep = e.type == FitEntityType::Circle ? 2 * kPi : e.sweep;
    const double len = e.type == FitEntityType::Line ? std::hypot(e.end.x() - e.start.x(), e.end.y() - e.start.y())
                                                     : std::abs(sweep) * e.radius;
    const int n = std::max(1, int(std::ceil(len / step)));
    for (int k = 0; k <= n; ++k) {
        const double t = double(k) / n;
        if (e.type == FitEntityType::Line)
            out.push_back(e.start + (e.end - e.start) * t);
        else
            out.push_back(e.center + e.radius * QPointF(std::cos(a0 + t * sweep), std::sin(a0 + t * sweep)));
    }
    return out;
}

// Segments bucketed in a uniform grid; long segments go in as short pieces.
class SegmentGrid {
public:
    SegmentGrid(const QList<Polyline>& chains, double cell) : cell_(cell)
    {
        for (const Polyline& chain : chains) {
            for (int i = 0; i + 1 < chain.size(); ++i) {
                const QPointF a = chain[i], d = chain[i + 1] - chain[i];
                const int pieces = std::max(1, int(std::ceil(std::hypot(d.x(), d.y()) / cell)));
                for (int k = 0; k < pieces; ++k) {
                    const QPointF p = a + d * (double(k) / pieces), q = a + d * (double(k + 1) / pieces);
                    const int index = int(pieces_.size());
                    pieces_.push_back({p, q - p});
                    for (long x = key(std::min(p.x(), q.x())); x <= key(std::max(p.x(), q.x())); ++x)
                        for (long y = key(std::min(p.y(), q.y())); y <= key(std::max(p.y(), q.y())); ++y)
                            cells_[{x, y}].push_back(index);
                }
            }
        }
    }

    // Distance to the nearest segment, searching rings of cells outwards.
    double nearest(const QPointF& p) const
    {
        double best = std::numeric_limits<double>::infinity();
        const long cx = key(p.x()), cy = key(p.y());
        for (long ring = 0; ring < 100000 && !cells_.empty(); ++ring) {
            for (long x = cx - ring; x <= cx + ring; ++x) {
                for (long y = cy - ring; y <= cy + ring; ++y) {
                    if (std::max(std::abs(x - cx), std::abs(y - cy)) != ring)
                        continue;
                    const auto it = cells_.find({x, y});
                    if (it == cells_.end())
                        continue;
                    for (int index : it->second)
                        best = std::min(best, distance(p, pieces_[std::size_t(index)]));
                }
            }
            // Everything unseen lies at least ring cells away.
            if (best <= double(ring) * cell_)
                break;
        }
        return best;
    }

private:
    struct Piece {
        QPointF a, d;
    };
    long key(double v) const { return long(std::floor(v / cell_)); }
    static double distance(const QPointF& p, const Piece& s)
    {
        const double len2 = s.d.x() * s.d.x() + s.d.y() * s.d.y();
        const QPointF v = p - s.a;
        const double t = len2 > 0 ? std::clamp((v.x() * s.d.x() + v.y() * s.d.y()) / len2, 0.0, 1.0) : 0.0;
        return std::hypot(v.x() - t * s.d.x(), v.y() - t * s.d.y());
    }
    double cell_;
    std::vector<Piece> pieces_;
    std::map<std::pair<long, long>, std::vector<int>> cells_;
};

} // namespace

double sampledDeviation(const QList<Polyline>& chains, const sectionfit::FitResult& result, double step)
{
    QList<Polyline> entities;
    for (const auto& fitted : result.chains) {
        for (const FitEntity& e : fitted.entities) {
            const std::vector<QPointF> pts = sampleEntity(e, step);
            entities.append(Polyline(pts.begin(), pts.end()));
        }
    }
    const double cell = 4.0 * step;
    const SegmentGrid chainGrid(chains, cell), entityGrid(entities, cell);
    double worst = 0.0;
    for (const Polyline& chain : chains)
        for (const QPointF& p : samplePolyline(chain, step))
            worst = std::max(worst, entityGrid.nearest(p));
    for (const Polyline& entity : entities)
        for (const QPointF& p : samplePolyline(entity, step))
            worst = std::max(worst, chainGrid.nearest(p));
    return worst;
}

} // namespace fitfixtures
