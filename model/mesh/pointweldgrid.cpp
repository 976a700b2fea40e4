#include "model/mesh/pointweldgrid.h"

#include <algorithm>
#include <cmath>

namespace {

// Cell coordinates stay far inside int64 even for absurd inputs; a non-finite
// coordinate lands in cell 0 (it never welds, its distance is NaN).
std::int64_t cellIndex(double v, double cell)
{
    const double q = std::floor(v / cell);
    if (!(q == q))
        return 0;
    constexpr double limit = 4.0e18;
    return std::int64_t(q < -limit ? -limit : (q > limit ? limit : q));
}

} // namespace

PointWeldGrid::PointWeldGrid(double radius, std::size_t expectedPoints)
    : radius_(radius >= 0.0 ? radius : 0.0), cell_(std::max(radius_, 1e-6)), cells_(expectedPoints)
{
    nodes_.reserve(expectedPoints);
    nextInCell_.reserve(expectedPoints);
}

PointWeldGrid::CellKey PointWeldGrid::cellOf(const QPointF& p) const
{
    return CellKey{cellIndex(p.x(), cell_), cellIndex(p.y(), cell_)};
}

int PointWeldGrid::weld(const QPointF& p)
{
    const double r2 = radius_ * radius_;
    int best = -1;
    double bestD2 = 0.0;
    visitNeighbourhood(p, [&](int n) {
        const QPointF d = nodes_[std::size_t(n)] - p;
        const double d2 = d.x() * d.x() + d.y() * d.y();
        if (d2 <= r2 && (best < 0 || d2 <= bestD2)) {
            best = n;
            bestD2 = d2;
        }
    });
    return best >= 0 ? best : insert(p);
}

int PointWeldGrid::insert(const QPointF& p)
{
    const int n = int(nodes_.size());
    nodes_.push_back(p);
    nextInCell_.push_back(-1);
    const auto slot = cells_.tryEmplace(cellOf(p), std::uint32_t(cellHead_.size()));
    if (slot.second) {
        cellHead_.push_back(n);
        cellTail_.push_back(n);
    } else {
        const std::uint32_t cell = *slot.first;
        nextInCell_[std::size_t(cellTail_[cell])] = n;
        cellTail_[cell] = n;
    }
    return n;
}
