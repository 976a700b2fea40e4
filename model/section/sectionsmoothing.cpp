// Graph smoothing: scan noise leaves the section's nodes jittering around the
// true outline. Nodes inside smooth runs drift towards their neighbours'
// midpoint; ends, junctions and real corners stay where they are, and no node
// leaves a small circle around where it started.
#include "model/mesh/pointweldgrid.h"
#include "model/section/sectionpostprocess.h"

#include <QVector2D>

#include <algorithm>
#include <cmath>

namespace {

// Up to two distinct neighbours per node; the count saturates at 3, which is
// all "exactly two neighbours" needs to know.
struct NodeNeighbours {
    int first = -1;
    int second = -1;
    int count = 0;

    void add(int other)
    {
        if (other == first || other == second || count >= 3)
            return;
        if (count == 0)
            first = other;
        else if (count == 1)
            second = other;
        ++count;
    }
};

double norm(const QPointF& p)
{
    return std::sqrt(p.x() * p.x() + p.y() * p.y());
}

} // namespace

SectionLines smoothSectionGraph(const SectionLines& lines, int strength)
{
    if (strength < 1 || lines.size() < 3)
        return lines;
    const SectionLines valid = sanitizeSectionLines(lines);
    if (valid.size() < 3)
        return valid.isEmpty() ? lines : valid;

    const SectionStatistics stats = sectionStatistics(valid);
    const double m = stats.medianLength;
    const double extent = stats.extent;
    const double radius = std::max(std::max(0.2 * m, 0.0008 * extent), 0.01);

    PointWeldGrid grid(radius, 2 * std::size_t(valid.size()));
    std::vector<std::pair<int, int>> edges;
    edges.reserve(std::size_t(valid.size()));
    std::vector<NodeNeighbours> neighbours;
    for (const QLineF& l : valid) {
        const int a = grid.weld(l.p1());
        const int b = grid.weld(l.p2());
        neighbours.resize(std::size_t(grid.nodeCount()));
        if (a == b)
            continue;
        edges.emplace_back(a, b);
        neighbours[std::size_t(a)].add(b);
        neighbours[std::size_t(b)].add(a);
    }
    const int nodeCount = grid.nodeCount();
    if (edges.size() < 3 || nodeCount < 3)
        return valid;

    const std::vector<QPointF>& start = grid.nodes();
    // Free: inside a run whose arms bend by less than about 74 degrees.
    std::vector<char> free(std::size_t(nodeCount), 0);
    for (int n = 0; n < nodeCount; ++n) {
        const NodeNeighbours& nb = neighbours[std::size_t(n)];
        if (nb.count != 2)
            continue;
        const QVector2D armA(start[std::size_t(nb.first)] - start[std::size_t(n)]);
        const QVector2D armB(start[std::size_t(nb.second)] - start[std::size_t(n)]);
        const float la = armA.length();
        const float lb = armB.length();
        free[std::size_t(n)] =
            la <= 1e-9f || lb <= 1e-9f || QVector2D::dotProduct(armA / la, armB / lb) <= -0.28f;
    }

    const double s = std::clamp(strength / 100.0, 0.0, 1.0);
    const int iterations = std::clamp(int(std::lround(7.0 * s + 2.0)), 2, 9);
    const double alpha = 0.42 * s + 0.18;
    const double stepLimit = std::max((0.006 * s + 0.004) * extent, (1.3 * s + 0.9) * m);
    const double deviationLimit = std::max((0.0012 * s + 0.0009) * extent, (0.3 * s + 0.22) * m);

    std::vector<QPointF> previous(start);
    std::vector<QPointF> next(start);
    for (int it = 0; it < iterations; ++it) {
        for (int n = 0; n < nodeCount; ++n) {
            const std::size_t i = std::size_t(n);
            if (!free[i]) {
                next[i] = previous[i];
                continue;
            }
            const NodeNeighbours& nb = neighbours[i];
            QPointF v = (previous[std::size_t(nb.first)] + previous[std::size_t(nb.second)]) * 0.5 - previous[i];
            const double len = norm(v);
            if (len > stepLimit && len > 1e-12)
                v *= stepLimit / len;
            QPointF q = previous[i] + alpha * v;
            const QPointF drift = q - start[i];
            const double driftLen = norm(drift);
            if (driftLen > deviationLimit && driftLen > 1e-12)
                q = start[i] + drift * (deviationLimit / driftLen);
            next[i] = q;
        }
        previous.swap(next);
    }

    SectionLines out;
    out.reserve(qsizetype(edges.size()));
    NodePairSet seen(edges.size());
    for (const auto& [a, b] : edges) {
        if (!seen.insert(std::uint32_t(a), std::uint32_t(b)))
            continue;
        const QLineF line(previous[std::size_t(a)], previous[std::size_t(b)]);
        if (norm(line.p2() - line.p1()) > 1e-7)
            out.append(line);
    }
    return out.isEmpty() ? valid : out;
}
