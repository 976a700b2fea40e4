#include "model/section/sectionsketch.h"
#include "model/section/vec2.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace sketch {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.14159265358979323846;

using vec2::cross;
using vec2::dot;
using vec2::length;

QString twoDecimals(double value)
{
    return QString::number(value, 'f', 2);
}

SectionAnnotation circleRecord(const QString& kind, const QList<QPointF>& points)
{
    SectionAnnotation record;
    if (points.size() < 3)
        return record;
    const std::optional<Circle> circle = circleThrough(points[0], points[1], points[2]);
    if (!circle)
        return record;
    record.kind = kind;
    record.points = points.mid(0, 3);
    record.center = circle->center;
    record.radius = circle->radius;
    return record;
}

// Angle in degrees at points[1]; no label when an arm has no length.
QString angleLabel(const QList<QPointF>& points)
{
    const QPointF a = points[0] - points[1];
    const QPointF c = points[2] - points[1];
    const double la = length(a);
    const double lc = length(c);
    if (la <= 1e-9 || lc <= 1e-9)
        return QString();
    const double cosine = std::clamp(dot(a, c) / (la * lc), -1.0, 1.0);
    return QStringLiteral("%1 deg").arg(twoDecimals(std::acos(cosine) * 180.0 / kPi));
}

} // namespace

bool isMeasureTool(Tool tool)
{
    return tool == Tool::Length || tool == Tool::Radius || tool == Tool::Arc || tool == Tool::Angle;
}

bool isCircleKind(const QString& kind)
{
    return kind == QLatin1String("circle") || kind == QLatin1String("measure_radius") ||
           kind == QLatin1String("measure_arc");
}

int pointsToFinish(Tool tool)
{
    switch (tool) {
    case Tool::Line:
    case Tool::Rect:
    case Tool::Length:
        return 2;
    case Tool::Circle:
    case Tool::Radius:
    case Tool::Arc:
    case Tool::Angle:
        return 3;
    case Tool::Point:
        return 1;
    default:
        return 0;
    }
}

std::optional<Circle> circleThrough(const QPointF& a, const QPointF& b, const QPointF& c)
{
    const double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y(), x2 = c.x(), y2 = c.y();
    const double d = 2.0 * (x1 * (y2 - y0) + x0 * (y1 - y2) + x2 * (y0 - y1));
    if (std::abs(d) < 1e-12)
        return std::nullopt;
    const double s0 = x0 * x0 + y0 * y0;
    const double s1 = x1 * x1 + y1 * y1;
    const double s2 = x2 * x2 + y2 * y2;
    const QPointF centre((s0 * (y1 - y2) + s1 * (y2 - y0) + s2 * (y0 - y1)) / d,
                         (s0 * (x2 - x1) + s1 * (x0 - x2) + s2 * (x1 - x0)) / d);
    const double radius = length(a - centre);
    if (!std::isfinite(radius) || radius < 1e-6)
        return std::nullopt;
    return Circle{centre, radius};
}

std::optional<ArcSpan> arcSpan(const SectionAnnotation& a)
{
    if (a.kind != QLatin1String("arc") || a.points.size() < 3 || !(a.radius > 0.0))
        return std::nullopt;
    const QPointF s = a.points[0] - a.center, e = a.points[2] - a.center;
    // Three points along an arc turn the way the arc does.
    const bool ccw = cross(a.points[1] - a.points[0], a.points[2] - a.points[1]) >= 0.0;
    double sweep = std::atan2(cross(s, e), dot(s, e));
    if (ccw && sweep <= 0.0)
        sweep += 2.0 * kPi;
    if (!ccw && sweep >= 0.0)
        sweep -= 2.0 * kPi;
    return ArcSpan{a.center, a.radius, std::atan2(s.y(), s.x()), sweep};
}

QList<QPointF> arcPoints(const ArcSpan& arc)
{
    const int chords = std::max(2, int(std::ceil(std::abs(arc.sweep) / (2.0 * kPi / 96.0))));
    QList<QPointF> out;
    for (int k = 0; k <= chords; ++k) {
        const double angle = arc.startAngle + arc.sweep * k / chords;
        out.append(arc.center + arc.radius * QPointF(std::cos(angle), std::sin(angle)));
    }
    return out;
}

bool refitThroughPoints(SectionAnnotation& a)
{
    const bool arc = a.kind == QLatin1String("arc");
    if ((!arc && !(a.isFit && a.kind == QLatin1String("circle"))) || a.points.size() < 3)
        return false;
    const std::optional<Circle> circle = circleThrough(a.points[0], a.points[1], a.points[2]);
    if (!circle)
        return false;
    a.center = circle->center;
    a.radius = circle->radius;
    return true;
}

bool rebuildCircleRecord(SectionAnnotation& a)
{
    const Tool tool = a.kind == QLatin1String("circle")           ? Tool::Circle
                      : a.kind == QLatin1String("measure_radius") ? Tool::Radius
                      : a.kind == QLatin1String("measure_arc")    ? Tool::Arc
                                                                  : Tool::Navigation;
    if (tool == Tool::Navigation || a.isFit || a.points.size() < 3)
        return false;
    SectionAnnotation rebuilt = buildToolRecord(tool, a.points.mid(0, 3));
    if (rebuilt.kind.isEmpty())
        return false;
    a.center = rebuilt.center;
    a.radius = rebuilt.radius;
    a.label = rebuilt.label;
    return true;
}

void translateAnnotation(SectionAnnotation& a, const QPointF& delta)
{
    for (QPointF& p : a.points)
        p += delta;
    a.center += delta;
    a.rect.translate(delta);
}

QPointF closestPointOnSegment(const QPointF& p, const QLineF& line)
{
    const QPointF d = line.p2() - line.p1();
    const double len2 = dot(d, d);
    if (len2 <= 1e-12)
        return line.p1();
    const double t = std::clamp(dot(p - line.p1(), d) / len2, 0.0, 1.0);
    return line.p1() + d * t;
}

double distanceToSegment(const QPointF& p, const QLineF& line)
{
    return length(p - closestPointOnSegment(p, line));
}

QString millimetres(double value)
{
    return QStringLiteral("%1 mm").arg(twoDecimals(value));
}

SectionAnnotation buildToolRecord(Tool tool, const QList<QPointF>& points)
{
    SectionAnnotation record;
    switch (tool) {
    case Tool::Line:
    case Tool::Length:
        if (points.size() < 2)
            break;
        record.kind = tool == Tool::Line ? QStringLiteral("line") : QStringLiteral("measure_length");
        record.points = {points[0], points[1]};
        if (tool == Tool::Length) {
            record.isMeasurement = true;
            record.label = millimetres(length(points[1] - points[0]));
        }
        break;
    case Tool::Rect:
        if (points.size() < 2)
            break;
        record.kind = QStringLiteral("rectangle");
        record.rect = QRectF(points[0], points[1]).normalized();
        break;
    case Tool::Circle:
        record = circleRecord(QStringLiteral("circle"), points);
        break;
    case Tool::Radius:
        record = circleRecord(QStringLiteral("measure_radius"), points);
        if (!record.kind.isEmpty()) {
            record.isMeasurement = true;
            record.label = QStringLiteral("R ") + millimetres(record.radius);
        }
        break;
    case Tool::Arc:
        record = circleRecord(QStringLiteral("measure_arc"), points);
        if (!record.kind.isEmpty()) {
            // The middle click only fixes the circle; the arc runs from the
            // first to the last click the short way round.
            const QPointF u = points[0] - record.center;
            const QPointF v = points[2] - record.center;
            const double theta = std::abs(std::atan2(cross(u, v), dot(u, v)));
            record.isMeasurement = true;
            record.label = QStringLiteral("Arc ") + millimetres(theta * record.radius);
        }
        break;
    case Tool::Angle:
        if (points.size() < 3)
            break;
        record.kind = QStringLiteral("measure_angle");
        record.points = points.mid(0, 3);
        record.isMeasurement = true;
        record.label = angleLabel(record.points);
        break;
    case Tool::Point:
        if (points.isEmpty())
            break;
        record.kind = QStringLiteral("point_label");
        record.points = {points[0]};
        record.isMeasurement = true;
        record.label = QStringLiteral("(%1, %2)").arg(twoDecimals(points[0].x()), twoDecimals(points[0].y()));
        break;
    case Tool::Polygon:
        if (points.size() < 3)
            break;
        record.kind = QStringLiteral("polygon");
        record.points = points;
        record.closed = true;
        break;
    default:
        break;
    }
    return record;
}

SectionLines annotationToLines(const SectionAnnotation& a)
{
    SectionLines lines;
    if (a.kind == QLatin1String("line") || a.kind == QLatin1String("measure_length")) {
        if (a.points.size() >= 2)
            lines.append(QLineF(a.points[0], a.points[1]));
    } else if (a.kind == QLatin1String("rectangle")) {
        const QRectF& r = a.rect;
        const QPointF c0(r.left(), r.top()), c1(r.right(), r.top()), c2(r.right(), r.bottom()), c3(r.left(), r.bottom());
        lines = {QLineF(c0, c1), QLineF(c1, c2), QLineF(c2, c3), QLineF(c3, c0)};
    } else if (isCircleKind(a.kind) && a.radius > 0.0 && std::isfinite(a.radius)) {
        // Radius and arc measurements are drawn as their whole circle, so
        // they are picked, snapped to and erased by it too.
        constexpr int kChords = 96;
        QPointF previous = a.center + QPointF(a.radius, 0.0);
        const QPointF first = previous;
        for (int k = 1; k <= kChords; ++k) {
            const double angle = k * 2.0 * kPi / kChords;
            const QPointF next = k == kChords ? first
                                              : a.center + QPointF(a.radius * std::cos(angle), a.radius * std::sin(angle));
            lines.append(QLineF(previous, next));
            previous = next;
        }
    } else if (const std::optional<ArcSpan> arc = arcSpan(a)) {
        // The chords start and end on the record's own end points, so
        // snapping finds them exactly.
        QList<QPointF> pts = arcPoints(*arc);
        pts.first() = a.points[0];
        pts.last() = a.points[2];
        for (int i = 0; i + 1 < pts.size(); ++i)
            lines.append(QLineF(pts[i], pts[i + 1]));
    } else {
        for (int i = 0; i + 1 < a.points.size(); ++i)
            lines.append(QLineF(a.points[i], a.points[i + 1]));
        if (a.closed && a.points.size() > 2)
            lines.append(QLineF(a.points.last(), a.points.first()));
    }
    return lines;
}

double distanceToAnnotation(const QPointF& p, const SectionAnnotation& a)
{
    double best = kInf;
    const SectionLines lines = annotationToLines(a);
    for (const QLineF& line : lines)
        best = std::min(best, distanceToSegment(p, line));
    if (lines.isEmpty())
        for (const QPointF& q : a.points)
            best = std::min(best, length(p - q));
    return best;
}

int nearestSegment(const QPointF& p, const SectionLines& segments, const QSet<int>& erased, double* distance)
{
    int best = -1;
    double bestDistance = kInf;
    for (int i = 0; i < segments.size(); ++i) {
        if (erased.contains(i))
            continue;
        const double d = distanceToSegment(p, segments[i]);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    if (distance)
        *distance = bestDistance;
    return best;
}

QPointF snapPoint(const QPointF& p, double radius, const SectionLines& segments, const QSet<int>& erased,
                  const QList<SectionAnnotation>& annotations, int skipAnnotation)
{
    QPointF best = p;
    double bestDistance = kInf;
    const auto consider = [&](const QPointF& candidate) {
        const double d = length(candidate - p);
        if (d < bestDistance) {
            bestDistance = d;
            best = candidate;
        }
    };
    const auto considerLine = [&](const QLineF& line) {
        const QPointF d = line.p2() - line.p1();
        if (dot(d, d) > 1e-9)
            consider(closestPointOnSegment(p, line));
        consider(line.p1());
        consider(line.p2());
    };
    for (int i = 0; i < segments.size(); ++i)
        if (!erased.contains(i))
            considerLine(segments[i]);
    for (int i = 0; i < annotations.size(); ++i)
        if (i != skipAnnotation)
            for (const QLineF& line : annotationToLines(annotations[i]))
                considerLine(line);
    return bestDistance <= radius ? best : p;
}

} // namespace sketch
