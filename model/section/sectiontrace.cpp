// Tracing a contour chain through a picked section segment, offsetting it
// and fitting a circle to it.
#include "model/section/sectionsketch.h"
#include "model/section/vec2.h"

#include "model/mesh/pointweldgrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace sketch {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int kMaxWalkSteps = 4096;
constexpr int kMaxSimplifiedChain = 4096;
constexpr int kMaxRadiusTriples = 1500;

using vec2::cross;
using vec2::dot;
using vec2::length;

// Drops points that repeat the previous one, then interior points lying on
// the chord between the last kept point and the next one. Comparing with the
// last kept point (not the original neighbour) stops a finely divided arc
// from collapsing to its ends.
QList<QPointF> simplifyChain(const QList<QPointF>& raw, double weld)
{
    QList<QPointF> points;
    points.reserve(raw.size());
    for (const QPointF& p : raw)
        if (points.isEmpty() || length(p - points.last()) > 0.15 * weld)
            points.append(p);
    if (points.size() >= kMaxSimplifiedChain || points.size() < 3)
        return points;

    QList<QPointF> kept;
    kept.reserve(points.size());
    kept.append(points.first());
    for (int i = 1; i + 1 < points.size(); ++i) {
        const QLineF chord(kept.last(), points[i + 1]);
        if (chord.length() > 0.2 * weld && distanceToSegment(points[i], chord) <= 0.25 * weld)
            continue;
        kept.append(points[i]);
    }
    kept.append(points.last());
    return kept;
}

// Index of the chain segment nearest to p, the first of equally near ones.
int nearestChainSegment(const QList<QPointF>& chain, const QPointF& p)
{
    int best = -1;
    double bestDistance = kInf;
    for (int i = 0; i + 1 < chain.size(); ++i) {
        const double d = distanceToSegment(p, QLineF(chain[i], chain[i + 1]));
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

} // namespace

bool chainCloses(const QList<QPointF>& points, double pickRadius)
{
    return points.size() > 2 && length(points.first() - points.last()) <= 0.75 * pickRadius;
}

Chain traceChain(const SectionLines& segments, const QSet<int>& erased, int picked, double pickRadius)
{
    Chain chain;
    if (picked < 0 || picked >= segments.size())
        return chain;
    const double weld = std::max(0.8 * pickRadius, 0.0001);

    // Ends welded into nodes; each segment not erased is an edge between two.
    struct Edge {
        int a = 0;
        int b = 0;
    };
    PointWeldGrid grid(weld, std::size_t(segments.size()) * 2);
    std::vector<Edge> edges;
    std::vector<std::vector<int>> incident;
    int pickedEdge = -1;
    for (int i = 0; i < segments.size(); ++i) {
        if (erased.contains(i) && i != picked)
            continue;
        const Edge e{grid.weld(segments[i].p1()), grid.weld(segments[i].p2())};
        incident.resize(std::size_t(grid.nodeCount()));
        if (i == picked)
            pickedEdge = int(edges.size());
        else if (e.a == e.b)
            continue; // shorter than the weld: no step to take along it
        incident[std::size_t(e.a)].push_back(int(edges.size()));
        if (e.b != e.a)
            incident[std::size_t(e.b)].push_back(int(edges.size()));
        edges.push_back(e);
    }
    std::vector<char> walked(edges.size(), 0);
    walked[std::size_t(pickedEdge)] = 1;

    const auto walk = [&](int start, int from) {
        QList<QPointF> points;
        int current = start;
        int previous = from;
        for (int step = 0; step < kMaxWalkSteps; ++step) {
            const QPointF here = grid.node(current);
            const QPointF incoming = here - grid.node(previous);
            const double inLength = length(incoming);
            int bestEdge = -1;
            int bestNode = -1;
            double bestScore = -kInf;
            for (int e : incident[std::size_t(current)]) {
                if (walked[std::size_t(e)])
                    continue;
                const int other = edges[std::size_t(e)].a == current ? edges[std::size_t(e)].b : edges[std::size_t(e)].a;
                if (other == previous)
                    continue;
                const QPointF outgoing = grid.node(other) - here;
                const double outLength = length(outgoing);
                double turn = 0.0;
                if (inLength * inLength > 1e-12 && outLength > 0.0)
                    turn = dot(incoming, outgoing) / (inLength * outLength);
                const double score = turn + std::min(outLength, 8.0 * weld) * 0.01;
                if (score > bestScore) {
                    bestScore = score;
                    bestEdge = e;
                    bestNode = other;
                }
            }
            if (bestEdge < 0)
                break;
            walked[std::size_t(bestEdge)] = 1;
            points.append(grid.node(bestNode));
            previous = current;
            current = bestNode;
        }
        return points;
    };

    const int a = edges[std::size_t(pickedEdge)].a;
    const int b = edges[std::size_t(pickedEdge)].b;
    const QList<QPointF> backward = walk(a, b);
    const QList<QPointF> forward = walk(b, a);

    QList<QPointF> raw;
    raw.reserve(backward.size() + forward.size() + 2);
    for (auto it = backward.crbegin(); it != backward.crend(); ++it)
        raw.append(*it);
    raw.append(grid.node(a));
    raw.append(grid.node(b));
    raw.append(forward);

    chain.points = simplifyChain(raw, weld);
    if (chain.points.size() < 2)
        chain.points = {segments[picked].p1(), segments[picked].p2()};
    chain.closed = chainCloses(chain.points, pickRadius);
    // A loop walked all the way round ends on its first point; the closed flag
    // already draws that edge, and a repeated point would export as a
    // zero-length line.
    if (chain.closed && chain.points.size() > 3 && length(chain.points.first() - chain.points.last()) <= 0.15 * weld)
        chain.points.removeLast();
    return chain;
}

Chain offsetChain(const Chain& input, const QPointF& click, double pickRadius)
{
    Chain result;
    QList<QPointF> chain = input.points;
    // A closed outline walks round through its closing edge; a point that
    // repeats the first would only add a zero-length edge there.
    const bool closed = input.closed && chain.size() > 2;
    if (closed && chain.size() > 3 && length(chain.last() - chain.first()) <= 1e-12)
        chain.removeLast();
    const int n = int(chain.size());
    const int edgeCount = closed ? n : n - 1;
    const auto edgeStart = [&](int e) { return chain[e]; };
    const auto edgeEnd = [&](int e) { return chain[(e + 1) % n]; };
    if (edgeCount < 1)
        return result;

    int nearest = -1;
    double nearestDistance = kInf;
    for (int e = 0; e < edgeCount; ++e) {
        const double d = distanceToSegment(click, QLineF(edgeStart(e), edgeEnd(e)));
        if (d < nearestDistance) {
            nearestDistance = d;
            nearest = e;
        }
    }
    const QPointF dir = edgeEnd(nearest) - edgeStart(nearest);
    const double dirLength = length(dir);
    if (dirLength <= 1e-9)
        return result;
    const QPointF d = dir / dirLength;
    const QPointF q = closestPointOnSegment(click, QLineF(edgeStart(nearest), edgeEnd(nearest)));
    const double side = cross(d, click - q) >= 0.0 ? 1.0 : -1.0;

    std::vector<QPointF> normals;
    normals.reserve(std::size_t(edgeCount));
    for (int e = 0; e < edgeCount; ++e) {
        const QPointF v = edgeEnd(e) - edgeStart(e);
        const double l = length(v);
        normals.push_back(l <= 1e-9 ? QPointF() : QPointF(-v.y(), v.x()) * (side / l));
    }

    result.points.reserve(n);
    for (int i = 0; i < n; ++i) {
        QPointF normal;
        if (!closed && i == 0) {
            normal = normals.front();
        } else if (!closed && i == n - 1) {
            normal = normals.back();
        } else {
            // Edge i leaves vertex i; the edge before it arrives there.
            const QPointF before = normals[std::size_t((i - 1 + edgeCount) % edgeCount)];
            const QPointF after = normals[std::size_t(i % edgeCount)];
            const QPointF sum = before + after;
            const double l = length(sum);
            normal = l <= 1e-9 ? after : sum / l;
        }
        result.points.append(chain[i] + normal);
    }
    result.closed = closed || chainCloses(result.points, pickRadius);
    return result;
}

std::optional<SectionAnnotation> fitRadius(const QList<QPointF>& chain, const QPointF& click, double pickRadius)
{
    const int n = int(chain.size());
    if (n < 3)
        return std::nullopt;
    const int start = std::max(nearestChainSegment(chain, click), 0);
    QList<QPointF> window = chain.mid(std::max(start - 8, 0), std::min(start + 8, n - 1) - std::max(start - 8, 0) + 1);
    if (window.size() < 3)
        window = chain;

    const int m = int(window.size());
    const int step = std::max(m / 18, 1);
    QList<QPointF> samples;
    for (int i = 0; i < m; i += step)
        samples.append(window[i]);
    if (!(qFuzzyCompare(samples.last().x(), window.last().x()) && qFuzzyCompare(samples.last().y(), window.last().y())))
        samples.append(window.last());
    if (samples.size() < 3)
        return std::nullopt;

    const int count = int(samples.size());
    std::optional<Circle> best;
    double bestResidual = kInf;
    int bestTriple[3] = {0, 0, 0};
    int tried = 0;
    for (int i = 0; i < count && tried < kMaxRadiusTriples; ++i) {
        for (int j = i + 1; j < count && tried < kMaxRadiusTriples; ++j) {
            for (int k = j + 1; k < count && tried < kMaxRadiusTriples; ++k) {
                ++tried;
                const std::optional<Circle> circle = circleThrough(samples[i], samples[j], samples[k]);
                if (!circle || circle->radius <= 1e-6)
                    continue;
                double residual = 0.0;
                for (const QPointF& s : samples)
                    residual += std::abs(length(s - circle->center) - circle->radius);
                residual /= count;
                if (residual < bestResidual) {
                    bestResidual = residual;
                    best = circle;
                    bestTriple[0] = i;
                    bestTriple[1] = j;
                    bestTriple[2] = k;
                }
            }
        }
    }
    if (!best || !std::isfinite(bestResidual) ||
        bestResidual > std::max(0.03 * best->radius, 0.8 * pickRadius))
        return std::nullopt;

    SectionAnnotation record;
    record.kind = QStringLiteral("measure_radius");
    record.points = {samples[bestTriple[0]], samples[bestTriple[1]], samples[bestTriple[2]]};
    record.center = best->center;
    record.radius = best->radius;
    record.isMeasurement = true;
    record.label = QStringLiteral("R ") + millimetres(best->radius);
    return record;
}

} // namespace sketch
