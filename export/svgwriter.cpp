#include "export/svgwriter.h"

#include "model/section/sectionsketch.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
const char* const kLineColour = "#f7e45b";
const char* const kKeptColour = "#ff4040";
const char* const kAnnotationColour = "#f38ba8";
const char* const kMeasurementColour = "#00cc00";
const char* const kFitColour = "#1e88e5";

bool isCircleKind(const QString& kind)
{
    return kind == QLatin1String("circle") || kind == QLatin1String("measure_radius")
           || kind == QLatin1String("measure_arc");
}

// A default QTextStream formats doubles like printf("%g") except that it
// drops the sign of a negative zero, which a flipped y = 0 produces.
struct Num {
    double value;
};

QTextStream& operator<<(QTextStream& out, Num n)
{
    if (n.value == 0.0 && std::signbit(n.value))
        return out << "-0";
    return out << n.value;
}

class SvgElements {
public:
    explicit SvgElements(QTextStream& out) : out_(out) {}

    // Doubles go through QTextStream's default formatting, like the DXF
    // writer: 6 significant digits, "%g" style.
    void line(const QPointF& a, const QPointF& b, const char* colour, const char* width)
    {
        out_ << "  <line x1=\"" << Num{a.x()} << "\" y1=\"" << Num{-a.y()} << "\" x2=\"" << Num{b.x()} << "\" y2=\""
             << Num{-b.y()}
             << "\" stroke=\"" << colour << "\" stroke-width=\"" << width << "\" />\n";
    }
    void polyline(const QList<QPointF>& pts, bool closed, const char* colour)
    {
        out_ << "  <polyline points=\"";
        for (const QPointF& p : pts)
            out_ << Num{p.x()} << ',' << Num{-p.y()} << ' ';
        if (closed && pts.size() > 2)
            out_ << Num{pts.first().x()} << ',' << Num{-pts.first().y()};
        out_ << "\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.1\" />\n";
    }
    void rect(const QRectF& r, const char* colour)
    {
        out_ << "  <rect x=\"" << Num{r.x()} << "\" y=\"" << Num{-(r.y() + r.height())} << "\" width=\""
             << Num{r.width()} << "\" height=\"" << Num{r.height()} << "\" fill=\"none\" stroke=\"" << colour
             << "\" stroke-width=\"1.1\" />\n";
    }
    // SVG's y runs down: the flipped arc turns the other way, so the sweep
    // flag is 1 for an arc that is clockwise in section coordinates.
    void arc(const QPointF& from, const QPointF& to, const sketch::ArcSpan& span, const char* colour)
    {
        out_ << "  <path d=\"M " << Num{from.x()} << ' ' << Num{-from.y()} << " A " << Num{span.radius} << ' '
             << Num{span.radius} << " 0 " << (std::abs(span.sweep) > kPi ? 1 : 0) << ' ' << (span.sweep < 0.0 ? 1 : 0)
             << ' ' << Num{to.x()} << ' ' << Num{-to.y()} << "\" fill=\"none\" stroke=\"" << colour
             << "\" stroke-width=\"1.1\" />\n";
    }
    void circle(const QPointF& c, double radius, const char* colour)
    {
        out_ << "  <circle cx=\"" << Num{c.x()} << "\" cy=\"" << Num{-c.y()} << "\" r=\"" << Num{radius}
             << "\" fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.1\" />\n";
    }
    void marker(const QPointF& c, const char* colour)
    {
        out_ << "  <circle cx=\"" << Num{c.x()} << "\" cy=\"" << Num{-c.y()} << "\" r=\"0.7\" fill=\"" << colour
             << "\" stroke=\"none\" />\n";
    }
    // Labels are written as they are: they come from our own measure tools.
    void text(const QPointF& p, const QString& label, const char* colour, const char* size)
    {
        if (label.isEmpty())
            return;
        out_ << "  <text x=\"" << Num{p.x()} << "\" y=\"" << Num{-p.y()} << "\" fill=\"" << colour << "\" font-size=\"" << size
             << "\">" << label << "</text>\n";
    }

private:
    QTextStream& out_;
};

void writeAnnotation(SvgElements& svg, const SectionAnnotation& a)
{
    const char* colour = a.isFit ? kFitColour : (a.isMeasurement ? kMeasurementColour : kAnnotationColour);
    const QString& k = a.kind;
    const auto& pts = a.points;
    if (const std::optional<sketch::ArcSpan> span = sketch::arcSpan(a)) {
        svg.arc(pts[0], pts[2], *span, colour);
        svg.text(pts[1], a.label, colour, "3");
    } else if ((k == QLatin1String("line") || k == QLatin1String("measure_length")) && pts.size() >= 2) {
        svg.line(pts[0], pts[1], colour, "1.1");
        svg.text((pts[0] + pts[1]) / 2.0, a.label, colour, "3");
    } else if ((k == QLatin1String("contour_piece") || k == QLatin1String("offset")) && pts.size() >= 2) {
        svg.polyline(pts, a.closed, colour);
        svg.text(pts[pts.size() / 2], a.label, colour, "3");
    } else if (k == QLatin1String("rectangle")) {
        svg.rect(a.rect, colour);
    } else if (isCircleKind(k) && a.radius > 0.0) {
        svg.circle(a.center, a.radius, colour);
        svg.text(a.center, a.label, colour, "3");
    } else if (k == QLatin1String("measure_angle") && pts.size() == 3) {
        svg.line(pts[1], pts[0], colour, "1.1");
        svg.line(pts[1], pts[2], colour, "1.1");
        svg.text(pts[1], a.label, colour, "3");
    } else if (k == QLatin1String("point_label") && !pts.isEmpty()) {
        svg.marker(pts[0], colour);
        svg.text(pts[0], a.label, colour, "2.5");
    } else if (pts.size() >= 2) {
        svg.polyline(pts, a.closed, colour);
    }
}

struct BoundsAccumulator {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool any = false;

    void add(const QPointF& p)
    {
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            return;
        if (!any) {
            minX = maxX = p.x();
            minY = maxY = p.y();
            any = true;
            return;
        }
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
};

} // namespace

std::optional<SectionSvgBounds> sectionSvgBounds(const SectionDxfContent& content)
{
    BoundsAccumulator b;
    if (content.lines) {
        for (int index : content.visibleIndices) {
            if (index < 0 || index >= content.lines->size())
                continue;
            b.add(content.lines->at(index).p1());
            b.add(content.lines->at(index).p2());
        }
    }
    for (const SectionAnnotation& a : content.annotations) {
        if (a.kind == QLatin1String("rectangle")) {
            b.add(a.rect.topLeft());
            b.add(a.rect.bottomRight());
        } else if (isCircleKind(a.kind) && a.radius > 0.0) {
            b.add(a.center - QPointF(a.radius, a.radius));
            b.add(a.center + QPointF(a.radius, a.radius));
        } else if (const std::optional<sketch::ArcSpan> span = sketch::arcSpan(a)) {
            for (const QPointF& p : sketch::arcPoints(*span))
                b.add(p);
        } else {
            for (const QPointF& p : a.points)
                b.add(p);
        }
    }
    if (!b.any)
        return std::nullopt;
    return SectionSvgBounds{b.minX, b.minY, b.maxX, b.maxY};
}

bool writeSectionSvg(QTextStream& stream, const SectionDxfContent& content, const ItemProgress& progress)
{
    const SectionSvgBounds box = sectionSvgBounds(content).value_or(SectionSvgBounds{});
    const double w = std::max(box.maxX - box.minX, 1.0), h = std::max(box.maxY - box.minY, 1.0);
    stream << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" << Num{box.minX} << ' ' << Num{-box.maxY} << ' '
           << Num{w} << ' ' << Num{h} << "\">\n";

    SvgElements svg(stream);
    const bool finished = visitSectionContent(
        content, progress,
        [&svg](const QLineF& l, bool kept) { svg.line(l.p1(), l.p2(), kept ? kKeptColour : kLineColour, "0.8"); },
        [&svg](const SectionAnnotation& a) { writeAnnotation(svg, a); });
    if (finished)
        stream << "</svg>\n";
    return finished;
}
