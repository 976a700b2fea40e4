// Slice stacks: where the cuts go and how they land in the DXF.
#include "export/slicestackdxf.h"
#include "model/section/slicestack.h"
#include "tests/core/fixtures/shapes.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

double totalLength(const SectionLines& lines)
{
    double sum = 0;
    for (const QLineF& l : lines)
        sum += l.length();
    return sum;
}

// Two 40 x 30 boxes stacked along Z with a gap: z 0..30 and 70..100.
MeshModel boxesWithGap()
{
    MeshModel a = shapes::box({40, 30, 30});
    std::vector<Vec3f> v(a.vertices.begin(), a.vertices.end());
    std::vector<Triangle> f(a.faces.begin(), a.faces.end());
    const auto base = std::uint32_t(v.size());
    for (const Vec3f& p : a.vertices)
        v.push_back({p.x, p.y, p.z + 70.0f});
    for (const Triangle& t : a.faces)
        f.push_back({t[0] + base, t[1] + base, t[2] + base});
    MeshModel m;
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    m.loadedVertices = m.vertices;
    m.loadedFaces = m.faces;
    m.updateCaches();
    return m;
}

// LINE count per layer in a DXF text.
std::map<QString, int> layerCounts(const QString& dxf)
{
    std::map<QString, int> counts;
    const QStringList lines = dxf.split(QLatin1Char('\n'));
    for (int i = 0; i + 2 < lines.size(); ++i)
        if (lines[i] == QLatin1String("LINE") && lines[i + 1] == QLatin1String("8"))
            ++counts[lines[i + 2]];
    return counts;
}

} // namespace

TEST(SliceStack, EvenPositionsAxisCoordinatesAndOneDxfLayerPerSlice)
{
    MeshModel box = shapes::box({40, 30, 100}, 4);
    SliceStackRequest request;
    request.count = 3;
    const std::vector<float> at = sliceStackPositions(box, request);
    ASSERT_EQ(at.size(), 3u);
    EXPECT_FLOAT_EQ(at[0], 25.0f);
    EXPECT_FLOAT_EQ(at[1], 50.0f);
    EXPECT_FLOAT_EQ(at[2], 75.0f);
    for (float p : at) {
        const SectionLines lines = sliceStackSection(box, request, p);
        EXPECT_NEAR(totalLength(lines), 140.0, 1e-3); // the 40 x 30 outline
        for (const QLineF& l : lines) {
            EXPECT_GE(l.x1(), -1e-4);
            EXPECT_LE(l.x1(), 40 + 1e-4);
            EXPECT_LE(l.y2(), 30 + 1e-4);
        }
    }
    // Section coordinates follow the axis: along X, lines in (y, z).
    MeshModel cyl = shapes::cylinder(10, 40, 64);
    request.axis = Axis::X;
    request.count = 4;
    const std::vector<float> alongX = sliceStackPositions(cyl, request);
    ASSERT_EQ(alongX.size(), 4u);
    EXPECT_FLOAT_EQ(alongX[0], -10.0f + 20.0f / 5.0f);
    const SectionLines cut = sliceStackSection(cyl, request, alongX[1]);
    ASSERT_FALSE(cut.isEmpty());
    double maxV = 0;
    for (const QLineF& l : cut)
        maxV = std::max({maxV, l.y1(), l.y2()});
    EXPECT_NEAR(maxV, 40.0, 1e-4); // the second section coordinate is z
    MeshModel gapped = boxesWithGap();
    SliceStackRequest stack;
    stack.count = 3; // 25 and 75 hit the boxes, 50 falls into the gap
    QString dxf;
    QTextStream out(&dxf);
    qsizetype written = -1;
    ASSERT_TRUE(writeSliceStackDxf(out, gapped, stack, {}, &written));
    out.flush();
    EXPECT_TRUE(dxf.startsWith(QStringLiteral("0\nSECTION\n2\nENTITIES\n")));
    EXPECT_TRUE(dxf.endsWith(QStringLiteral("0\nENDSEC\n0\nEOF\n")));
    const std::map<QString, int> counts = layerCounts(dxf);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_GT(counts.at(QStringLiteral("SLICE_1")), 3);
    EXPECT_EQ(counts.at(QStringLiteral("SLICE_1")), counts.at(QStringLiteral("SLICE_3")));
    EXPECT_EQ(written, counts.at(QStringLiteral("SLICE_1")) * 2);
    // Only LINEs, every z a literal 0.
    EXPECT_EQ(dxf.count(QStringLiteral("\n0\nLINE\n")) + (dxf.startsWith(QStringLiteral("0\nLINE")) ? 1 : 0),
              int(written));
    EXPECT_FALSE(dxf.contains(QStringLiteral("CIRCLE")));
    MeshModel small = shapes::box({10, 10, 10});
    SliceStackRequest five;
    five.count = 5;
    QList<int> asked;
    QString partial;
    QTextStream stream(&partial);
    EXPECT_FALSE(writeSliceStackDxf(stream, small, five, [&](int done) {
        asked.append(done);
        return done < 2;
    }));
    EXPECT_EQ(asked, (QList<int>{0, 1, 2}));
    stream.flush();
    EXPECT_FALSE(partial.contains(QStringLiteral("EOF")));
    EXPECT_FALSE(partial.contains(QStringLiteral("SLICE_3")));
    // An empty model writes an empty stack.
    MeshModel empty;
    QString none;
    QTextStream t(&none);
    EXPECT_TRUE(writeSliceStackDxf(t, empty, SliceStackRequest{}));
    t.flush();
    EXPECT_EQ(none, QStringLiteral("0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n"));
}

