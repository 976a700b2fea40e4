// Reading LINEs back from DXF files we did not necessarily write.
#include "export/dxflinereader.h"
#include "export/dxfwriter.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace {

DxfLineReadResult read(const QByteArray& bytes, int maxLines = kMaxDxfReadLines)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    return readDxfLines(buffer, maxLines);
}

QByteArray lineEntity(const char* x1, const char* y1, const char* x2, const char* y2)
{
    return QByteArray("0\nLINE\n8\nSLICE\n10\n") + x1 + "\n20\n" + y1 + "\n30\n0\n11\n" + x2 + "\n21\n" + y2
           + "\n31\n0\n";
}

} // namespace

// Small files by table: the lines read and the non-finite ones skipped.
struct ReadCase {
    const char* name;
    QByteArray dxf;
    QList<QLineF> lines;
    int nonFiniteSkipped;
};

QByteArray cutBeforeSecondEndPoint()
{
    QByteArray dxf = lineEntity("1", "1", "2", "2") + lineEntity("3", "3", "4", "4");
    dxf.chop(dxf.size() - dxf.lastIndexOf("11\n"));
    return dxf;
}

const ReadCase kReadCases[] = {
    {"CrLfAndIndentedCodes",
     "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\nLINE\r\n  8\r\n0\r\n 10\r\n1.5\r\n 20\r\n2.5\r\n 30\r\n0.0\r\n"
     " 11\r\n3.5\r\n 21\r\n4.5\r\n 31\r\n0.0\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n",
     {QLineF(1.5, 2.5, 3.5, 4.5)}, 0},
    {"UnreadableNumbersReadAsZero", lineEntity("abc", "2", "", "1e999999"), {QLineF(0, 2, 0, 0)}, 0},
    {"NonFiniteLinesSkippedAndCounted",
     lineEntity("nan", "0", "1", "1") + lineEntity("0", "inf", "1", "1") + lineEntity("1", "1", "2", "2"),
     {QLineF(1, 1, 2, 2)}, 2},
    {"FileEndingInsideALineDropsOnlyThatLine", cutBeforeSecondEndPoint(), {QLineF(1, 1, 2, 2)}, 0},
    {"NoLinesInOtherEntities",
     "0\nSECTION\n2\nENTITIES\n0\nCIRCLE\n8\n0\n10\n1\n20\n1\n30\n0\n40\n2\n0\nENDSEC\n0\nEOF\n", {}, 0},
};

TEST(DxfLineReader, ReadsBackOurOwnSectionExportAndWhatSmallFilesHold)
{
    const SectionLines lines{QLineF(0, 0, 10, 0), QLineF(10, 0, 10, 5.25), QLineF(-1234567.0, 0.125, 3, 4)};
    SectionAnnotation rect;
    rect.kind = QStringLiteral("rectangle");
    rect.rect = QRectF(0, 0, 2, 1);
    SectionAnnotation circle;
    circle.kind = QStringLiteral("circle");
    circle.center = QPointF(5, 5);
    circle.radius = 2;
    circle.label = QStringLiteral("R2");
    SectionAnnotation point;
    point.kind = QStringLiteral("point_label");
    point.points = {QPointF(7, 7)};
    point.label = QStringLiteral("LINE"); // a label spelling LINE is a TEXT value after code 1, then "0"
    SectionDxfContent content;
    content.lines = &lines;
    content.visibleIndices = {0, 1, 2};
    content.annotations = {rect, circle, point};
    QString text;
    QTextStream s(&text);
    writeSectionDxf(s, content);
    s.flush();

    const DxfLineReadResult r = read(text.toUtf8());
    // 3 section lines + 4 rectangle sides; CIRCLE, POINT and TEXT are ignored.
    ASSERT_EQ(r.lines.size(), 7);
    EXPECT_EQ(r.nonFiniteSkipped, 0);
    EXPECT_EQ(r.lines[1], QLineF(10, 0, 10, 5.25));
    // Written with 6 significant digits.
    EXPECT_NEAR(r.lines[2].x1(), -1234570.0, 0.5);
    EXPECT_EQ(r.lines[6], QLineF(0, 1, 0, 0));
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.name);
        const DxfLineReadResult small = read(c.dxf);
        EXPECT_EQ(small.lines, c.lines);
        EXPECT_EQ(small.nonFiniteSkipped, c.nonFiniteSkipped);
    }
}

TEST(DxfLineReader, GarbageHugeLinesAndTheLineLimitNeitherCrashNorHoardMemory)
{
    QByteArray garbage(1 << 20, '\0');
    QRandomGenerator rng(42);
    for (char& c : garbage)
        c = char(rng.bounded(256));
    EXPECT_TRUE(read(garbage).lines.isEmpty());

    // 20 MB without a line break, then a real LINE: still found.
    QByteArray longLine(20 << 20, 'x');
    longLine += '\n';
    const DxfLineReadResult r = read(longLine + lineEntity("5", "6", "7", "8"));
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_EQ(r.lines[0], QLineF(5, 6, 7, 8));
    // It stops at the line limit.
    QByteArray dxf;
    for (int i = 0; i < 11; ++i)
        dxf += lineEntity("0", "0", "1", "1");
    EXPECT_FALSE(read(dxf, 11).tooMany);
    const DxfLineReadResult limited = read(dxf, 10);
    EXPECT_TRUE(limited.tooMany);
    EXPECT_EQ(limited.lines.size(), 10);
}

