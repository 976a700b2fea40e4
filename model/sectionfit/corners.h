#pragma once

#include "model/sectionfit/fitchain.h"

#include <vector>

// Corners of a closed chain: where it turns sharply within a short window.
// Loops are cut open at their sharpest corner, so that corner becomes a
// break of the segmentation instead of a vertex some piece must round.
namespace sectionfit {

// Turning angle (radians, 0..pi) at each distinct vertex of a closed chain,
// between the directions to the vertices window away along the chain on
// either side.
std::vector<double> cornerStrengths(const FitChain& loop, double window);

// Index of the strongest vertex; -1 when none reaches minAngle (radians).
int sharpestCorner(const std::vector<double>& strengths, double minAngle);

} // namespace sectionfit
