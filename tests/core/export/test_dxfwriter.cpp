#include "export/dxfwriter.h"

#include <gtest/gtest.h>

namespace {

QString render(const std::function<void(DxfWriter&)>& body)
{
    QString text;
    QTextStream s(&text);
    DxfWriter w(s);
    body(w);
    s.flush();
    return text;
}

QString sectionText(const SectionDxfContent& content, const ItemProgress& progress = {}, bool* finished = nullptr)
{
    QString text;
    QTextStream s(&text);
    const bool done = writeSectionDxf(s, content, progress);
    if (finished)
        *finished = done;
    s.flush();
    return text;
}

int count(const QString& text, const QString& entity)
{
    return text.count(QStringLiteral("0\n") + entity + QLatin1Char('\n'));
}

SectionAnnotation annotation(const QString& kind, QList<QPointF> points, bool closed = false, QString label = {})
{
    SectionAnnotation a;
    a.kind = kind;
    a.points = std::move(points);
    a.closed = closed;
    a.label = std::move(label);
    return a;
}

} // namespace

TEST(DxfWriter, TemplatesNumberFormatAndAnnotationRulesFallingThroughInOrder)
{
    const auto write = [](const SectionAnnotation& a) {
        return render([&](DxfWriter& w) { writeDxfAnnotation(w, a); });
    };
    const QList<QPointF> tri{{0, 0}, {10, 0}, {0, 10}};
    EXPECT_EQ(count(write(annotation("polygon", tri, true)), "LINE"), 3);
    EXPECT_EQ(count(write(annotation("polygon", tri, false)), "LINE"), 2);
    const QString angle4 = write(annotation("measure_angle", tri + QList<QPointF>{{5, 5}}, false, "45"));
    EXPECT_EQ(count(angle4, "LINE"), 3);
    EXPECT_EQ(count(angle4, "TEXT"), 0);
    EXPECT_EQ(count(write(annotation("measure_angle", {{0, 0}, {1, 1}}, false, "x")), "LINE"), 1);
    const QString angle3 = write(annotation("measure_angle", tri, false, "90"));
    EXPECT_EQ(count(angle3, "LINE"), 2);
    EXPECT_EQ(count(angle3, "TEXT"), 1);

    SectionAnnotation flatCircle = annotation("circle", {{0, 0}, {3, 0}});
    EXPECT_EQ(count(write(flatCircle), "LINE"), 1);
    flatCircle.radius = 2.5;
    flatCircle.label = "R2.5";
    flatCircle.isMeasurement = true;
    const QString circle = write(flatCircle);
    EXPECT_EQ(count(circle, "CIRCLE"), 1);
    EXPECT_TRUE(circle.contains("8\nMEASURE\n"));

    SectionAnnotation rect = annotation("rectangle", {});
    rect.rect = QRectF(1, 2, 3, 4);
    const QString r = write(rect);
    EXPECT_EQ(count(r, "LINE"), 4);
    EXPECT_TRUE(r.startsWith("0\nLINE\n8\nANNOTATION\n10\n1\n20\n2\n30\n0\n11\n4\n21\n2\n"));

    const QString point = write(annotation("point_label", {{7, 8}}, false, "P1"));
    EXPECT_EQ(count(point, "POINT"), 1);
    EXPECT_EQ(count(point, "TEXT"), 1);
    // Line and text templates and the number format; no empty text.
    const QString lineText = render([](DxfWriter& w) { w.line({1234567.0, 0.5}, {1.0 / 3.0, -12.5}, "SLICE"); });
    EXPECT_EQ(lineText, QStringLiteral("0\nLINE\n8\nSLICE\n10\n1.23457e+06\n20\n0.5\n30\n0\n11\n0.333333\n21\n-12.5\n31\n0\n"));
    // Text only when not empty.
    EXPECT_TRUE(render([](DxfWriter& w) { w.text({1, 2}, QString(), "MEASURE"); }).isEmpty());
    EXPECT_EQ(render([](DxfWriter& w) { w.text({1, 2}, "R5", "MEASURE"); }),
              QStringLiteral("0\nTEXT\n8\nMEASURE\n10\n1\n20\n2\n30\n0\n40\n2.0\n1\nR5\n"));
}

TEST(DxfWriter, SectionFileSkipsErasedMarksKeptAndAsksProgressEvery64Items)
{
    const SectionLines lines{QLineF(0, 0, 1, 0), QLineF(1, 0, 1, 1), QLineF(1, 1, 0, 1)};
    SectionDxfContent content;
    content.lines = &lines;
    content.visibleIndices = {0, 2, 7};
    content.keptIndices = {2};
    bool finished = false;
    const QString text = sectionText(content, {}, &finished);
    ASSERT_TRUE(finished);
    EXPECT_TRUE(text.startsWith("0\nSECTION\n2\nENTITIES\n"));
    EXPECT_TRUE(text.endsWith("0\nENDSEC\n0\nEOF\n"));
    EXPECT_EQ(count(text, "LINE"), 2);
    EXPECT_EQ(text.count("8\nKEEP\n"), 1);
    EXPECT_EQ(text.count("8\nSLICE\n"), 1);
    // Progress is asked every 64 items and can stop.
    SectionLines many;
    for (int i = 0; i < 200; ++i)
        many.append(QLineF(i, 0, i + 1, 0));
    SectionDxfContent longContent;
    longContent.lines = &many;
    for (int i = 0; i < 200; ++i)
        longContent.visibleIndices.push_back(i);
    QList<int> asked;
    bool done = false;
    sectionText(longContent, [&](int item) { asked << item; return true; }, &done);
    EXPECT_TRUE(done);
    EXPECT_EQ(asked, (QList<int>{0, 64, 128, 192}));
    sectionText(longContent, [](int item) { return item < 64; }, &done);
    EXPECT_FALSE(done);
}

// DXF ARCs always run counter-clockwise in degrees: a clockwise arc is
// written from its end, and one through angle 0 ends below its start.
TEST(DxfWriter, FittedArcsAreCounterclockwiseDegreesOnLayerFit)
{
    const struct {
        QList<QPointF> points;
        const char* expected;
    } cases[] = {
        {{{10, 0}, {7.0710678, 7.0710678}, {0, 10}}, "50\n0\n51\n90\n"},
        {{{0, 10}, {7.0710678, 7.0710678}, {10, 0}}, "50\n0\n51\n90\n"},
        {{{0, -10}, {10, 0}, {0, 10}}, "50\n270\n51\n90\n"},
        {{{0, 10}, {-10, 0}, {0, -10}}, "50\n90\n51\n270\n"},
    };
    for (const auto& c : cases) {
        SectionDxfContent content;
        content.annotations = {annotation(QStringLiteral("arc"), c.points)};
        content.annotations[0].isFit = true;
        content.annotations[0].radius = 10.0;
        const QString text = sectionText(content);
        EXPECT_TRUE(text.startsWith(QStringLiteral("0\nSECTION\n2\nHEADER\n9\n$INSUNITS\n70\n4\n0\nENDSEC\n")));
        EXPECT_TRUE(text.contains(QStringLiteral("0\nARC\n8\nFIT\n10\n0\n20\n0\n30\n0\n40\n10\n") + c.expected))
            << qPrintable(text);
    }
    // Fitted numbers keep 10 digits; the others stay at 6, and without a fit
    // there is no header.
    SectionAnnotation line = annotation(QStringLiteral("line"), {{1.0 / 3.0, 0}, {1, 0}});
    const QString plain = render([&](DxfWriter& w) { writeDxfAnnotation(w, line); });
    line.isFit = true;
    const QString fitted = render([&](DxfWriter& w) { writeDxfAnnotation(w, line); });
    EXPECT_TRUE(plain.contains(QStringLiteral("8\nANNOTATION\n10\n0.333333\n")));
    EXPECT_TRUE(fitted.contains(QStringLiteral("8\nFIT\n10\n0.3333333333\n")));
    SectionDxfContent none;
    none.annotations = {annotation(QStringLiteral("line"), {{0, 0}, {1, 0}})};
    EXPECT_TRUE(sectionText(none).startsWith(QStringLiteral("0\nSECTION\n2\nENTITIES\n")));
}
