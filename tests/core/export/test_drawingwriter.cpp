#include "export/drawingwriter.h"
#include "model/drawing/drawingedges.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

// The drawing of the edges as SVG, or as DXF.
QString svgOf(const std::vector<DrawingEdge2D>& edges, bool dxf = false)
{
    QString text;
    QTextStream out(&text);
    if (dxf)
        writeDrawingDxf(out, makeDrawingExportContext(edges));
    else
        writeDrawingSvg(out, makeDrawingExportContext(edges));
    out.flush();
    return text;
}

struct SvgGroup {
    QString id, cls;
    QList<QStringList> lines; // x1, y1, x2, y2 as written
};

QString svgViewBox;

QList<SvgGroup> parseSvg(const QString& text)
{
    QList<SvgGroup> groups;
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto a = xml.attributes();
        if (xml.name() == QLatin1String("svg"))
            svgViewBox = a.value(QLatin1String("viewBox")).toString();
        else if (xml.name() == QLatin1String("g"))
            groups.append({a.value(QLatin1String("id")).toString(), a.value(QLatin1String("class")).toString(), {}});
        else if (xml.name() == QLatin1String("line") && !groups.isEmpty())
            groups.last().lines.append({a.value(QLatin1String("x1")).toString(), a.value(QLatin1String("y1")).toString(),
                                        a.value(QLatin1String("x2")).toString(), a.value(QLatin1String("y2")).toString()});
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return groups;
}

// The LINE entities as (layer, x1, y1, x2, y2), read pair by pair.
QList<QStringList> dxfLines(const QString& text)
{
    const QStringList rows = text.split(QLatin1Char('\n'));
    QList<QStringList> lines;
    for (int i = 0; i + 1 < rows.size(); i += 2) {
        if (rows[i] == QLatin1String("0") && rows[i + 1] == QLatin1String("LINE")) {
            QStringList entity;
            for (int k = i + 2; k + 1 < rows.size() && rows[k] != QLatin1String("0"); k += 2)
                if (rows[k] != QLatin1String("30") && rows[k] != QLatin1String("31"))
                    entity << rows[k + 1];
            lines.append(entity);
        }
    }
    return lines;
}

} // namespace

TEST(DrawingSvg, ViewBoxFlippedYPreambleElementTextAndFiveGroupsInOrder)
{
    const auto groups = parseSvg(svgOf({{0, 0, 10, 0, kDrawingFeature}}));
    EXPECT_EQ(svgViewBox, QStringLiteral("-0.5 -1.5 11 2"));
    const auto edgesUp = parseSvg(svgOf({{1, 2, 3, 4.5f, kDrawingContour}}));
    ASSERT_EQ(edgesUp[1].lines.size(), 1);
    EXPECT_EQ(edgesUp[1].lines[0], (QStringList{"1", "-2", "3", "-4.5"}));
    ASSERT_EQ(groups.size(), 5);
    // The exact preamble and element text.
    const QString text = svgOf({{0, 0, 10, 0, kDrawingSilhouette}});
    const QStringList rows = text.split(QLatin1Char('\n'));
    EXPECT_EQ(rows[0], QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_EQ(rows[1], QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"-0.5 -1.5 11 2\">"));
    EXPECT_EQ(rows[2], QStringLiteral("  <style>"));
    EXPECT_EQ(rows[8], QStringLiteral("  <g id=\"hidden\" class=\"hidden\" fill=\"none\">"));
    EXPECT_TRUE(text.contains(QStringLiteral("    <line x1=\"0\" y1=\"0\" x2=\"10\" y2=\"0\" />\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("  </g>\n</svg>\n")));
    // Five groups in order, even when empty.
    const auto five = parseSvg(svgOf({{0, 0, 5, 0, kDrawingBoundary},
                                        {0, 1, 5, 1, kDrawingFeature},
                                        {0, 2, 5, 2, kDrawingHidden},
                                        {0, 3, 5, 3, kDrawingBoundary}}));
    ASSERT_EQ(five.size(), 5);
    const QStringList ids = {"hidden", "contours", "features", "boundaries", "silhouette"};
    const QStringList classes = {"hidden", "contour", "feature", "feature", "silhouette"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(five[i].id, ids[i]);
        EXPECT_EQ(five[i].cls, classes[i]);
    }
    EXPECT_EQ(five[0].lines.size(), 1);
    EXPECT_EQ(five[1].lines.size(), 0);
    EXPECT_EQ(five[2].lines.size(), 1);
    EXPECT_EQ(five[3].lines.size(), 2);
    EXPECT_EQ(five[4].lines.size(), 0);
}

TEST(DrawingDxf, LayersByClassAndUnflippedCoordinates)
{
    const QString text = svgOf({{0, 0, 10, 0, kDrawingSilhouette},
                                {1, 2, 3, 4, kDrawingContour},
                                {0, 0, 0, 5, kDrawingFeature},
                                {1, 1, 2, 2, kDrawingBoundary},
                                {5, 5, 6, 6, kDrawingHidden},
                                {7, 7, 8, 8, 42}},
                               true);
    const auto lines = dxfLines(text);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0][0], QStringLiteral("SILHOUETTE"));
    EXPECT_EQ(lines[1], (QStringList{"CONTOUR", "1", "2", "3", "4"}));
    EXPECT_EQ(lines[2][0], QStringLiteral("FEATURE"));
    EXPECT_EQ(lines[3][0], QStringLiteral("FEATURE"));
    EXPECT_EQ(lines[4][0], QStringLiteral("HIDDEN"));
    EXPECT_EQ(lines[5][0], QStringLiteral("CONTOUR"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\nAC1009\n9\n$INSUNITS\n70\n4\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("0\nLAYER\n2\nHIDDEN\n70\n0\n62\n9\n6\nDASHED\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("0\nLAYER\n2\nSILHOUETTE\n70\n0\n62\n7\n6\nCONTINUOUS\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n30\n0.0\n11\n")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("0\nENDSEC\n0\nEOF\n")));
}

TEST(DrawingFile, ExtensionPicksFormatFailureIsReportedAndNoEdgesGiveAUnitSquare)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto context = makeDrawingExportContext({{0, 0, 10, 0, kDrawingFeature}});
    const QString dxf = dir.filePath(QStringLiteral("a.DXF"));
    const QString svg = dir.filePath(QStringLiteral("a.svg"));
    ASSERT_TRUE(writeDrawingFile(context, dxf));
    ASSERT_TRUE(writeDrawingFile(context, svg));
    QFile a(dxf), b(svg);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll().startsWith("0\nSECTION"));
    EXPECT_TRUE(b.readAll().startsWith("<?xml"));
    EXPECT_FALSE(writeDrawingFile(context, dir.filePath(QStringLiteral("missing/sub/x.svg"))));
    // The context of no edges is a unit square.
    const auto none = makeDrawingExportContext({});
    EXPECT_FLOAT_EQ(none.width, 1.0f);
    EXPECT_FLOAT_EQ(none.height, 1.0f);
    EXPECT_FLOAT_EQ(none.margin, 0.05f);
}

