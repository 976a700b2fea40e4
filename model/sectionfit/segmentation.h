#pragma once

#include "model/common/progress.h"
#include "model/sectionfit/fitparams.h"

#include <QPointF>

#include <vector>

// Minimum-count segmentation of one open run of chain vertices into pieces
// that one line or one arc covers within the tolerance.
//
// Whether a piece fits is (up to the fitting itself) hereditary: every
// sub-run of a fitting run fits. Then the greedy walk from the start, each
// piece as long as it can be, uses the fewest pieces, and so does the greedy
// walk from the end; the k-th break of any shortest segmentation lies
// between the two walks' k-th breaks. Each break is taken from the middle of
// that window (as far as the previous piece reaches), which keeps breaks off
// the ends of the range where a line would still reach a little into a
// neighbouring arc. Reaches are found by galloping and bisection, so the
// work is O(n log L) piece fits for n vertices and pieces of L vertices.
namespace sectionfit {

// Vertex indices of the breaks, first 0 and last pts.size() - 1; empty when
// cancelled.
std::vector<int> minimumSegmentation(const std::vector<QPointF>& pts, const SectionFitParams& params,
                                     const Progress* progress);

} // namespace sectionfit
