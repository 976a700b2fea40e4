// Section SVG: read back with QXmlStreamReader, as any SVG consumer would.
#include "export/svgwriter.h"

#include <QMap>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct Element {
    QString name;
    QMap<QString, QString> attributes;
    QString text;
};

struct Parsed {
    bool ok = false;
    QString error;
    QString viewBox;
    QList<Element> children; // direct children of <svg>
};

Parsed parse(const QString& svg)
{
    Parsed p;
    QXmlStreamReader xml(svg);
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 1) {
                if (xml.name() != QLatin1String("svg") || xml.namespaceUri() != QLatin1String("http://www.w3.org/2000/svg")) {
                    p.error = QStringLiteral("root is not an SVG element");
                    return p;
                }
                p.viewBox = xml.attributes().value(QStringLiteral("viewBox")).toString();
            } else if (depth == 2) {
                Element e;
                e.name = xml.name().toString();
                for (const QXmlStreamAttribute& a : xml.attributes())
                    e.attributes.insert(a.name().toString(), a.value().toString());
                p.children.append(e);
            }
        } else if (xml.isEndElement()) {
            --depth;
        } else if (xml.isCharacters() && depth == 2 && !p.children.isEmpty()) {
            p.children.last().text += xml.text().toString();
        }
    }
    p.ok = !xml.hasError();
    if (xml.hasError())
        p.error = xml.errorString();
    return p;
}

QString render(const SectionDxfContent& content, const ItemProgress& progress = {}, bool* finished = nullptr)
{
    QString text;
    QTextStream s(&text);
    const bool done = writeSectionSvg(s, content, progress);
    if (finished)
        *finished = done;
    s.flush();
    return text;
}

SectionDxfContent withLines(const SectionLines& lines)
{
    SectionDxfContent c;
    c.lines = &lines;
    for (int i = 0; i < int(lines.size()); ++i)
        c.visibleIndices.push_back(i);
    return c;
}

SectionAnnotation annotation(const char* kind, QList<QPointF> points, bool measurement = false, QString label = {})
{
    SectionAnnotation a;
    a.kind = QString::fromLatin1(kind);
    a.points = std::move(points);
    a.isMeasurement = measurement;
    a.label = std::move(label);
    return a;
}

QList<Element> named(const Parsed& p, const char* name)
{
    QList<Element> out;
    for (const Element& e : p.children)
        if (e.name == QLatin1String(name))
            out.append(e);
    return out;
}

} // namespace

TEST(SectionSvg, LinesWithFlippedYUnitHighViewBoxSixDigitsErasedLeftOutAndKeptRed)
{
    const SectionLines lines{QLineF(0, 0, 10, 0)};
    const QString svg = render(withLines(lines));
    EXPECT_TRUE(svg.startsWith(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 -0 10 1\">\n")));
    EXPECT_TRUE(svg.endsWith(QStringLiteral("</svg>\n")));
    EXPECT_TRUE(svg.contains(QStringLiteral(
        "\n  <line x1=\"0\" y1=\"-0\" x2=\"10\" y2=\"-0\" stroke=\"#f7e45b\" stroke-width=\"0.8\" />\n")));
    const Parsed p = parse(svg);
    ASSERT_TRUE(p.ok) << p.error.toStdString();
    EXPECT_EQ(p.viewBox, QStringLiteral("0 -0 10 1"));
    ASSERT_EQ(p.children.size(), 1);
    // Y is flipped in elements and view box.
    const SectionLines two{QLineF(2, 3, 5, 7), QLineF(-4, -1, 2, 3)};
    const Parsed q = parse(render(withLines(two)));
    ASSERT_TRUE(q.ok);
    // x from -4 to 5, section y from -1 to 7: the top edge in SVG is -7.
    EXPECT_EQ(q.viewBox, QStringLiteral("-4 -7 9 8"));
    const QList<Element> l = named(q, "line");
    ASSERT_EQ(l.size(), 2);
    EXPECT_EQ(l[0].attributes.value("y1"), QStringLiteral("-3"));
    EXPECT_EQ(l[0].attributes.value("y2"), QStringLiteral("-7"));
    EXPECT_EQ(l[1].attributes.value("y1"), QStringLiteral("1"));
    EXPECT_EQ(l[1].attributes.value("x1"), QStringLiteral("-4"));
    // Six significant digits.
    const SectionLines odd{QLineF(1234567.0, 1.0 / 3.0, 0, 0)};
    const Parsed r = parse(render(withLines(odd)));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(named(r, "line").value(0).attributes.value("x1"), QStringLiteral("1.23457e+06"));
    EXPECT_EQ(named(r, "line").value(0).attributes.value("y1"), QStringLiteral("-0.333333"));
    // Erased lines are left out and kept ones are red.
    const SectionLines three{QLineF(0, 0, 1, 0), QLineF(0, 1, 1, 1), QLineF(0, 2, 1, 2)};
    SectionDxfContent content = withLines(three);
    content.visibleIndices = {0, 2, 7}; // 1 erased; 7 is stale
    content.keptIndices = {2};
    const Parsed kept = parse(render(content));
    ASSERT_TRUE(kept.ok);
    const QList<Element> shown = named(kept, "line");
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0].attributes.value("stroke"), QStringLiteral("#f7e45b"));
    EXPECT_EQ(shown[1].attributes.value("stroke"), QStringLiteral("#ff4040"));
    EXPECT_EQ(shown[1].attributes.value("y1"), QStringLiteral("-2"));
    // Progress is asked every 64 items and can stop.
    SectionLines hundred;
    for (int i = 0; i < 100; ++i)
        hundred.append(QLineF(0, i, 1, i));
    SectionDxfContent many = withLines(hundred);
    many.annotations = {annotation("line", {QPointF(0, 0), QPointF(1, 1)})};
    QList<int> asked;
    bool done = false;
    render(many, [&](int item) { asked.append(item); return true; }, &done);
    EXPECT_TRUE(done);
    EXPECT_EQ(asked, (QList<int>{0, 64}));

    asked.clear();
    const QString partial = render(many, [&](int item) { asked.append(item); return item < 64; }, &done);
    EXPECT_FALSE(done);
    EXPECT_FALSE(partial.contains(QStringLiteral("</svg>")));
    EXPECT_EQ(partial.count(QStringLiteral("<line")), 64);
}

TEST(SectionSvg, AnnotationsAndMeasurementsByKindAndClosedPolygons)
{
    SectionAnnotation rect = annotation("rectangle", {});
    rect.rect = QRectF(1, 2, 3, 4);
    SectionAnnotation circle = annotation("measure_radius", {}, true, QStringLiteral("R 2.50"));
    circle.center = QPointF(10, 10);
    circle.radius = 2.5;
    SectionAnnotation flatCircle = annotation("circle", {QPointF(0, 0), QPointF(1, 1)}, false, QStringLiteral("x"));
    SectionDxfContent c;
    c.annotations = {annotation("measure_length", {QPointF(0, 0), QPointF(4, 2)}, true, QStringLiteral("4.47 mm")),
                     rect,
                     circle,
                     flatCircle, // radius 0: falls through to a polyline, no text
                     annotation("measure_angle", {QPointF(1, 0), QPointF(0, 0), QPointF(0, 1)}, true,
                                QStringLiteral("90.00 deg")),
                     annotation("point_label", {QPointF(3, -3)}, false, QStringLiteral("P1")),
                     annotation("point_label", {QPointF(4, 4)}, true)};
    const Parsed p = parse(render(c));
    ASSERT_TRUE(p.ok) << p.error.toStdString();

    const QList<Element> lines = named(p, "line");
    ASSERT_EQ(lines.size(), 3);
    for (const Element& e : lines) {
        EXPECT_EQ(e.attributes.value("stroke"), QStringLiteral("#00cc00"));
        EXPECT_EQ(e.attributes.value("stroke-width"), QStringLiteral("1.1"));
    }
    // The angle's legs both start at its vertex.
    EXPECT_EQ(lines[1].attributes.value("x1"), QStringLiteral("0"));
    EXPECT_EQ(lines[1].attributes.value("x2"), QStringLiteral("1"));
    EXPECT_EQ(lines[2].attributes.value("y2"), QStringLiteral("-1"));

    const QList<Element> rects = named(p, "rect");
    ASSERT_EQ(rects.size(), 1);
    EXPECT_EQ(rects[0].attributes.value("y"), QStringLiteral("-6"));
    EXPECT_EQ(rects[0].attributes.value("height"), QStringLiteral("4"));
    EXPECT_EQ(rects[0].attributes.value("stroke"), QStringLiteral("#f38ba8"));

    const QList<Element> circles = named(p, "circle");
    ASSERT_EQ(circles.size(), 3);
    EXPECT_EQ(circles[0].attributes.value("cy"), QStringLiteral("-10"));
    EXPECT_EQ(circles[0].attributes.value("r"), QStringLiteral("2.5"));
    EXPECT_EQ(circles[0].attributes.value("fill"), QStringLiteral("none"));
    EXPECT_EQ(circles[1].attributes.value("r"), QStringLiteral("0.7"));
    EXPECT_EQ(circles[1].attributes.value("fill"), QStringLiteral("#f38ba8"));
    EXPECT_EQ(circles[1].attributes.value("cy"), QStringLiteral("3"));
    EXPECT_EQ(circles[2].attributes.value("fill"), QStringLiteral("#00cc00"));
    EXPECT_EQ(circles[2].attributes.value("stroke"), QStringLiteral("none"));

    EXPECT_EQ(named(p, "polyline").size(), 1);

    const QList<Element> texts = named(p, "text");
    ASSERT_EQ(texts.size(), 4); // length, radius, angle, P1; the unlabelled point writes none
    EXPECT_EQ(texts[0].text, QStringLiteral("4.47 mm"));
    EXPECT_EQ(texts[0].attributes.value("x"), QStringLiteral("2"));
    EXPECT_EQ(texts[0].attributes.value("y"), QStringLiteral("-1"));
    EXPECT_EQ(texts[0].attributes.value("font-size"), QStringLiteral("3"));
    EXPECT_EQ(texts[1].text, QStringLiteral("R 2.50"));
    EXPECT_EQ(texts[2].attributes.value("x"), QStringLiteral("0"));
    EXPECT_EQ(texts[3].text, QStringLiteral("P1"));
    EXPECT_EQ(texts[3].attributes.value("font-size"), QStringLiteral("2.5"));
    EXPECT_EQ(texts[3].attributes.value("fill"), QStringLiteral("#f38ba8"));
    // A closed polygon repeats the first point, without a trailing space.
    SectionAnnotation tri = annotation("polygon", {QPointF(0, 0), QPointF(5, 0), QPointF(5, 5)});
    tri.closed = true;
    SectionAnnotation open = tri;
    open.closed = false;
    SectionDxfContent polygons;
    polygons.annotations = {tri, open};
    const Parsed parsed = parse(render(polygons));
    ASSERT_TRUE(parsed.ok);
    const QList<Element> polys = named(parsed, "polyline");
    ASSERT_EQ(polys.size(), 2);
    EXPECT_EQ(polys[0].attributes.value("points"), QStringLiteral("0,-0 5,-0 5,-5 0,-0"));
    EXPECT_EQ(polys[0].attributes.value("points").split(' ').size(), 4);
    EXPECT_EQ(polys[1].attributes.value("points"), QStringLiteral("0,-0 5,-0 5,-5 "));
    EXPECT_EQ(polys[0].attributes.value("fill"), QStringLiteral("none"));
    EXPECT_EQ(polys[0].attributes.value("stroke-width"), QStringLiteral("1.1"));
    EXPECT_TRUE(named(parsed, "text").isEmpty());
}

// Arcs become path arcs in the flipped y of the file: the sweep flag of a
// counter-clockwise section arc is 0, and the bounds take in its bulge.
TEST(SectionSvg, FittedArcsArePathsWithTheSweepFlagFlippedAndBoundsCoverEveryKind)
{
    const auto arc = [](QList<QPointF> points) {
        SectionAnnotation a = annotation("arc", std::move(points));
        a.radius = 10.0;
        a.isFit = true;
        return a;
    };
    SectionDxfContent content;
    content.annotations = {arc({{10, 0}, {0, 10}, {-10, 0}}), arc({{0, 10}, {7.0710678, 7.0710678}, {10, 0}}),
                           arc({{10, 0}, {-10, 0}, {0, -10}})};
    bool finished = false;
    const Parsed p = parse(render(content, {}, &finished));
    ASSERT_TRUE(finished);
    ASSERT_TRUE(p.ok) << qPrintable(p.error);
    ASSERT_EQ(p.children.size(), 3);
    const QStringList expected{QStringLiteral("M 10 -0 A 10 10 0 0 0 -10 -0"), QStringLiteral("M 0 -10 A 10 10 0 0 1 10 -0"),
                               QStringLiteral("M 10 -0 A 10 10 0 1 0 0 10")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.children[i].name, QStringLiteral("path"));
        EXPECT_EQ(p.children[i].attributes.value(QStringLiteral("d")), expected[i]);
        EXPECT_EQ(p.children[i].attributes.value(QStringLiteral("stroke")), QStringLiteral("#1e88e5"));
    }
    const QStringList box = p.viewBox.split(QLatin1Char(' '));
    ASSERT_EQ(box.size(), 4);
    EXPECT_NEAR(box[1].toDouble(), -10.0, 1e-9); // the top of the half circle
    EXPECT_NEAR(box[3].toDouble(), 20.0, 1e-9);
    // Bounds cover rectangles and circles and skip non-finite points.
    SectionAnnotation rectangle = annotation("rectangle", {});
    rectangle.rect = QRectF(-5, -5, 2, 1);
    SectionAnnotation arcMeasure = annotation("arc", {}); // other kinds use their points only
    arcMeasure.kind = QStringLiteral("measure_arc");
    arcMeasure.center = QPointF(20, 0);
    arcMeasure.radius = 3;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    SectionDxfContent content2;
    content2.annotations = {rectangle, arcMeasure, annotation("line", {QPointF(nan, 100), QPointF(0, 1)})};
    const auto bounds = sectionSvgBounds(content2);
    ASSERT_TRUE(bounds.has_value());
    EXPECT_DOUBLE_EQ(bounds->minX, -5);
    EXPECT_DOUBLE_EQ(bounds->minY, -5);
    EXPECT_DOUBLE_EQ(bounds->maxX, 23);
    EXPECT_DOUBLE_EQ(bounds->maxY, 3);
    EXPECT_FALSE(sectionSvgBounds(SectionDxfContent{}).has_value());
    // A rectangle with no other content still has a box; a lone empty-kind annotation has none.
    SectionDxfContent onlyEmpty;
    onlyEmpty.annotations = {annotation("polygon", {})};
    EXPECT_FALSE(sectionSvgBounds(onlyEmpty).has_value());
}
