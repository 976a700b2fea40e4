#include "model/section/sectionsketch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>

#include <QPolygonF>

namespace {

constexpr double kPi = 3.14159265358979323846;

bool samePoint(const QPointF& a, const QPointF& b, double tolerance = 1e-9)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

bool containsPoint(const QList<QPointF>& points, const QPointF& p)
{
    return std::any_of(points.begin(), points.end(), [&](const QPointF& q) { return samePoint(q, p, 1e-6); });
}

// Polyline of n chords along an arc of the circle (centre, radius).
SectionLines arcSegments(const QPointF& centre, double radius, double from, double to, int n)
{
    SectionLines lines;
    for (int i = 0; i < n; ++i) {
        const double a0 = from + (to - from) * i / n;
        const double a1 = from + (to - from) * (i + 1) / n;
        lines.append(QLineF(centre + radius * QPointF(std::cos(a0), std::sin(a0)),
                            centre + radius * QPointF(std::cos(a1), std::sin(a1))));
    }
    return lines;
}

// An annotation with only the fields a case needs.
SectionAnnotation annotation(const char* kind, QList<QPointF> points, QPointF center = {}, double radius = 0.0)
{
    SectionAnnotation a;
    a.kind = kind;
    a.points = points;
    a.center = center;
    a.radius = radius;
    return a;
}

} // namespace

TEST(SectionSketch, CircleThroughThreePointsAndToolRecordKindsAndLabels)
{
    using T = sketch::Tool;
    const QList<QPointF> circleClicks{QPointF(7, 2), QPointF(2, 7), QPointF(-3, 2)};
    const QList<QPointF> collinear{QPointF(0, 0), QPointF(1, 0), QPointF(2, 0)};
    const double r2 = std::sqrt(2.0);
    struct Case {
        sketch::Tool tool;
        QList<QPointF> clicks;
        const char* kind; // empty: no record
        const char* label;
        bool measurement;
    };
    const Case cases[] = {
        {T::Line, {QPointF(1, 2), QPointF(4, 6)}, "line", "", false},
        {T::Length, {QPointF(0, 0), QPointF(3, 4)}, "measure_length", "5.00 mm", true},
        {T::Length, {QPointF(0, 0), QPointF(12.345, 0)}, "measure_length", "12.35 mm", true},
        {T::Circle, circleClicks, "circle", "", false},
        {T::Radius, circleClicks, "measure_radius", "R 5.00 mm", true},
        // Arc length takes the short way between the outer clicks.
        {T::Arc, {QPointF(1, 0), QPointF(0, 1), QPointF(-1, 0)}, "measure_arc", "Arc 3.14 mm", true},
        {T::Arc, {QPointF(2, 0), QPointF(r2, r2), QPointF(0, 2)}, "measure_arc", "Arc 3.14 mm", true},
        {T::Angle, {QPointF(1, 0), QPointF(0, 0), QPointF(0, 1)}, "measure_angle", "90.00 deg", true},
        {T::Angle, {QPointF(-3, 1), QPointF(0, 1), QPointF(5, 1)}, "measure_angle", "180.00 deg", true},
        {T::Angle, {QPointF(2, 2), QPointF(2, 2), QPointF(5, 1)}, "measure_angle", "", true}, // degenerate
        {T::Point, {QPointF(3.1, -4)}, "point_label", "(3.10, -4.00)", true},
        {T::Polygon, {QPointF(0, 0), QPointF(1, 0), QPointF(1, 1)}, "polygon", "", false},
        {T::Line, {QPointF(1, 2)}, "", "", false},
        {T::Circle, collinear, "", "", false},
        {T::Radius, collinear, "", "", false},
        {T::Polygon, {QPointF(0, 0), QPointF(1, 0)}, "", "", false},
    };
    for (const Case& c : cases) {
        const SectionAnnotation a = sketch::buildToolRecord(c.tool, c.clicks);
        SCOPED_TRACE(std::string(c.kind) + " " + c.label);
        EXPECT_EQ(a.kind, c.kind);
        if (a.kind.isEmpty())
            continue;
        EXPECT_EQ(a.label, c.label);
        EXPECT_EQ(a.isMeasurement, c.measurement);
        if (c.tool != T::Radius) {
            EXPECT_EQ(a.points, c.clicks); // the clicks are kept
        }
    }
    const SectionAnnotation circle = sketch::buildToolRecord(T::Circle, circleClicks);
    EXPECT_TRUE(samePoint(circle.center, QPointF(2, 2)));
    EXPECT_NEAR(circle.radius, 5.0, 1e-12);
    EXPECT_TRUE(sketch::buildToolRecord(T::Polygon, {QPointF(0, 0), QPointF(1, 0), QPointF(1, 1)}).closed);
    // A rectangle is normalised and keeps no clicks.
    const SectionAnnotation rect = sketch::buildToolRecord(T::Rect, {QPointF(5, 1), QPointF(2, 4)});
    EXPECT_EQ(rect.kind, "rectangle");
    EXPECT_EQ(rect.rect, QRectF(2, 1, 3, 3));
    EXPECT_TRUE(rect.points.isEmpty());
    // A circle goes through three points, unless they are collinear, coincident or microscopic.
    const auto through = sketch::circleThrough(QPointF(1, 0), QPointF(0, 1), QPointF(-1, 0));
    ASSERT_TRUE(through.has_value());
    EXPECT_TRUE(samePoint(through->center, QPointF(0, 0)));
    EXPECT_NEAR(through->radius, 1.0, 1e-12);

    const auto offCentre = sketch::circleThrough(QPointF(7, 2), QPointF(2, 7), QPointF(-3, 2));
    ASSERT_TRUE(offCentre.has_value());
    EXPECT_TRUE(samePoint(offCentre->center, QPointF(2, 2)));
    EXPECT_NEAR(offCentre->radius, 5.0, 1e-12);
    // Collinear or coincident points make no circle.
    EXPECT_FALSE(sketch::circleThrough(QPointF(0, 0), QPointF(1, 1), QPointF(3, 3)).has_value());
    EXPECT_FALSE(sketch::circleThrough(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2)).has_value());
    // A finite but microscopic circle is no circle either.
    EXPECT_FALSE(sketch::circleThrough(QPointF(0, 0), QPointF(1e-7, 0), QPointF(0, 1e-7)).has_value());
}

TEST(SectionSketch, AnnotationLinesAndSnapToTheNearestEndLineOrCircle)
{
    SectionAnnotation rect = annotation("rectangle", {});
    rect.rect = QRectF(1, 2, 4, 3);
    const SectionLines sides = sketch::annotationToLines(rect);
    ASSERT_EQ(sides.size(), 4);
    double perimeter = 0.0;
    for (int i = 0; i < 4; ++i) {
        perimeter += sides[i].length();
        EXPECT_TRUE(samePoint(sides[i].p2(), sides[(i + 1) % 4].p1())); // one closed loop
    }
    EXPECT_NEAR(perimeter, 14.0, 1e-12);

    const SectionAnnotation circle = annotation("circle", {}, QPointF(3, -1), 2.0);
    const SectionLines chords = sketch::annotationToLines(circle);
    ASSERT_EQ(chords.size(), 96);
    EXPECT_TRUE(samePoint(chords.first().p1(), chords.last().p2()));
    for (const QLineF& chord : chords)
        EXPECT_NEAR(QLineF(circle.center, chord.p1()).length(), 2.0, 1e-12);

    EXPECT_EQ(sketch::annotationToLines(annotation("measure_angle", {QPointF(1, 0), QPointF(0, 0), QPointF(0, 1)})).size(), 2);
    SectionAnnotation polygon = annotation("polygon", {QPointF(0, 0), QPointF(1, 0), QPointF(1, 1)});
    polygon.closed = true;
    const SectionLines edges = sketch::annotationToLines(polygon);
    ASSERT_EQ(edges.size(), 3);
    EXPECT_EQ(edges.last(), QLineF(QPointF(1, 1), QPointF(0, 0)));

    EXPECT_TRUE(sketch::annotationToLines(annotation("point_label", {QPointF(1, 1)})).isEmpty());
    // Snapping goes to the nearest end or line within the radius.
    const SectionLines lines{QLineF(0, 0, 10, 0), QLineF(0, 5, 10, 5)};
    // Past the end of the first segment: its end is the nearest candidate.
    EXPECT_EQ(sketch::snapPoint(QPointF(10.6, -0.4), 1.0, lines, {}, {}), QPointF(10, 0));
    EXPECT_EQ(sketch::snapPoint(QPointF(11.2, 0.3), 1.0, lines, {}, {}), QPointF(11.2, 0.3));
    // Beside the line: the foot of the perpendicular.
    EXPECT_TRUE(samePoint(sketch::snapPoint(QPointF(4, 0.7), 1.0, lines, {}, {}), QPointF(4, 0)));
    // Erased segments are not snapped to.
    EXPECT_EQ(sketch::snapPoint(QPointF(4, 0.7), 1.0, lines, {0}, {}), QPointF(4, 0.7));

    const SectionAnnotation target = annotation("circle", {}, QPointF(20, 0), 3.0);
    const QPointF onCircle = sketch::snapPoint(QPointF(23.5, 0), 1.0, lines, {}, {target});
    EXPECT_NEAR(onCircle.x(), 23.0, 1e-9);
    EXPECT_NEAR(onCircle.y(), 0.0, 1e-9);
    EXPECT_EQ(sketch::snapPoint(QPointF(23.5, 0), 1.0, lines, {}, {target}, 0), QPointF(23.5, 0));
}

TEST(SectionSketch, TraceFollowsOutlinesInAnyOrderStopsAtOpenEndsSkipsErasedAndWeldsGaps)
{
    // A 10 x 6 rectangle in eight pieces, shuffled and partly reversed, and
    // an unrelated segment that must not join.
    const SectionLines segments{QLineF(12, 6, 12, 9), QLineF(2, 3, 7, 3),   QLineF(2, 9, 7, 9),
                                QLineF(12, 3, 7, 3),  QLineF(40, 40, 50, 50), QLineF(2, 6, 2, 9),
                                QLineF(12, 9, 7, 9),  QLineF(2, 3, 2, 6),   QLineF(12, 3, 12, 6)};
    const sketch::Chain chain = sketch::traceChain(segments, {}, 1, 0.1);
    EXPECT_TRUE(chain.closed);
    // The closed flag draws the last edge: no repeated end point, which would
    // export as a zero-length line.
    EXPECT_FALSE(samePoint(chain.points.first(), chain.points.last()));
    for (const QPointF& corner : {QPointF(2, 3), QPointF(12, 3), QPointF(12, 9), QPointF(2, 9)})
        EXPECT_TRUE(containsPoint(chain.points, corner));
    // Midpoints on straight runs are simplified away; only the picked
    // segment's own end may remain, as the chain starts there.
    for (const QPointF& midpoint : {QPointF(12, 6), QPointF(2, 6), QPointF(7, 9)})
        EXPECT_FALSE(containsPoint(chain.points, midpoint));
    EXPECT_LE(chain.points.size(), 5);
    EXPECT_FALSE(containsPoint(chain.points, QPointF(45, 45)));
    const SectionLines path{QLineF(0, 0, 5, 0), QLineF(5, 0, 5, 5), QLineF(5, 5, 0, 5)};
    const sketch::Chain open = sketch::traceChain(path, {}, 1, 0.1);
    EXPECT_FALSE(open.closed);
    EXPECT_EQ(open.points.size(), 4);
    EXPECT_TRUE(samePoint(open.points.first(), QPointF(0, 0)) || samePoint(open.points.first(), QPointF(0, 5)));

    const sketch::Chain cut = sketch::traceChain(path, {2}, 1, 0.1);
    EXPECT_EQ(cut.points.size(), 3);
    EXPECT_FALSE(containsPoint(cut.points, QPointF(0, 5)));

    // Gaps of 0.05 weld (tolerance 0.8 x 0.1); at (10, 0) the walk goes on
    // straight rather than up the branch.
    const SectionLines gapped{QLineF(0, 0, 5, 0), QLineF(5.05, 0, 10, 0), QLineF(10, 0, 10, 4), QLineF(10, 0, 15, 0)};
    const sketch::Chain straight = sketch::traceChain(gapped, {}, 0, 0.1);
    ASSERT_EQ(straight.points.size(), 2);
    EXPECT_TRUE(containsPoint(straight.points, QPointF(15, 0)));
    EXPECT_TRUE(containsPoint(straight.points, QPointF(0, 0)));
}

// Closed outlines as a slice gives them: straight runs cut into short,
// shuffled pieces. Each case names a bottom-edge segment to pick and the
// outline itself for checking.
struct ClosedOutlineCase {
    const char* name;
    QList<QPointF> outline;  // corners (or circle points), counter-clockwise
    double pieceLength;      // straight runs are cut into pieces this long
    bool circle;             // every offset point lies on radius + 1 (or - 1)
};

QList<QPointF> circlePoints(const QPointF& centre, double radius, int n)
{
    QList<QPointF> points;
    for (int i = 0; i < n; ++i)
        points.append(centre + radius * QPointF(std::cos(2 * kPi * i / n), std::sin(2 * kPi * i / n)));
    return points;
}

SectionLines piecesOf(const QList<QPointF>& outline, double pieceLength)
{
    SectionLines lines;
    for (int i = 0; i < outline.size(); ++i) {
        const QPointF a = outline[i], b = outline[(i + 1) % outline.size()];
        const int pieces = std::max(1, int(std::lround(QLineF(a, b).length() / pieceLength)));
        for (int k = 0; k < pieces; ++k) {
            const QLineF piece(a + (b - a) * k / pieces, a + (b - a) * (k + 1) / pieces);
            lines.append(k % 3 == 1 ? QLineF(piece.p2(), piece.p1()) : piece); // some run backwards
        }
    }
    // Interleave the order the way a cutter's threads hand pieces back.
    SectionLines shuffled;
    for (int start = 0; start < 5; ++start)
        for (int i = start; i < lines.size(); i += 5)
            shuffled.append(lines[i]);
    return shuffled;
}

TEST(SectionSketch, ClickBesideTheBottomEdgeOfAClosedOutlineGivesAClosedOutlineOneUnitAway)
{
    const ClosedOutlineCase cases[] = {
        {"Rectangle", {QPointF(0, 0), QPointF(40, 0), QPointF(40, 25), QPointF(0, 25)}, 5.0, false},
        {"Circle", circlePoints(QPointF(0, 0), 20.0, 96), 100.0, true},
        // A plate with a slot in its top edge, its runs in 1 mm pieces that
        // the trace merges into long sides.
        {"MachinedOutline",
         {QPointF(0, 0), QPointF(60, 0), QPointF(60, 30), QPointF(35, 30), QPointF(35, 22), QPointF(25, 22),
          QPointF(25, 30), QPointF(0, 30)},
         1.0, false},
    };
    for (const ClosedOutlineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SectionLines segments = piecesOf(c.outline, c.pieceLength);
        const QPolygonF shape(c.outline.toVector());
        const double pick = 0.1;
        // The bottom-most piece, clicked 0.05 below and 0.05 above its middle.
        int bottom = 0;
        for (int i = 1; i < segments.size(); ++i)
            if (segments[i].center().y() < segments[bottom].center().y())
                bottom = i;
        const sketch::Chain traced = sketch::traceChain(segments, {}, bottom, pick);
        ASSERT_TRUE(traced.closed);

        for (const double side : {-1.0, 1.0}) {
            const bool outside = side < 0.0;
            SCOPED_TRACE(outside ? "outside" : "inside");
            const sketch::Chain offset = sketch::offsetChain(traced, segments[bottom].center() + QPointF(0, 0.05 * side), pick);
            EXPECT_TRUE(offset.closed);
            ASSERT_EQ(offset.points.size(), traced.points.size());
            for (int i = 0; i < offset.points.size(); ++i) {
                const QPointF p = offset.points[i];
                EXPECT_NEAR(QLineF(p, traced.points[i]).length(), 1.0, 1e-9);
                EXPECT_EQ(shape.containsPoint(p, Qt::OddEvenFill), !outside) << "point " << i;
                if (c.circle) {
                    EXPECT_NEAR(QLineF(p, QPointF(0, 0)).length(), 20.0 + (outside ? 1.0 : -1.0), 1e-9);
                }
            }
            // Every edge of the outline has an offset partner: the offset ring is
            // as long as the traced one plus or minus its turning.
            const auto perimeter = [](const QList<QPointF>& ring) {
                double sum = 0.0;
                for (int i = 0; i < ring.size(); ++i)
                    sum += QLineF(ring[i], ring[(i + 1) % ring.size()]).length();
                return sum;
            };
            EXPECT_EQ(perimeter(offset.points) > perimeter(traced.points), outside);
        }
    }
}

TEST(SectionSketch, RadiusFitFindsArcsOnlyAndOffsetsMoveOneUnitTowardsTheClick)
{
    const SectionLines arc = arcSegments(QPointF(4, -2), 10.0, 0.0, kPi * 0.8, 40);
    const sketch::Chain chain = sketch::traceChain(arc, {}, 20, 0.1);
    ASSERT_GE(chain.points.size(), 3);
    const auto fit = sketch::fitRadius(chain.points, arc[20].center() + QPointF(0.05, 0.05), 0.1);
    ASSERT_TRUE(fit.has_value());
    EXPECT_EQ(fit->kind, "measure_radius");
    EXPECT_EQ(fit->label, "R 10.00 mm");
    EXPECT_TRUE(samePoint(fit->center, QPointF(4, -2), 1e-6));
    EXPECT_EQ(fit->points.size(), 3);
    EXPECT_TRUE(fit->isMeasurement);
    // A sharp corner of two long legs is not a circle within tolerance.
    const QList<QPointF> corner{QPointF(0, 0), QPointF(10, 0), QPointF(20, 0), QPointF(20, 10), QPointF(20, 20)};
    EXPECT_FALSE(sketch::fitRadius(corner, QPointF(19, 1), 0.1).has_value());
    EXPECT_FALSE(sketch::fitRadius({QPointF(0, 0), QPointF(1, 0), QPointF(2, 0)}, QPointF(1, 0), 0.1).has_value());
    // An offset moves one unit towards the click, along the bisector at corners.
    const sketch::Chain straightRun{{QPointF(0, 0), QPointF(10, 0), QPointF(20, 0), QPointF(30, 0)}};
    const sketch::Chain above = sketch::offsetChain(straightRun, QPointF(15, 5), 0.5);
    ASSERT_EQ(above.points.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(samePoint(above.points[i], straightRun.points[i] + QPointF(0, 1)));
    EXPECT_FALSE(above.closed);

    const sketch::Chain below = sketch::offsetChain(straightRun, QPointF(25, -0.2), 0.5);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(samePoint(below.points[i], straightRun.points[i] - QPointF(0, 1)));

    // At a corner the point moves along the bisector.
    const sketch::Chain bend{{QPointF(0, 0), QPointF(10, 0), QPointF(10, 10)}};
    // Inside the corner: left of the first segment.
    const sketch::Chain inside = sketch::offsetChain(bend, QPointF(5, 2), 0.5);
    ASSERT_EQ(inside.points.size(), 3);
    EXPECT_TRUE(samePoint(inside.points[0], QPointF(0, 1)));
    EXPECT_TRUE(samePoint(inside.points[1], QPointF(10 - std::sqrt(0.5), std::sqrt(0.5))));
    EXPECT_TRUE(samePoint(inside.points[2], QPointF(9, 10)));

    // A zero-length nearest segment gives no side.
    EXPECT_TRUE(sketch::offsetChain(sketch::Chain{{QPointF(1, 1), QPointF(1, 1)}}, QPointF(2, 2), 0.5).points.isEmpty());
}
