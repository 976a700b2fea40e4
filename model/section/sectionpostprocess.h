#pragma once

#include "model/mesh/meshmodel.h"
#include "model/section/sectiondefaults.h"
#include "model/section/sectionlines.h"

#include <QList>
#include <QPointF>
#include <QVector3D>

#include <vector>

// Turns a raw plane cut (one short segment per triangle, near-duplicates and
// zigzags from band cuts, small gaps from scan noise) into clean section
// vectors. Every stage is a pure function; when a stage would produce nothing
// it hands back its sanitised input, so a section never vanishes here.
//
// Strength arguments are the "2D Smooth:" value, 0 to 100.

using SectionPolyline = QList<QPointF>;

// --- whole pipeline --------------------------------------------------------

struct SectionPostProcessSettings {
    float keepRatio = 1.0f;      // fraction of the longest 3D segments kept; 1 keeps all
    int smoothStrength = kDefaultSmoothStrength; // "2D Smooth:" 0..100; 0 chains without smoothing
    float bandThickness = 0.0f;  // of the cut; 0 (|band| <= 1e-8) is the exact section
    bool smoothAndChain = true;  // false stops after cleanup (no smooth control present)
};

// Keep longest -> project -> band cleanup (band) or sanitise (exact) -> graph
// smoothing -> chaining. Exact cuts smooth with at most strength 55.
SectionLines postProcessSection(const std::vector<MeshModel::SliceSegment3D>& raw, Axis axis,
                                const SectionPostProcessSettings& settings);
// The same for a free plane with origin and in-plane unit axes u, v.
SectionLines postProcessSection(const std::vector<MeshModel::SliceSegment3D>& raw, const QVector3D& origin,
                                const QVector3D& u, const QVector3D& v, const SectionPostProcessSettings& settings);
// The stages after projection, for callers that project themselves.
SectionLines postProcessProjectedSection(const SectionLines& projected, const SectionPostProcessSettings& settings);

// --- stages ----------------------------------------------------------------

// The longest fraction of the segments, in input order; all segments tying the
// threshold length survive. The ratio is clamped to [0.01, 1]; >= 0.999 keeps all.
std::vector<MeshModel::SliceSegment3D> keepLongestSegments(const std::vector<MeshModel::SliceSegment3D>& segments,
                                                           float keepRatio);

// Finite coordinates and longer than 1e-7.
bool isValidSectionLine(const QLineF& line);
// The valid lines, in order.
SectionLines sanitizeSectionLines(const SectionLines& lines);

// Median length (element count / 2 of the ascending lengths) and extent (larger
// side of the bounding box of the end points) of the valid lines; zero when
// there are none.
struct SectionStatistics {
    double medianLength = 0.0;
    double extent = 0.0;
    int validCount = 0;
};
SectionStatistics sectionStatistics(const SectionLines& lines);

// Welds ends, merges straight degree-2 chains and (band mode) bridges facing
// open ends. Exact mode welds tighter, merges only within 6 degrees, never bridges.
SectionLines cleanupBandSection(const SectionLines& lines, bool band);

// Moves the free nodes of smooth degree-2 runs towards their neighbours'
// midpoint; ends, junctions and sharp corners stay locked.
SectionLines smoothSectionGraph(const SectionLines& lines, int strength);

// Chains into polylines, densifies and relaxes corners (strength > 0), re-emits
// the polylines as lines.
SectionLines chainAndSmoothSection(const SectionLines& lines, int strength, bool band);

// The profile's join distance over the valid lines (sectiondefaults.h);
// max(minimum, 1e-6) when there are none.
double estimateJoinTolerance(const SectionLines& lines, const JoinToleranceProfile& profile);

// Welds ends within tolerance and walks the graph: open chains from every node
// whose degree is not 2, then the remaining closed loops. A closed loop's last
// point repeats its first.
QList<SectionPolyline> chainSegmentsToPolylines(const SectionLines& lines, double tolerance);

// Splits every piece into ceil(length / step) equal parts, at most 16.
SectionPolyline densifyPolyline(const SectionPolyline& points, double step);

// Rounds corners sharper than the straight-run threshold; end points never move
// and no point strays beyond a limit tied to the mean spacing.
SectionPolyline relaxPolylineCorners(const SectionPolyline& points, int strength, bool thinMode);
