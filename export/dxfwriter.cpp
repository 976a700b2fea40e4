#include "export/dxfwriter.h"

#include "model/section/sectionsketch.h"

#include <algorithm>
#include <cmath>

void DxfWriter::pair(const char* code, const QString& value)
{
    out_ << code << '\n' << value << '\n';
}

void DxfWriter::pair(const char* code, double value)
{
    // A default QTextStream writes doubles like printf("%g").
    if (digits_ > 0)
        out_ << code << '\n' << QString::number(value, 'g', digits_) << '\n';
    else
        out_ << code << '\n' << value << '\n';
}

void DxfWriter::beginEntities()
{
    out_ << "0\nSECTION\n2\nENTITIES\n";
}

void DxfWriter::endFile()
{
    out_ << "0\nENDSEC\n0\nEOF\n";
}

void DxfWriter::writeMillimetreHeader()
{
    // LWPOLYLINE needs an R2000 (AC1015) drawing.
    out_ << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1015\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n";
}

void DxfWriter::writeUnitsHeader()
{
    out_ << "0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n";
}

void DxfWriter::line(const QPointF& a, const QPointF& b, const QString& layer)
{
    pair("0", QStringLiteral("LINE"));
    pair("8", layer);
    pair("10", a.x());
    pair("20", a.y());
    pair("30", QStringLiteral("0"));
    pair("11", b.x());
    pair("21", b.y());
    pair("31", QStringLiteral("0"));
}

void DxfWriter::circle(const QPointF& centre, double radius, const QString& layer)
{
    pair("0", QStringLiteral("CIRCLE"));
    pair("8", layer);
    pair("10", centre.x());
    pair("20", centre.y());
    pair("30", QStringLiteral("0"));
    pair("40", radius);
}

void DxfWriter::arc(const QPointF& centre, double radius, double startDegrees, double endDegrees,
                    const QString& layer)
{
    pair("0", QStringLiteral("ARC"));
    pair("8", layer);
    pair("10", centre.x());
    pair("20", centre.y());
    pair("30", QStringLiteral("0"));
    pair("40", radius);
    pair("50", startDegrees);
    pair("51", endDegrees);
}

void DxfWriter::point(const QPointF& p, const QString& layer)
{
    pair("0", QStringLiteral("POINT"));
    pair("8", layer);
    pair("10", p.x());
    pair("20", p.y());
    pair("30", QStringLiteral("0"));
}

void DxfWriter::text(const QPointF& position, const QString& text, const QString& layer)
{
    if (text.isEmpty())
        return;
    pair("0", QStringLiteral("TEXT"));
    pair("8", layer);
    pair("10", position.x());
    pair("20", position.y());
    pair("30", QStringLiteral("0"));
    pair("40", QStringLiteral("2.0"));
    pair("1", text);
}

void DxfWriter::polyline(const QList<QPointF>& points, bool closed, const QString& layer)
{
    pair("0", QStringLiteral("LWPOLYLINE"));
    pair("100", QStringLiteral("AcDbEntity"));
    pair("8", layer);
    pair("100", QStringLiteral("AcDbPolyline"));
    pair("90", QString::number(points.size()));
    pair("70", closed ? QStringLiteral("1") : QStringLiteral("0"));
    for (const QPointF& p : points) {
        pair("10", p.x());
        pair("20", p.y());
    }
}

void writeDxfText(QTextStream& stream, const QPointF& position, const QString& text, const QString& layer)
{
    DxfWriter(stream).text(position, text, layer);
}

namespace {

void writeChain(DxfWriter& w, const QList<QPointF>& pts, bool closed, const QString& layer)
{
    for (qsizetype i = 0; i + 1 < pts.size(); ++i)
        w.line(pts[i], pts[i + 1], layer);
    if (closed && pts.size() > 2)
        w.line(pts.last(), pts.first(), layer);
}

} // namespace

namespace {

double degreesIn360(const QPointF& v)
{
    const double d = std::atan2(v.y(), v.x()) * 180.0 / 3.14159265358979323846;
    return d < 0.0 ? d + 360.0 : (d >= 360.0 ? d - 360.0 : d);
}

// DXF ARCs run counter-clockwise: a clockwise arc is written from its end.
void writeArc(DxfWriter& w, const SectionAnnotation& a, const sketch::ArcSpan& span, const QString& layer)
{
    double from = degreesIn360(a.points[0] - span.center), to = degreesIn360(a.points[2] - span.center);
    if (span.sweep < 0.0)
        std::swap(from, to);
    w.arc(span.center, span.radius, from, to, layer);
}

} // namespace

void writeDxfAnnotation(DxfWriter& w, const SectionAnnotation& a)
{
    const QString layer = a.isFit ? QStringLiteral("FIT")
                                  : (a.isMeasurement ? QStringLiteral("MEASURE") : QStringLiteral("ANNOTATION"));
    w.setDigits(a.isFit ? 10 : 0);
    struct Restore {
        DxfWriter& w;
        ~Restore() { w.setDigits(0); }
    } restore{w};
    const QString& k = a.kind;
    const auto& pts = a.points;
    if (const std::optional<sketch::ArcSpan> span = sketch::arcSpan(a)) {
        writeArc(w, a, *span, layer);
        w.text(pts[1], a.label, layer);
    } else if ((k == QLatin1String("line") || k == QLatin1String("measure_length")) && pts.size() >= 2) {
        w.line(pts[0], pts[1], layer);
        w.text((pts[0] + pts[1]) / 2.0, a.label, layer);
    } else if ((k == QLatin1String("contour_piece") || k == QLatin1String("offset")) && pts.size() >= 2) {
        writeChain(w, pts, a.closed, layer);
        w.text(pts[pts.size() / 2], a.label, layer);
    } else if (k == QLatin1String("rectangle")) {
        const QRectF& r = a.rect;
        const QPointF tl(r.x(), r.y()), tr(r.x() + r.width(), r.y());
        const QPointF br(r.x() + r.width(), r.y() + r.height()), bl(r.x(), r.y() + r.height());
        w.line(tl, tr, layer);
        w.line(tr, br, layer);
        w.line(br, bl, layer);
        w.line(bl, tl, layer);
    } else if ((k == QLatin1String("circle") || k == QLatin1String("measure_radius")
                || k == QLatin1String("measure_arc"))
               && a.radius > 0.0) {
        w.circle(a.center, a.radius, layer);
        w.text(a.center, a.label, layer);
    } else if (k == QLatin1String("measure_angle") && pts.size() == 3) {
        w.line(pts[1], pts[0], layer);
        w.line(pts[1], pts[2], layer);
        w.text(pts[1], a.label, layer);
    } else if (k == QLatin1String("point_label") && !pts.isEmpty()) {
        w.point(pts[0], layer);
        w.text(pts[0], a.label, layer);
    } else if (pts.size() >= 2) {
        writeChain(w, pts, a.closed, layer);
    }
}

bool visitSectionContent(const SectionDxfContent& content, const ItemProgress& progress,
                         const std::function<void(const QLineF&, bool kept)>& line,
                         const std::function<void(const SectionAnnotation&)>& annotation)
{
    int item = 0;
    const auto keepGoing = [&]() { return !progress || item % 64 != 0 || progress(item); };
    if (content.lines) {
        for (int index : content.visibleIndices) {
            if (index < 0 || index >= content.lines->size())
                continue;
            if (!keepGoing())
                return false;
            line(content.lines->at(index), content.keptIndices.contains(index));
            ++item;
        }
    }
    for (const SectionAnnotation& a : content.annotations) {
        if (!keepGoing())
            return false;
        annotation(a);
        ++item;
    }
    return true;
}

bool writeSectionDxf(QTextStream& stream, const SectionDxfContent& content, const ItemProgress& progress)
{
    DxfWriter w(stream);
    if (std::any_of(content.annotations.begin(), content.annotations.end(),
                    [](const SectionAnnotation& a) { return a.isFit; }))
        w.writeUnitsHeader();
    w.beginEntities();
    const bool finished = visitSectionContent(
        content, progress,
        [&w](const QLineF& l, bool kept) {
            w.line(l.p1(), l.p2(), kept ? QStringLiteral("KEEP") : QStringLiteral("SLICE"));
        },
        [&w](const SectionAnnotation& a) { writeDxfAnnotation(w, a); });
    if (finished)
        w.endFile();
    return finished;
}

void writePolylineDxf(QTextStream& stream, const QList<QList<QPointF>>& polylines, double closeTolerance)
{
    DxfWriter w(stream);
    w.writeMillimetreHeader();
    w.beginEntities();
    for (QList<QPointF> pts : polylines) {
        if (pts.size() < 2)
            continue;
        const bool closed = pts.size() > 2 && QLineF(pts.first(), pts.last()).length() <= closeTolerance;
        if (closed)
            pts.removeLast(); // the closed flag draws the last edge
        w.polyline(pts, closed, QStringLiteral("SLICE"));
    }
    w.endFile();
}
