#pragma once

#include "model/sectionfit/fitentity.h"

#include <QPointF>

#include <limits>

// Exact deviations between a fitted entity and a piece of section chain, on
// the true geometry: segments are never sampled.
namespace sectionfit {

// Largest distance from any point of segment pq to the entity.
double maxSegmentDeviation(const QPointF& p, const QPointF& q, const FitEntity& e);

// Largest distance from the polyline pts[0..count-1] to the entity. Returns
// early, with a value above stopAbove, once one segment exceeds it.
double polylineToEntity(const QPointF* pts, int count, const FitEntity& e,
                        double stopAbove = std::numeric_limits<double>::infinity());

// True when every point of the entity lies within band of the polyline. The
// proof is by intervals of the entity that a segment covers along the
// entity's own normals, or that a vertex covers within band; it never
// answers true wrongly, and is tight except right at sharp chain corners.
bool entityCoveredBy(const FitEntity& e, const QPointF* pts, int count, double band);

// The largest distance from the entity to the polyline, as an upper bound
// within 1 % of limit: at least lowerHint, infinity when not within limit.
double entityToPolyline(const FitEntity& e, const QPointF* pts, int count, double lowerHint, double limit);

} // namespace sectionfit
