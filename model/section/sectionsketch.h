#pragma once

#include "model/section/sectionannotation.h"
#include "model/section/sectionlines.h"

#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>

#include <optional>

// Geometry behind the section sketch tools: the records each tool makes,
// snapping, tracing a contour chain through a picked segment and offsetting
// it. Distances are in section units; the canvas converts its pixel radii.
namespace sketch {

// What a left click on the canvas does.
enum class Tool : int {
    Navigation,
    Line,
    Circle,
    Rect,
    Polygon,
    Select,
    Eraser,
    AreaEraser,
    Trace,
    Offset,
    Length,
    Radius,
    Arc,
    Angle,
    Point,
};

bool isMeasureTool(Tool tool);
// Kinds drawn and bounded as a circle (center, radius).
bool isCircleKind(const QString& kind);
// Tools whose record needs this many points before it finishes by itself
// (0: never on a click, as for Polygon).
int pointsToFinish(Tool tool);

struct Circle {
    QPointF center;
    double radius = 0.0;
};

// None for (nearly) collinear points and for radii below 1e-6.
std::optional<Circle> circleThrough(const QPointF& a, const QPointF& b, const QPointF& c);

// An "arc" record runs from points[0] through points[1] to points[2] about
// `center`: its angles in radians, sweep > 0 counter-clockwise. None for a
// record without three points or a radius.
struct ArcSpan {
    QPointF center;
    double radius = 0.0;
    double startAngle = 0.0;
    double sweep = 0.0;
};
std::optional<ArcSpan> arcSpan(const SectionAnnotation& arc);
// The arc as a polyline of chords at most 360 / 96 degrees apart.
QList<QPointF> arcPoints(const ArcSpan& arc);

// After one of its points moved: an "arc", or a fitted "circle", passes
// through its three points again. False (record untouched) when they are
// collinear.
bool refitThroughPoints(SectionAnnotation& annotation);

// After one of its three points moved: a drawn "circle", "measure_radius" or
// "measure_arc" passes through them again, its label following. False
// (record untouched) for other kinds and for collinear points.
bool rebuildCircleRecord(SectionAnnotation& annotation);

// The whole annotation moved by delta.
void translateAnnotation(SectionAnnotation& annotation, const QPointF& delta);

QPointF closestPointOnSegment(const QPointF& p, const QLineF& line);
double distanceToSegment(const QPointF& p, const QLineF& line);

// "%1 mm" with two decimals.
QString millimetres(double value);

// The record a finished tool makes of its points; an empty kind when the
// points do not make one (too few, collinear circle points).
SectionAnnotation buildToolRecord(Tool tool, const QList<QPointF>& points);

// The annotation as straight lines: what merging adds to the section and
// what snapping, picking and the eraser see. Circle kinds (measurements
// included) give 96 chords of their circle.
SectionLines annotationToLines(const SectionAnnotation& annotation);

// Distance from p to what is drawn of the annotation; kinds without lines
// (point labels) count their points.
double distanceToAnnotation(const QPointF& p, const SectionAnnotation& annotation);

// Nearest segment not erased, or -1; its distance in *distance.
int nearestSegment(const QPointF& p, const SectionLines& segments, const QSet<int>& erased, double* distance);

// p moved to the nearest end or closest point of a segment not erased or of
// an annotation line, if one lies within radius. skipAnnotation (>= 0) is
// left out, so a point being dragged does not snap to its own annotation.
QPointF snapPoint(const QPointF& p, double radius, const SectionLines& segments, const QSet<int>& erased,
                  const QList<SectionAnnotation>& annotations, int skipAnnotation = -1);

struct Chain {
    QList<QPointF> points;
    bool closed = false;
};

// The connected run of section segments through segment picked; pickRadius
// sets the weld tolerance of the ends (0.8 of it) and the closing distance.
Chain traceChain(const SectionLines& segments, const QSet<int>& erased, int picked, double pickRadius);

bool chainCloses(const QList<QPointF>& points, double pickRadius);

// The chain moved one section unit towards the side of click; no points
// when the chain segment nearest to click has no direction. A closed chain
// counts its closing edge (for the side and for the normals of its end
// points) and stays closed.
Chain offsetChain(const Chain& chain, const QPointF& click, double pickRadius);

// A "measure_radius" fitted to the chain points around click, or nothing
// when no circle fits well enough.
std::optional<SectionAnnotation> fitRadius(const QList<QPointF>& chain, const QPointF& click, double pickRadius);

} // namespace sketch
