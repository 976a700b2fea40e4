#pragma once

// How sections are fitted with lines, arcs and circles. Every rule that may
// move geometry (tangency, snapping) is applied only when the two-way
// deviation bound still holds afterwards.
struct SectionFitParams {
    // Largest allowed distance, both ways, between the section chain and its
    // fitted entities, in mm.
    double tolerance = 0.05;

    // A run becomes a line rather than an arc when the best arc bulges less
    // than this fraction of the tolerance from its chord: noise on a straight
    // side must not turn it into a huge flat arc.
    double lineSagittaFraction = 0.5;

    // Neighbours (at least one of them an arc) whose directions differ by
    // less than this at their junction are refitted to meet tangentially.
    double tangentAngleDegrees = 10.0;

    // Turning, over the corner window on either side, that marks a corner.
    // Closed loops start at their sharpest corner; loops without one try
    // several starts.
    double cornerAngleDegrees = 30.0;
    // The corner window, in tolerances of chain length on each side.
    double cornerWindowTolerances = 4.0;
    // Smooth closed loops (no corner): how many start points are tried.
    int smoothLoopStarts = 4;

    // A corner's intersection point may lie this many tolerances from the
    // chain vertex it replaces; farther, the vertex itself is used.
    double cornerReachTolerances = 4.0;

    // Lines within this angle of the section's X or Y axis are made exactly
    // horizontal or vertical.
    bool snapToAxes = true;
    double axisSnapDegrees = 0.5;

    // Arcs and circles whose radii differ by less than this fraction (and by
    // less than the tolerance) share one radius, over the whole section.
    bool snapEqualRadii = true;
    double radiusSnapFraction = 0.01;

    // Arcs flatter than this radius (mm) are never used; a line serves.
    double maxArcRadius = 1.0e5;
};
