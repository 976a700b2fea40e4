// Band cleanup: a band cut holds near-duplicate and zigzag segments from every
// triangle near the plane. Welding their ends into nodes and collapsing straight
// degree-2 runs leaves the few long lines the section really consists of;
// bridging closes the small gaps scan noise leaves between them.
#include "model/mesh/pointweldgrid.h"
#include "model/section/sectiongraph.h"
#include "model/section/sectionpostprocess.h"

#include <QVector2D>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Edge {
    int a = 0;
    int b = 0;
    bool alive = true;
};

struct Tolerances {
    double weldRadius = 0.0;
    double bridgeDistance = 0.0;   // 0: no bridging
    double collinearDegrees = 0.0;
};

Tolerances tolerancesFor(const SectionStatistics& stats, bool band)
{
    const double m = stats.medianLength;
    const double e = stats.extent;
    Tolerances t;
    if (band) {
        t.weldRadius = std::max(std::max(0.35 * m, 0.0016 * e), 0.02);
        t.bridgeDistance = std::max(std::max(0.25, 0.012 * e), std::max(6.0 * m, 5.0 * t.weldRadius));
        t.collinearDegrees = 14.0;
    } else {
        t.weldRadius = std::max(std::max(0.1 * m, 0.00045 * e), 0.004);
        t.collinearDegrees = 6.0;
    }
    return t;
}

class SectionGraph {
public:
    SectionGraph(const SectionLines& valid, double weldRadius) : grid_(weldRadius, 2 * std::size_t(valid.size()))
    {
        edges_.reserve(std::size_t(valid.size()));
        for (const QLineF& l : valid) {
            const int a = grid_.weld(l.p1());
            const int b = grid_.weld(l.p2());
            if (a != b)
                edges_.push_back({a, b, true});
        }
        // Merging never raises a degree and bridging adds at most one edge per node.
        std::vector<int> room(std::size_t(grid_.nodeCount()), 1);
        for (const Edge& e : edges_) {
            ++room[std::size_t(e.a)];
            ++room[std::size_t(e.b)];
        }
        adjacency_ = EdgeAdjacency(room);
        for (int i = 0; i < int(edges_.size()); ++i) {
            adjacency_.add(edges_[std::size_t(i)].a, i);
            adjacency_.add(edges_[std::size_t(i)].b, i);
        }
    }

    int edgeCount() const { return int(edges_.size()); }

    // Collapses straight degree-2 nodes until a pass changes nothing.
    void mergeChains(double collinearDegrees)
    {
        const float cosLimit = float(std::cos(collinearDegrees * kPi / 180.0));
        bool changed = true;
        for (int pass = 0; changed && pass < 50000; ++pass) {
            changed = false;
            for (int n = 0; n < grid_.nodeCount(); ++n)
                changed |= mergeAt(n, cosLimit);
        }
    }

    // Joins facing open ends across gaps in (0.2 r, maxGap].
    void bridgeGaps(double weldRadius, double maxGap)
    {
        for (int pass = 0; pass < 4; ++pass)
            if (bridgePass(weldRadius, maxGap) == 0)
                break;
    }

    SectionLines lines() const
    {
        SectionLines out;
        const bool dedupe = edges_.size() >= 2;
        NodePairSet seen(dedupe ? edges_.size() : 0);
        for (const Edge& e : edges_) {
            if (!e.alive)
                continue;
            const QLineF line(grid_.node(e.a), grid_.node(e.b));
            if (dedupe && (!seen.insert(std::uint32_t(e.a), std::uint32_t(e.b)) || !(line.length() >= 1e-7)))
                continue;
            out.append(line);
        }
        return out;
    }

private:
    int farEnd(int edge, int node) const
    {
        const Edge& e = edges_[std::size_t(edge)];
        return e.a == node ? e.b : e.a;
    }

    void kill(int edge)
    {
        Edge& e = edges_[std::size_t(edge)];
        e.alive = false;
        adjacency_.remove(e.a, edge);
        adjacency_.remove(e.b, edge);
    }

    void addEdge(int a, int b)
    {
        const int index = int(edges_.size());
        edges_.push_back({a, b, true});
        adjacency_.add(a, index);
        adjacency_.add(b, index);
    }

    QVector2D arm(int from, int to) const { return QVector2D(grid_.node(to) - grid_.node(from)); }

    bool mergeAt(int n, float cosLimit)
    {
        if (adjacency_.degree(n) != 2)
            return false;
        const int e1 = adjacency_.at(n, 0);
        const int e2 = adjacency_.at(n, 1);
        if (e1 == e2 || !edges_[std::size_t(e1)].alive || !edges_[std::size_t(e2)].alive)
            return false;
        const int a = farEnd(e1, n);
        const int b = farEnd(e2, n);
        if (a == b) {
            kill(e1);
            return true;
        }
        const QVector2D armA = arm(n, a);
        const QVector2D armB = arm(n, b);
        const float la = armA.length();
        const float lb = armB.length();
        if (la <= 1e-9f || lb <= 1e-9f) {
            kill(la <= lb ? e1 : e2);
            return true;
        }
        if (QVector2D::dotProduct(armA / la, armB / lb) > -cosLimit)
            return false;
        kill(e1);
        kill(e2);
        addEdge(a, b);
        return true;
    }

    int bridgePass(double weldRadius, double maxGap)
    {
        std::vector<int> ends;
        for (int n = 0; n < grid_.nodeCount(); ++n)
            if (adjacency_.degree(n) == 1)
                ends.push_back(n);
        // Outward direction of each end: from the other node of its edge towards it.
        std::vector<QVector2D> outward(ends.size());
        std::vector<char> hasOutward(ends.size(), 0);
        PointWeldGrid endGrid(maxGap, ends.size());
        for (std::size_t i = 0; i < ends.size(); ++i) {
            const int end = ends[i];
            const QVector2D d = arm(farEnd(adjacency_.at(end, 0), end), end);
            const float len2 = d.lengthSquared();
            if (len2 > 1e-12f) {
                outward[i] = d / std::sqrt(len2);
                hasOutward[i] = 1;
            }
            endGrid.insert(grid_.node(end)); // grid node i is ends[i]
        }

        const double minGap = 0.2 * weldRadius;
        std::vector<char> bridged(ends.size(), 0);
        int bridges = 0;
        for (int i = 0; i < int(ends.size()); ++i) {
            if (bridged[std::size_t(i)] || !hasOutward[std::size_t(i)])
                continue;
            const QPointF pa = grid_.node(ends[std::size_t(i)]);
            const QVector2D da = outward[std::size_t(i)];
            int best = -1;
            double bestCost = 0.0;
            // Only ends later in the list compete; the cheapest, then the first, wins.
            endGrid.visitNeighbourhood(pa, [&](int j) {
                if (j <= i || bridged[std::size_t(j)] || !hasOutward[std::size_t(j)])
                    return;
                const QPointF g = grid_.node(ends[std::size_t(j)]) - pa;
                const double d = std::sqrt(g.x() * g.x() + g.y() * g.y());
                if (!(d > minGap && d <= maxGap))
                    return;
                const QVector2D db = outward[std::size_t(j)];
                const double gx = g.x() / d;
                const double gy = g.y() / d;
                const double facingA = double(da.x()) * gx + double(da.y()) * gy;
                const double facingB = -(gx * double(db.x()) + gy * double(db.y()));
                const double sameWay = double(QVector2D::dotProduct(da, db));
                if (facingA < 0.0 || facingB < 0.0 || sameWay > 0.35)
                    return;
                const double cost =
                    (((1.0 - facingB) + (1.0 - facingA) + std::max(sameWay + 1.0, 0.0)) * 0.75 + 1.0) * d;
                if (best < 0 || cost < bestCost || (cost == bestCost && j < best)) {
                    best = j;
                    bestCost = cost;
                }
            });
            if (best < 0)
                continue;
            addEdge(ends[std::size_t(i)], ends[std::size_t(best)]);
            bridged[std::size_t(i)] = 1;
            bridged[std::size_t(best)] = 1;
            ++bridges;
        }
        return bridges;
    }

    PointWeldGrid grid_;
    std::vector<Edge> edges_;
    EdgeAdjacency adjacency_{std::vector<int>()};
};

} // namespace

SectionLines cleanupBandSection(const SectionLines& lines, bool band)
{
    if (lines.size() < 2)
        return lines;
    const SectionLines valid = sanitizeSectionLines(lines);
    if (valid.size() < 2)
        return valid.isEmpty() ? lines : valid;

    const Tolerances tol = tolerancesFor(sectionStatistics(valid), band);
    SectionGraph graph(valid, tol.weldRadius);
    if (graph.edgeCount() >= 2)
        graph.mergeChains(tol.collinearDegrees);
    if (band)
        graph.bridgeGaps(tol.weldRadius, tol.bridgeDistance);

    const SectionLines out = graph.lines();
    return out.isEmpty() ? valid : out;
}
