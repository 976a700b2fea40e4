// Chaining: the section's loose lines become polylines that follow the outline
// (straightest continuation first at junctions), which are then densified and
// relaxed at their corners before being written back as lines.
#include "model/mesh/pointweldgrid.h"
#include "model/section/sectiongraph.h"
#include "model/section/sectionpostprocess.h"

#include <QVector2D>

#include <algorithm>
#include <cmath>

namespace {

double norm(const QPointF& p)
{
    return std::sqrt(p.x() * p.x() + p.y() * p.y());
}

class ChainWalker {
public:
    ChainWalker(const SectionLines& lines, double tolerance)
        : tolerance_(tolerance), grid_(tolerance, 2 * std::size_t(lines.size()))
    {
        NodePairSet seen(std::size_t(lines.size()));
        edges_.reserve(std::size_t(lines.size()));
        for (const QLineF& l : lines) {
            if (!isValidSectionLine(l))
                continue;
            const int a = grid_.weld(l.p1());
            const int b = grid_.weld(l.p2());
            if (a != b && seen.insert(std::uint32_t(a), std::uint32_t(b)))
                edges_.emplace_back(a, b);
        }
        std::vector<int> degree(std::size_t(grid_.nodeCount()), 0);
        for (const auto& [a, b] : edges_) {
            ++degree[std::size_t(a)];
            ++degree[std::size_t(b)];
        }
        adjacency_ = EdgeAdjacency(degree);
        for (int e = 0; e < int(edges_.size()); ++e) {
            adjacency_.add(edges_[std::size_t(e)].first, e);
            adjacency_.add(edges_[std::size_t(e)].second, e);
        }
        used_.assign(edges_.size(), 0);
    }

    QList<SectionPolyline> polylines()
    {
        QList<SectionPolyline> out;
        if (edges_.empty())
            return out;
        // Open chains start where a run ends or branches...
        for (int n = 0; n < grid_.nodeCount(); ++n) {
            if (adjacency_.degree(n) == 2)
                continue;
            for (int i = 0; i < adjacency_.degree(n); ++i) {
                const int e = adjacency_.at(n, i);
                if (!used_[std::size_t(e)])
                    appendPolyline(walk(n, e, false), out);
            }
        }
        // ...and whatever is left is made of loops.
        for (int e = 0; e < int(edges_.size()); ++e)
            if (!used_[std::size_t(e)])
                appendPolyline(walk(edges_[std::size_t(e)].first, e, true), out);
        return out;
    }

private:
    int farEnd(int edge, int node) const
    {
        const auto& e = edges_[std::size_t(edge)];
        return e.first == node ? e.second : e.first;
    }

    std::vector<int> walk(int start, int edge, bool closed)
    {
        std::vector<int> nodes{start};
        int current = start;
        for (int step = 0; step < 400000 && edge >= 0; ++step) {
            used_[std::size_t(edge)] = 1;
            const int previous = current;
            current = farEnd(edge, current);
            nodes.push_back(current);
            if (closed && current == start)
                break;
            edge = nextEdge(previous, current);
        }
        return nodes;
    }

    // The unused edge at c that best continues the direction p -> c, with a
    // slight preference for longer edges; -1 when none is left.
    int nextEdge(int p, int c) const
    {
        const QPointF pc = grid_.node(c);
        const QVector2D incoming(pc - grid_.node(p));
        const float incomingLen2 = incoming.lengthSquared();
        const bool hasDirection = incomingLen2 > 1e-12f;
        const QVector2D u = hasDirection ? incoming / std::sqrt(incomingLen2) : QVector2D();
        int best = -1;
        double bestScore = 0.0;
        for (const int* it = adjacency_.begin(c); it != adjacency_.end(c); ++it) {
            if (used_[std::size_t(*it)])
                continue;
            const QPointF v = grid_.node(farEnd(*it, c)) - pc;
            const double len = norm(v);
            if (!(len > 1e-9))
                continue;
            const double along = hasDirection ? (double(u.x()) * v.x() + double(u.y()) * v.y()) / len : 0.0;
            const double score = along + std::min(len, 20.0 * tolerance_) * 0.002;
            if (best < 0 || score > bestScore) {
                best = *it;
                bestScore = score;
            }
        }
        return best;
    }

    void appendPolyline(const std::vector<int>& nodes, QList<SectionPolyline>& out) const
    {
        const double minGap2 = 0.01 * tolerance_ * tolerance_;
        SectionPolyline points;
        points.reserve(qsizetype(nodes.size()));
        for (const int n : nodes) {
            const QPointF p = grid_.node(n);
            if (!points.isEmpty()) {
                const QPointF d = p - points.constLast();
                if (d.x() * d.x() + d.y() * d.y() <= minGap2)
                    continue;
            }
            points.append(p);
        }
        if (points.size() >= 2)
            out.append(std::move(points));
    }

    double tolerance_;
    PointWeldGrid grid_;
    std::vector<std::pair<int, int>> edges_;
    EdgeAdjacency adjacency_{std::vector<int>()};
    std::vector<char> used_;
};

} // namespace

double estimateJoinTolerance(const SectionLines& lines, const JoinToleranceProfile& profile)
{
    const SectionStatistics stats = sectionStatistics(lines);
    if (stats.validCount == 0)
        return std::max(profile.minimum, 1e-6);
    return std::max({profile.medianFactor * stats.medianLength, profile.extentFactor * stats.extent, profile.minimum});
}

QList<SectionPolyline> chainSegmentsToPolylines(const SectionLines& lines, double tolerance)
{
    const double t = tolerance > 1e-6 ? tolerance : 1e-6;
    ChainWalker walker(lines, t);
    return walker.polylines();
}

SectionPolyline densifyPolyline(const SectionPolyline& points, double step)
{
    if (points.size() < 2 || !(step > 1e-9))
        return points;
    SectionPolyline out;
    out.reserve(points.size());
    out.append(points.constFirst());
    for (qsizetype i = 0; i + 1 < points.size(); ++i) {
        const QPointF a = points.at(i);
        const QPointF b = points.at(i + 1);
        const double len = norm(b - a);
        if (!(len > 1e-9))
            continue;
        const int n = int(std::clamp(std::ceil(len / step), 1.0, 16.0));
        for (int k = 1; k < n; ++k)
            out.append(a + (b - a) * double(k) / double(n));
        out.append(b); // exactly, so closed loops stay closed
    }
    return out;
}

SectionPolyline relaxPolylineCorners(const SectionPolyline& points, int strength, bool thinMode)
{
    const qsizetype count = points.size();
    if (count < 3 || strength < 1)
        return points;

    const double s = std::clamp(strength / 100.0, 0.0, 1.0);
    const int iterations = std::clamp(int(std::lround(8.0 * s + 2.0)), 2, 12);
    double total = 0.0;
    for (qsizetype i = 0; i + 1 < count; ++i)
        total += norm(points.at(i + 1) - points.at(i));
    const double spacing = total / double(std::max<qsizetype>(count - 1, 1));
    const double alpha = 0.48 * s + 0.22;
    const double stepLimit = std::max((1.25 * s + 0.55) * spacing, 0.004);
    const double deviationLimit = std::max((1.05 * s + 0.35) * spacing, 0.006);
    // Runs bending less than this between neighbours count as straight and stay put.
    const float straightCosine = thinMode ? 0.22f : 0.45f;

    const std::vector<QPointF> original(points.cbegin(), points.cend());
    std::vector<QPointF> previous(original);
    std::vector<QPointF> next(original);
    for (int it = 0; it < iterations; ++it) {
        for (std::size_t i = 1; i + 1 < original.size(); ++i) {
            const QPointF a = previous[i - 1];
            const QPointF p = previous[i];
            const QPointF b = previous[i + 1];
            next[i] = p;
            const QVector2D d1(p - a);
            const QVector2D d2(b - p);
            const float l1 = d1.length();
            const float l2 = d2.length();
            if (l1 <= 1e-9f || l2 <= 1e-9f || QVector2D::dotProduct(d1 / l1, d2 / l2) > straightCosine)
                continue;
            QPointF v = (a + b) * 0.5 - p;
            const double len = norm(v);
            if (len > stepLimit && len > 1e-12)
                v *= stepLimit / len;
            QPointF q = p + alpha * v;
            const QPointF drift = q - original[i];
            const double driftLen = norm(drift);
            if (driftLen > deviationLimit && driftLen > 1e-12)
                q = original[i] + drift * (deviationLimit / driftLen);
            next[i] = q;
        }
        previous.swap(next);
    }
    return SectionPolyline(previous.cbegin(), previous.cend());
}

SectionLines chainAndSmoothSection(const SectionLines& lines, int strength, bool band)
{
    const SectionLines valid = sanitizeSectionLines(lines);
    if (valid.size() < 2)
        return valid.isEmpty() ? lines : valid;

    const double t = estimateJoinTolerance(valid, joinProfileFor(band));
    const QList<SectionPolyline> polylines = chainSegmentsToPolylines(valid, t);
    if (polylines.isEmpty())
        return valid;

    const double step = band ? std::max(0.85 * t, 0.003) : std::max(0.6 * t, 0.003);
    SectionLines out;
    out.reserve(valid.size());
    for (const SectionPolyline& polyline : polylines) {
        if (polyline.size() < 2)
            continue;
        const SectionPolyline points =
            strength > 0 ? relaxPolylineCorners(densifyPolyline(polyline, step), strength, !band) : polyline;
        for (qsizetype i = 0; i + 1 < points.size(); ++i) {
            const QLineF line(points.at(i), points.at(i + 1));
            if (norm(line.p2() - line.p1()) > 1e-7)
                out.append(line);
        }
    }
    return out.isEmpty() ? valid : out;
}
