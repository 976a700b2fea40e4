#include "export/exportvalidation.h"

#include <cmath>

namespace {

bool isCircleKind(const QString& kind)
{
    return kind == QLatin1String("circle") || kind == QLatin1String("measure_radius")
           || kind == QLatin1String("measure_arc");
}

void count(ExportIssueCounts& counts, const QPointF& a, const QPointF& b)
{
    if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) || !std::isfinite(b.y()))
        ++counts.nonFinite;
    else if (std::hypot(b.x() - a.x(), b.y() - a.y()) <= 1e-7)
        ++counts.zeroLength;
}

} // namespace

ExportIssueCounts countExportIssues(const SectionLines& lines, const QList<SectionAnnotation>& annotations)
{
    ExportIssueCounts counts;
    for (const QLineF& line : lines)
        count(counts, line.p1(), line.p2());
    for (const SectionAnnotation& a : annotations) {
        const QList<QPointF>& pts = a.points;
        if (pts.size() >= 2) {
            for (qsizetype i = 0; i + 1 < pts.size(); ++i)
                count(counts, pts[i], pts[i + 1]);
            if (a.closed && pts.size() > 2)
                count(counts, pts.last(), pts.first());
        }
        if (isCircleKind(a.kind) && a.radius > 0.0 && std::isfinite(a.center.x()) && std::isfinite(a.center.y()))
            count(counts, a.center - QPointF(a.radius, 0.0), a.center + QPointF(a.radius, 0.0));
    }
    return counts;
}
