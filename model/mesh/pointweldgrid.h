#pragma once

#include "model/mesh/flathash.h"

#include <QPointF>

#include <cstdint>
#include <vector>

// Welds 2D points into numbered nodes: a point within the weld radius of an
// existing node becomes that node, anything else a new node. Nodes are bucketed
// in square cells no smaller than the radius, so a lookup only reads the 3 x 3
// cells around the point and costs the same however large the section is.
class PointWeldGrid {
public:
    explicit PointWeldGrid(double radius, std::size_t expectedPoints = 0);

    // Number of the nearest node within the radius (on equal distances the one
    // met later wins); otherwise p becomes a new node and its number returned.
    int weld(const QPointF& p);
    // Appends p as a new node without looking for a near one.
    int insert(const QPointF& p);

    int nodeCount() const { return int(nodes_.size()); }
    const QPointF& node(int index) const { return nodes_[std::size_t(index)]; }
    const std::vector<QPointF>& nodes() const { return nodes_; }
    double radius() const { return radius_; }
    double cellSize() const { return cell_; }

    // Calls visit(nodeNumber) for every node in the 3 x 3 cells around p: cells
    // row by row from lower y and lower x, nodes of a cell in insertion order.
    // Every node within one cell size of p is among them.
    template <class Visit>
    void visitNeighbourhood(const QPointF& p, Visit&& visit) const
    {
        const CellKey c = cellOf(p);
        for (std::int64_t dy = -1; dy <= 1; ++dy) {
            for (std::int64_t dx = -1; dx <= 1; ++dx) {
                const std::uint32_t* cell = cells_.find(CellKey{c.x + dx, c.y + dy});
                if (!cell)
                    continue;
                for (int n = cellHead_[*cell]; n >= 0; n = nextInCell_[std::size_t(n)])
                    visit(n);
            }
        }
    }

private:
    struct CellKey {
        std::int64_t x = 0;
        std::int64_t y = 0;
        friend bool operator==(const CellKey& a, const CellKey& b) { return a.x == b.x && a.y == b.y; }
    };
    struct CellHash {
        std::uint64_t operator()(const CellKey& k) const
        {
            return mixBits(std::uint64_t(k.x) * 0x9e3779b97f4a7c15ULL ^ std::uint64_t(k.y));
        }
    };

    CellKey cellOf(const QPointF& p) const;

    double radius_ = 0.0;
    double cell_ = 1e-6;
    std::vector<QPointF> nodes_;
    std::vector<int> nextInCell_;      // per node: next node of its cell, -1 at the end
    std::vector<int> cellHead_;        // per cell: first and last node
    std::vector<int> cellTail_;
    FlatHashMap<CellKey, CellHash> cells_;
};
