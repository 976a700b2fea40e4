#pragma once

#include "model/drawing/drawingedges.h"

#include <vector>

// The 2D clean-up of a drawing's classified edges: clutter, duplicates,
// lines doubled onto stronger ones, chaining and simplification.

// Rank of an edge class when two classes fall on one line: silhouette 4,
// feature and boundary 3, contour 2, hidden 1, anything else 0.
int drawingEdgePriority(std::int32_t type);

// Keeps the clusters of edges (ends closer than 0.01 diagonal join) whose
// total length and bounding-box area reach the options' minimums.
std::vector<DrawingEdge2D> filterDrawingClutter(const std::vector<DrawingEdge2D>& edges, float diagonal,
                                                const DrawingOptions& options);

// Collapses edges whose ends quantise to the same cells (tolerance wide);
// the higher class wins, then the longer edge. Order of first appearance is
// kept.
std::vector<DrawingEdge2D> dedupeDrawingEdges(const std::vector<DrawingEdge2D>& edges, float tolerance);

// Drops every edge that lies along stronger edges over its whole length
// (within tolerance), such as a far rim hidden behind the near one, a depth
// step on an outline, or the near and far rims of a wall seen edge-on. The
// stronger edge is of a higher class, or of the same class and longer.
// Order is kept.
std::vector<DrawingEdge2D> dropCoveredDrawingEdges(const std::vector<DrawingEdge2D>& edges, float tolerance);

// Per class, joins ends closer than joinTolerance into polylines, simplifies
// them (Douglas-Peucker, epsilon) and emits the pieces again.
std::vector<DrawingEdge2D> chainAndSimplifyDrawingEdges(const std::vector<DrawingEdge2D>& edges, float joinTolerance,
                                                        float epsilon);
