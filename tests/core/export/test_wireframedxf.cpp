#include "export/wireframedxf.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

using Segment = MeshModel::SliceSegment3D;

QString render(const std::vector<Segment>& segments, const QString& layer, const ItemProgress& progress = {},
               bool* completed = nullptr)
{
    QString text;
    QTextStream s(&text);
    const bool ok = writeWireframeDxf(s, segments, layer, progress);
    if (completed)
        *completed = ok;
    s.flush();
    return text;
}

} // namespace

TEST(WireframeDxf, LinesInsideEntitiesOnlyEverySegmentOnceInOrderAndCancelStopsBeforeTheEnd)
{
    const QString text = render({{{1.5f, -2.0f, 3.25f}, {4.0f, 5.0f, -6.5f}}}, kWireLatticeLayer);
    EXPECT_EQ(text, QStringLiteral("0\nSECTION\n2\nENTITIES\n"
                                   "0\nLINE\n8\nWIRE_LATTICE\n10\n1.5\n20\n-2\n30\n3.25\n11\n4\n21\n5\n31\n-6.5\n"
                                   "0\nENDSEC\n0\nEOF\n"));
    // Every segment once, in order.
    std::vector<Segment> segments;
    for (int i = 0; i < 1000; ++i)
        segments.push_back({{float(i), 0, 1}, {float(i), 10, 2}});
    const QStringList lines = render(segments, kWireFeatureLayer).split(QLatin1Char('\n'));
    int count = 0;
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == QLatin1String("0") && lines[i + 1] == QLatin1String("LINE")) {
            ASSERT_EQ(lines[i + 3], kWireFeatureLayer);
            ASSERT_EQ(lines[i + 5].toDouble(), double(count)); // x1 of the count-th segment
            ASSERT_EQ(lines[i + 11].toDouble(), double(count)); // x2
            ++count;
        }
    }
    EXPECT_EQ(count, 1000);
    // A cancel stops before the end.
    std::vector<Segment> same(600, Segment{{0, 0, 0}, {1, 1, 1}});
    std::vector<int> asked;
    bool completed = true;
    const QString partial = render(
        same, kWireLatticeLayer,
        [&asked](int item) {
            asked.push_back(item);
            return item < 512;
        },
        &completed);
    EXPECT_FALSE(completed);
    EXPECT_EQ(asked, (std::vector<int>{0, 256, 512}));
    EXPECT_FALSE(partial.contains(QStringLiteral("EOF")));
}

