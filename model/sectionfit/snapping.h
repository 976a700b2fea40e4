#pragma once

#include "model/sectionfit/fitchain.h"
#include "model/sectionfit/fitparams.h"
#include "model/sectionfit/joining.h"

#include <vector>

// Design intent: sides drawn parallel to the axes and features drawn with one
// radius come out that way, when the tolerance still holds.
namespace sectionfit {

// Line pieces within the snap angle of the X or Y axis become exactly
// horizontal or vertical (through their points' centroid) when their run
// stays within the tolerance.
void snapLinesToAxes(const FitChain& chain, std::vector<Piece>& pieces, const SectionFitParams& params);

// Radii (with weights, e.g. arc lengths) grouped where neighbours in size
// differ by less than the snap fraction and the tolerance; the radius each
// should take, or 0 for one that stands alone.
std::vector<double> sharedRadii(const std::vector<double>& radii, const std::vector<double>& weights,
                                const SectionFitParams& params);

} // namespace sectionfit
