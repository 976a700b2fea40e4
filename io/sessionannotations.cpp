#include "io/sessionannotations.h"

#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The kinds the section canvas draws.
bool isKnownKind(const QString& kind)
{
    static const QSet<QString> kinds{
        QStringLiteral("line"),          QStringLiteral("circle"),        QStringLiteral("arc"),
        QStringLiteral("rectangle"),     QStringLiteral("polygon"),       QStringLiteral("contour_piece"),
        QStringLiteral("offset"),        QStringLiteral("measure_length"), QStringLiteral("measure_radius"),
        QStringLiteral("measure_arc"),   QStringLiteral("measure_angle"), QStringLiteral("point_label")};
    return kinds.contains(kind);
}

QJsonArray pair(const QPointF& p)
{
    return QJsonArray{p.x(), p.y()};
}

bool finiteNumber(const QJsonValue& v, double* out)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return false;
    *out = v.toDouble();
    return true;
}

// count finite numbers from an array of exactly that length.
bool numbers(const QJsonValue& v, int count, double* out)
{
    if (!v.isArray() || v.toArray().size() != count)
        return false;
    const QJsonArray a = v.toArray();
    for (int i = 0; i < count; ++i)
        if (!finiteNumber(a.at(i), &out[i]))
            return false;
    return true;
}

std::optional<SectionAnnotation> annotationFromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    SectionAnnotation a;
    a.kind = o.value(QLatin1String("kind")).toString();
    if (!isKnownKind(a.kind))
        return std::nullopt;
    const QJsonValue points = o.value(QLatin1String("points"));
    if (!points.isArray())
        return std::nullopt;
    for (const QJsonValue& p : points.toArray()) {
        double xy[2];
        if (!numbers(p, 2, xy))
            return std::nullopt;
        a.points.append(QPointF(xy[0], xy[1]));
    }
    double c[2], r[4];
    if (!numbers(o.value(QLatin1String("center")), 2, c) || !numbers(o.value(QLatin1String("rect")), 4, r) ||
        !finiteNumber(o.value(QLatin1String("radius")), &a.radius) || a.radius < 0.0)
        return std::nullopt;
    a.center = QPointF(c[0], c[1]);
    a.rect = QRectF(r[0], r[1], r[2], r[3]);
    a.closed = o.value(QLatin1String("closed")).toBool(false);
    a.label = o.value(QLatin1String("label")).toString();
    a.isMeasurement = o.value(QLatin1String("isMeasurement")).toBool(false);
    return a;
}

} // namespace

QJsonArray annotationsToJson(const QList<SectionAnnotation>& annotations)
{
    QJsonArray out;
    for (const SectionAnnotation& a : annotations) {
        QJsonArray points;
        for (const QPointF& p : a.points)
            points.append(pair(p));
        QJsonObject o;
        o.insert(QLatin1String("kind"), a.kind);
        o.insert(QLatin1String("points"), points);
        o.insert(QLatin1String("center"), pair(a.center));
        o.insert(QLatin1String("rect"), QJsonArray{a.rect.x(), a.rect.y(), a.rect.width(), a.rect.height()});
        o.insert(QLatin1String("radius"), a.radius);
        o.insert(QLatin1String("closed"), a.closed);
        o.insert(QLatin1String("label"), a.label);
        o.insert(QLatin1String("isMeasurement"), a.isMeasurement);
        out.append(o);
    }
    return out;
}

std::optional<QList<SectionAnnotation>> annotationsFromJson(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<SectionAnnotation> list;
    for (const QJsonValue& v : value.toArray())
        if (const std::optional<SectionAnnotation> a = annotationFromJson(v))
            list.append(*a);
    return list;
}

std::optional<QList<int>> indicesFromJson(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QList<int> indices;
    for (const QJsonValue& v : value.toArray()) {
        const double d = v.toDouble(-1.0);
        if (v.isDouble() && d >= 0.0 && d <= double(std::numeric_limits<int>::max()) && d == std::floor(d))
            indices.append(int(d));
    }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return indices;
}
