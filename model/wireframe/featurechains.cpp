#include "model/wireframe/featurechains.h"

#include "model/mesh/flathash.h"

#include <cmath>
#include <cstdint>

namespace {

struct Cell {
    std::int64_t x = 0, y = 0, z = 0;
    friend bool operator==(const Cell& a, const Cell& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
};
struct CellHash {
    std::uint64_t operator()(const Cell& c) const
    {
        return mixBits((std::uint64_t(c.x) * 0x9e3779b97f4a7c15ULL) ^ (std::uint64_t(c.y) * 0xc2b2ae3d27d4eb4fULL) ^
                       std::uint64_t(c.z));
    }
};

// Welds points into nodes within radius: cells of the radius, 27 looked up.
class WeldGrid3 {
public:
    WeldGrid3(double radius, std::size_t expected) : radius_(radius), cell_(std::max(radius, 1e-9)), cells_(expected) {}

    int weld(const Vec3f& p)
    {
        const Cell c = cellOf(p);
        int best = -1;
        double bestDistance = radius_ * radius_;
        for (std::int64_t dz = -1; dz <= 1; ++dz)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dx = -1; dx <= 1; ++dx) {
                    const std::uint32_t* head = cells_.find(Cell{c.x + dx, c.y + dy, c.z + dz});
                    if (!head)
                        continue;
                    for (int n = int(*head); n >= 0; n = next_[std::size_t(n)]) {
                        const Vec3f d = nodes_[std::size_t(n)] - p;
                        const double distance = double(dot(d, d));
                        if (distance <= bestDistance && (best < 0 || distance < bestDistance || n < best)) {
                            best = n;
                            bestDistance = distance;
                        }
                    }
                }
        if (best >= 0)
            return best;
        const int node = int(nodes_.size());
        nodes_.push_back(p);
        auto [slot, fresh] = cells_.tryEmplace(c, std::uint32_t(node));
        next_.push_back(fresh ? -1 : int(*slot));
        *slot = std::uint32_t(node);
        return node;
    }
    const std::vector<Vec3f>& nodes() const { return nodes_; }

private:
    Cell cellOf(const Vec3f& p) const
    {
        return {std::int64_t(std::floor(p.x / cell_)), std::int64_t(std::floor(p.y / cell_)),
                std::int64_t(std::floor(p.z / cell_))};
    }
    double radius_;
    double cell_;
    std::vector<Vec3f> nodes_;
    std::vector<int> next_; // per node: the next node of its cell
    FlatHashMap<Cell, CellHash> cells_;
};

} // namespace

std::vector<std::vector<Vec3f>> chainFeatureEdges(const std::vector<MeshModel::SliceSegment3D>& edges,
                                                  double weldTolerance)
{
    WeldGrid3 grid(weldTolerance, edges.size() * 2);
    struct Edge {
        int a, b;
    };
    std::vector<Edge> links;
    links.reserve(edges.size());
    for (const MeshModel::SliceSegment3D& s : edges) {
        if (!std::isfinite(s.p0.x + s.p0.y + s.p0.z + s.p1.x + s.p1.y + s.p1.z))
            continue;
        const int a = grid.weld(s.p0), b = grid.weld(s.p1);
        if (a != b)
            links.push_back({a, b});
    }
    const std::vector<Vec3f>& nodes = grid.nodes();

    // Adjacency in compressed rows, edges in input order.
    std::vector<int> start(nodes.size() + 1, 0);
    for (const Edge& e : links) {
        ++start[std::size_t(e.a) + 1];
        ++start[std::size_t(e.b) + 1];
    }
    for (std::size_t i = 1; i < start.size(); ++i)
        start[i] += start[i - 1];
    std::vector<int> incident(std::size_t(start.back()));
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (std::size_t e = 0; e < links.size(); ++e) {
        incident[std::size_t(fill[std::size_t(links[e].a)]++)] = int(e);
        incident[std::size_t(fill[std::size_t(links[e].b)]++)] = int(e);
    }
    const auto degree = [&](int n) { return start[std::size_t(n) + 1] - start[std::size_t(n)]; };
    std::vector<char> used(links.size(), 0);

    // Follows unused edges from node through edge until a node of degree
    // other than 2, or back to an already used edge (a closed loop).
    const auto walk = [&](int node, int edge) {
        std::vector<Vec3f> points{nodes[std::size_t(node)]};
        while (edge >= 0 && !used[std::size_t(edge)]) {
            used[std::size_t(edge)] = 1;
            const Edge& e = links[std::size_t(edge)];
            node = e.a == node ? e.b : e.a;
            points.push_back(nodes[std::size_t(node)]);
            if (degree(node) != 2)
                break;
            edge = -1;
            for (int k = start[std::size_t(node)]; k < start[std::size_t(node) + 1]; ++k)
                if (!used[std::size_t(incident[std::size_t(k)])])
                    edge = incident[std::size_t(k)];
        }
        return points;
    };

    std::vector<std::vector<Vec3f>> polylines;
    for (int n = 0; n < int(nodes.size()); ++n) {
        if (degree(n) == 2)
            continue;
        for (int k = start[std::size_t(n)]; k < start[std::size_t(n) + 1]; ++k)
            if (!used[std::size_t(incident[std::size_t(k)])])
                polylines.push_back(walk(n, incident[std::size_t(k)]));
    }
    for (std::size_t e = 0; e < links.size(); ++e)
        if (!used[e])
            polylines.push_back(walk(links[e].a, int(e)));
    return polylines;
}
