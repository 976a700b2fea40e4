#pragma once

#include <QPointF>

#include <optional>

namespace sectionfit {

struct Line {
    QPointF point;     // on the line (the centroid of the fitted polyline)
    QPointF direction; // unit
};

// Total least squares to the polyline as a curve (each segment weighted by
// its length), directed from its first point towards its last. Nothing for
// fewer than 2 points or no length.
std::optional<Line> fitLine(const QPointF* pts, int count);

// Foot of p on the line.
QPointF projectOntoLine(const QPointF& p, const Line& line);

} // namespace sectionfit
