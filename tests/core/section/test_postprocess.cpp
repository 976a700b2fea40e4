#include "model/mesh/pointweldgrid.h"
#include "model/section/qualitypresets.h"
#include "model/section/sectionpostprocess.h"
#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <QRectF>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

namespace {

using Segments = std::vector<MeshModel::SliceSegment3D>;

constexpr double kPi = 3.14159265358979323846;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

MeshModel::SliceSegment3D seg(float x0, float y0, float x1, float y1, float z = 0.0f)
{
    return {Vec3f(x0, y0, z), Vec3f(x1, y1, z)};
}

// Deterministic noise, identical on every platform.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : state_(seed * 2654435761u + 1u) {}
    double uniform(double lo, double hi)
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return lo + (hi - lo) * (double(state_) / 4294967295.0);
    }

private:
    std::uint32_t state_;
};

double totalLength(const SectionLines& lines)
{
    double sum = 0.0;
    for (const QLineF& l : lines)
        sum += l.length();
    return sum;
}

double polylineLength(const SectionPolyline& p)
{
    double sum = 0.0;
    for (qsizetype i = 0; i + 1 < p.size(); ++i)
        sum += QLineF(p[i], p[i + 1]).length();
    return sum;
}

QRectF boundsOf(const SectionLines& lines)
{
    QRectF r;
    for (const QLineF& l : lines)
        r = r.united(QRectF(l.p1(), l.p2()).normalized());
    return r;
}

double distance(const QPointF& a, const QPointF& b)
{
    return QLineF(a, b).length();
}

// Undirected line as a sortable key, for comparing line sets regardless of order.
std::set<std::array<double, 4>> undirected(const SectionLines& lines)
{
    std::set<std::array<double, 4>> out;
    for (const QLineF& l : lines) {
        std::array<double, 4> a{l.x1(), l.y1(), l.x2(), l.y2()};
        std::array<double, 4> b{l.x2(), l.y2(), l.x1(), l.y1()};
        out.insert(std::min(a, b));
    }
    return out;
}

// Polyline from p0 to p1 in pieces of about `piece` mm.
void appendRun(SectionLines& out, QPointF p0, QPointF p1, double piece)
{
    const int n = std::max(1, int(std::lround(QLineF(p0, p1).length() / piece)));
    for (int k = 0; k < n; ++k)
        out.append(QLineF(p0 + (p1 - p0) * (double(k) / n), p0 + (p1 - p0) * (double(k + 1) / n)));
}

// A circle of radius r traced by n segments, as a raw 3D cut in the z = 5 plane.
Segments circleCut(double r, int n)
{
    Segments out;
    for (int i = 0; i < n; ++i) {
        const double a0 = 2.0 * kPi * i / n;
        const double a1 = 2.0 * kPi * (i + 1) / n;
        out.push_back({Vec3f(float(r * std::cos(a0)), float(r * std::sin(a0)), 5.0f),
                       Vec3f(float(r * std::cos(a1)), float(r * std::sin(a1)), 5.0f)});
    }
    return out;
}

// What a band cut of a 100 x 60 rectangle looks like: 0.4 mm pieces of the
// outline, each `copies` times with independent jitter, zigzagging across the
// true edge by +-amplitude, in shuffled order and direction.
SectionLines noisyBandRectangle(std::uint32_t seed, double amplitude, int copies)
{
    Noise noise(seed);
    const QPointF corners[4] = {{0, 0}, {100, 0}, {100, 60}, {0, 60}};
    std::vector<QPointF> outline;
    for (int side = 0; side < 4; ++side) {
        const QPointF a = corners[side];
        const QPointF b = corners[(side + 1) % 4];
        const int n = int(QLineF(a, b).length() / 0.4);
        for (int k = 0; k < n; ++k)
            outline.push_back(a + (b - a) * (double(k) / n));
    }
    SectionLines lines;
    const std::size_t count = outline.size();
    for (int copy = 0; copy < copies; ++copy) {
        std::vector<QPointF> points;
        for (std::size_t i = 0; i < count; ++i) {
            const double zig = (i % 2 == 0 ? amplitude : -amplitude);
            points.push_back(outline[i] + QPointF(noise.uniform(-amplitude, amplitude) + zig,
                                                  noise.uniform(-amplitude, amplitude) - zig));
        }
        for (std::size_t i = 0; i < count; ++i) {
            QLineF l(points[i], points[(i + 1) % count]);
            if (noise.uniform(0, 1) < 0.5)
                l = QLineF(l.p2(), l.p1());
            lines.append(l);
        }
    }
    for (qsizetype i = lines.size() - 1; i > 0; --i)
        lines.swapItemsAt(i, qsizetype(noise.uniform(0, double(i) + 0.999)));
    return lines;
}

} // namespace

// ---------------------------------------------------------------------------

TEST(PostProcessFirstStages, KeepTheLongestInInputOrderAndDropOnlyBadLines)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<float> lengths;
        float ratio;
        std::vector<int> kept; // indices into lengths, in input order
    };
    const Case cases[] = {
        {"seven of ten", {5, 1, 9, 3, 7, 2, 10, 4, 8, 6}, 0.7f, {0, 2, 4, 6, 7, 8, 9}},
        {"ties at the threshold all survive", {2, 2, 2, 2, 2, 2, 2, 2, 1, 1}, 0.5f, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"half counts round up", {1, 2, 3, 4, 5}, 0.5f, {2, 3, 4}},
        {"ratio one keeps all", {1, 0, 1}, 1.0f, {0, 1, 2}},
        {"ratio near one keeps all", {1, 0, 1}, 0.9995f, {0, 1, 2}},
        {"ratio above one keeps all", {1, 0, 1}, 3.0f, {0, 1, 2}},
        {"zero ratio keeps the longest", {1, 2, 3, 4, 50, 6, 7, 8, 9, 10}, 0.0f, {4}},
        {"negative ratio keeps the longest", {1, 2, 3, 4, 50, 6, 7, 8, 9, 10}, -1.0f, {4}},
        {"empty", {}, 0.5f, {}},
        {"NaN length is dropped", {nan, 3, 1, 2}, 0.5f, {1, 3}},
        {"NaN ratio keeps all", {nan, 3, 1, 2}, nan, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Segments in;
        for (std::size_t i = 0; i < c.lengths.size(); ++i)
            in.push_back(seg(0, float(i), c.lengths[i], float(i)));
        const Segments out = keepLongestSegments(in, c.ratio);
        ASSERT_EQ(out.size(), c.kept.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i].p0.y, float(c.kept[i])) << i; // each input segment sits at y = its index
    }
    // Sanitizing drops only bad lines; statistics use the upper median and the larger side.
    const double inf = std::numeric_limits<double>::infinity();
    const SectionLines lines{QLineF(0, 0, 1, 0), QLineF(kNaN, 0, 1, 1), QLineF(2, 2, 3, 3), QLineF(0, 0, inf, 1),
                          QLineF(4, 4, 4, 4 + 5e-8), QLineF(5, 5, 5, 6)};
    const SectionLines sane = sanitizeSectionLines(lines);
    ASSERT_EQ(sane.size(), 3);
    EXPECT_EQ(sane[0], lines[0]);
    EXPECT_EQ(sane[1], lines[2]);
    EXPECT_EQ(sane[2], lines[5]);
    // Statistics use the upper median and the larger side of the bounds.
    const SectionStatistics stats = sectionStatistics(
        {QLineF(0, 0, 4, 0), QLineF(0, 0, 1, 0), QLineF(0, 0, 0, 3), QLineF(10, 2, 12, 2), QLineF(kNaN, 0, 100, 100)});
    EXPECT_EQ(stats.validCount, 4);
    EXPECT_DOUBLE_EQ(stats.medianLength, 3.0); // sorted 1 2 3 4, index 2
    EXPECT_DOUBLE_EQ(stats.extent, 12.0);
    EXPECT_EQ(sectionStatistics({}).validCount, 0);
}

// ---------------------------------------------------------------------------

// ---------------------------------------------------------------------------

TEST(PostProcessWeldGrid, WeldsTheNearestWithinRadiusAndAddsBeyondLikeABruteForceSearch)
{
    PointWeldGrid grid(0.5);
    EXPECT_EQ(grid.weld({0, 0}), 0);
    EXPECT_EQ(grid.weld({0.3, 0.3}), 0);
    EXPECT_EQ(grid.weld({0.5, 0}), 0); // exactly on the radius still welds
    EXPECT_EQ(grid.weld({0.6, 0}), 1);
    EXPECT_EQ(grid.weld({-0.2, -0.2}), 0); // across the cell boundary at zero
    EXPECT_EQ(grid.nodeCount(), 2);
    EXPECT_EQ(grid.node(1), QPointF(0.6, 0)); // nodes keep their first position
    // The nearest node wins, the later one on a tie.
    PointWeldGrid nearest(1.0);
    nearest.insert({0.2, 0.5});
    nearest.insert({0.8, 0.5});
    nearest.insert({0.6, 0.5});
    EXPECT_EQ(nearest.weld({0.75, 0.5}), 1);
    PointWeldGrid tie(1.0);
    tie.insert({0.25, 0.5});
    tie.insert({0.75, 0.5});
    EXPECT_EQ(tie.weld({0.5, 0.5}), 1);
    // The cell size has a floor; a zero radius welds only identical points.
    PointWeldGrid zero(0.0);
    EXPECT_DOUBLE_EQ(zero.cellSize(), 1e-6);
    EXPECT_EQ(zero.weld({1, 1}), 0);
    EXPECT_EQ(zero.weld({1, 1}), 0);
    EXPECT_EQ(zero.weld({1, 1 + 1e-9}), 1);
    EXPECT_DOUBLE_EQ(PointWeldGrid(0.25).cellSize(), 0.25);
    // Non-finite and huge coordinates do not crash; NaN never welds.
    PointWeldGrid odd(0.1);
    EXPECT_EQ(odd.weld({kNaN, 0}), 0);
    EXPECT_EQ(odd.weld({kNaN, 0}), 1);
    EXPECT_EQ(odd.weld({1e300, -1e300}), 2);
    EXPECT_EQ(odd.weld({1e300, -1e300}), 2);
    // It matches a brute-force search.
    Noise random(3);
    const double radius = 0.7;
    PointWeldGrid matched(radius);
    std::vector<QPointF> kept;
    for (int i = 0; i < 3000; ++i) {
        const QPointF p(random.uniform(-20, 20), random.uniform(-20, 20));
        int expected = -1;
        double best = 0.0;
        for (int n = 0; n < int(kept.size()); ++n) {
            const QPointF d = kept[std::size_t(n)] - p;
            const double d2 = d.x() * d.x() + d.y() * d.y();
            if (d2 <= radius * radius && (expected < 0 || d2 < best)) {
                expected = n;
                best = d2;
            }
        }
        if (expected < 0) {
            expected = int(kept.size());
            kept.push_back(p);
        }
        ASSERT_EQ(matched.weld(p), expected) << i;
    }
}

// ---------------------------------------------------------------------------

namespace {

// Two 1 mm-piece runs along y = 0 from 0 to 100 with a gap between them.
SectionLines gappedRuns(double gapStart, double gapEnd)
{
    SectionLines lines;
    appendRun(lines, {0, 0}, {gapStart, 0}, 1.0);
    appendRun(lines, {gapEnd, 0}, {100, 0}, 1.0);
    return lines;
}

} // namespace

TEST(PostProcessBandCleanup, MergesGentleRunsBridgesFacingEndsCollapsesNoisyBandsAndKeepsJunctions)
{
    EXPECT_EQ(undirected(cleanupBandSection({QLineF(0, 0, 10, 0), QLineF(20, 0, 10, 0)}, true)),
              undirected({QLineF(0, 0, 20, 0)}));
    // A 10 degree bend merges in band mode but not in exact mode, 20 degrees never.
    const double a = 10.0 * kPi / 180.0;
    const SectionLines in{QLineF(0, 0, 10, 0), QLineF(10, 0, 10 + 10 * std::cos(a), 10 * std::sin(a))};
    EXPECT_EQ(cleanupBandSection(in, true).size(), 1);
    EXPECT_EQ(cleanupBandSection(in, false).size(), 2);

    const double b = 20.0 * kPi / 180.0;
    const SectionLines sharper{QLineF(0, 0, 10, 0), QLineF(10, 0, 10 + 10 * std::cos(b), 10 * std::sin(b))};
    EXPECT_EQ(cleanupBandSection(sharper, true).size(), 2);
    // A T: the stem and the two halves of the bar meet at a degree-3 node.
    const SectionLines t{QLineF(0, 0, 5, 0), QLineF(5, 0, 10, 0), QLineF(5, 0, 5, 5), QLineF(5, 5, 5, 0),
                         QLineF(10, 0, 5, 0)};
    EXPECT_EQ(undirected(cleanupBandSection(t, true)),
              undirected({QLineF(0, 0, 5, 0), QLineF(5, 0, 10, 0), QLineF(5, 0, 5, 5)}));
    // With nothing usable left the input comes back.
    const SectionLines one{QLineF(kNaN, 0, 1, 1)};
    EXPECT_EQ(cleanupBandSection(one, true), one);
    const SectionLines allBad{QLineF(kNaN, 0, 1, 1), QLineF(0, 0, 0, 0)};
    EXPECT_EQ(cleanupBandSection(allBad, true), allBad);
    // Every line shorter than the weld radius collapses: the sanitised input comes back.
    const SectionLines tiny{QLineF(0, 0, 0.001, 0), QLineF(kNaN, 0, 0, 0), QLineF(50, 50, 50, 50.001)};
    EXPECT_EQ(cleanupBandSection(tiny, true), sanitizeSectionLines(tiny));
    // m = 1, E = 100: weld radius 0.35, bridge distance 6.
    struct Case {
        double gapStart, gapEnd;
        bool band;
        int lines;
        double length;
    };
    const Case cases[] = {
        {49.75, 50.25, true, 3, 100.0},  // bridged by a 0.5 mm line
        {49.75, 50.25, false, 2, 99.5},  // exact sections are never bridged
        {45.0, 55.0, true, 2, 90.0},     // beyond the bridge distance
        {49.97, 50.03, true, 1, 100.0},  // within a fifth of the radius: welded, not bridged
    };
    for (const Case& k : cases) {
        const SectionLines out = cleanupBandSection(gappedRuns(k.gapStart, k.gapEnd), k.band);
        EXPECT_EQ(out.size(), k.lines) << k.gapStart << " " << k.band;
        EXPECT_NEAR(totalLength(out), k.length, 0.05) << k.gapStart << " " << k.band;
    }
    // Two parallel runs 0.5 mm apart, both ending towards +x: the ends face
    // neither towards nor away from each other, but their directions agree.
    SectionLines parallel;
    appendRun(parallel, {0, 0}, {100, 0}, 1.0);
    appendRun(parallel, {0, 0.5}, {100, 0.5}, 1.0);
    EXPECT_EQ(undirected(cleanupBandSection(parallel, true)),
              undirected({QLineF(0, 0, 100, 0), QLineF(0, 0.5, 100, 0.5)}));
    // A noisy band rectangle collapses to its four sides.
    // 800 zigzag pieces: the straight runs merge into the four sides.
    const SectionLines noisy = noisyBandRectangle(11, 0.02, 1);
    const SectionLines sides = cleanupBandSection(noisy, true);
    EXPECT_EQ(sides.size(), 4);
    EXPECT_NEAR(totalLength(sides), 320.0, 320.0 * 0.005);
    const QRectF bounds = boundsOf(sides);
    EXPECT_NEAR(bounds.width(), 100.0, 0.1);
    EXPECT_NEAR(bounds.height(), 60.0, 0.1);
    const QList<SectionPolyline> rings = chainSegmentsToPolylines(sides, 1e-6);
    ASSERT_EQ(rings.size(), 1);
    EXPECT_EQ(rings[0].first(), rings[0].last());
}


// ---------------------------------------------------------------------------

namespace {

// A 0.1 mm zigzag along y = 0 from x = 0 to 40 in 1 mm steps.
SectionLines zigzag()
{
    SectionLines lines;
    for (int i = 0; i < 40; ++i)
        lines.append(QLineF(i, (i % 2 ? 0.05 : -0.05), i + 1, ((i + 1) % 2 ? 0.05 : -0.05)));
    return lines;
}

// Largest |y| of the end points with lo < x < hi.
double maxAbsY(const SectionLines& lines, double lo, double hi)
{
    double m = 0.0;
    for (const QLineF& l : lines)
        for (const QPointF& p : {l.p1(), l.p2()})
            if (p.x() > lo && p.x() < hi)
                m = std::max(m, std::abs(p.y()));
    return m;
}

} // namespace

TEST(PostProcessGraphSmoothing, FlattensZigzagsKeepsEndsAndCornersWithinTheLimitAndDropsBadLines)
{
    const SectionLines in = zigzag();
    EXPECT_EQ(smoothSectionGraph(in, 0), in);
    const SectionLines two{QLineF(0, 0, 1, 0), QLineF(kNaN, 0, 2, 2)};
    EXPECT_EQ(smoothSectionGraph(two, 50), two); // too few lines: returned as is
    const SectionLines out = smoothSectionGraph(in, 100);
    ASSERT_EQ(out.size(), in.size());
    // The interior flattens; the two open ends are locked.
    EXPECT_LT(maxAbsY(out, 4.5, 35.5), 0.005);
    EXPECT_EQ(out.first().p1(), in.first().p1());
    EXPECT_EQ(out.last().p2(), in.last().p2());
    EXPECT_LT(maxAbsY(out, 4.5, 35.5), maxAbsY(smoothSectionGraph(in, 5), 4.5, 35.5));
    EXPECT_LT(maxAbsY(smoothSectionGraph(in, 5), 4.5, 35.5), maxAbsY(in, 4.5, 35.5));
    // NaN lines and repeated edges are dropped.
    SectionLines dirty = zigzag();
    dirty.insert(3, QLineF(kNaN, 1, 2, 3));
    dirty.append(QLineF(dirty[5].p2(), dirty[5].p1()));
    const SectionLines cleaned = smoothSectionGraph(dirty, 35);
    EXPECT_EQ(cleaned.size(), 40);
    for (const QLineF& l : cleaned)
        EXPECT_TRUE(isValidSectionLine(l));
    // On a square the corners are locked and no node strays beyond the limit.
    // A 20 mm square in 1 mm pieces with a wobble: corners must stay exact.
    SectionLines square;
    const QPointF corners[4] = {{0, 0}, {20, 0}, {20, 20}, {0, 20}};
    for (int s = 0; s < 4; ++s)
        appendRun(square, corners[s], corners[(s + 1) % 4], 1.0);
    for (QLineF& l : square) {
        // Shift the shared interior points consistently: wobble by position.
        const auto wobble = [](QPointF p) {
            const bool corner = (p.x() == 0 || p.x() == 20) && (p.y() == 0 || p.y() == 20);
            return corner ? p : p + QPointF(0.03 * std::sin(p.x() * 7 + p.y() * 3), 0.03 * std::cos(p.x() * 5 + p.y()));
        };
        l = QLineF(wobble(l.p1()), wobble(l.p2()));
    }
    const int full = 100;
    const SectionLines smoothedSquare = smoothSectionGraph(square, full);
    ASSERT_EQ(smoothedSquare.size(), square.size());
    std::set<std::pair<double, double>> nodes;
    for (const QLineF& l : smoothedSquare) {
        nodes.insert({l.x1(), l.y1()});
        nodes.insert({l.x2(), l.y2()});
    }
    for (const QPointF& corner : corners)
        EXPECT_EQ(nodes.count({corner.x(), corner.y()}), 1u) << corner.x() << "," << corner.y();

    // Deviation limit: max((0.0012 s + 0.0009) E, (0.3 s + 0.22) m) with s = 1.
    const SectionStatistics stats = sectionStatistics(square);
    const double bound = std::max(0.0021 * stats.extent, 0.52 * stats.medianLength);
    for (qsizetype i = 0; i < square.size(); ++i) {
        EXPECT_LE(distance(smoothedSquare[i].p1(), square[i].p1()), bound + 1e-9);
        EXPECT_LE(distance(smoothedSquare[i].p2(), square[i].p2()), bound + 1e-9);
    }
}


// ---------------------------------------------------------------------------

TEST(PostProcessChaining, ClosesWalksFromAnEndGoesStraightOnAndJoinsEndsWithinTheTolerance)
{
    const SectionLines square{QLineF(10, 0, 10, 10), QLineF(0, 0, 10, 0), QLineF(0, 10, 10, 10),
                              QLineF(0, 10, 0, 0)};
    const QList<SectionPolyline> chains = chainSegmentsToPolylines(square, 0.01);
    ASSERT_EQ(chains.size(), 1);
    const SectionPolyline& p = chains[0];
    ASSERT_EQ(p.size(), 5);
    EXPECT_EQ(p.first(), p.last());
    EXPECT_DOUBLE_EQ(polylineLength(p), 40.0);
    // Shuffled and reversed pieces of the path (0,0) -> (3,0) -> (3,2) -> (5,2).
    const SectionLines path{QLineF(3, 2, 3, 1), QLineF(1, 0, 0, 0), QLineF(3, 2, 5, 2), QLineF(2, 0, 3, 0),
                            QLineF(1, 0, 2, 0), QLineF(3, 0, 3, 1)};
    const QList<SectionPolyline> walked = chainSegmentsToPolylines(path, 0.01);
    ASSERT_EQ(walked.size(), 1);
    ASSERT_EQ(walked[0].size(), 7);
    // (0, 0) is the first open end in weld order.
    EXPECT_EQ(walked[0].first(), QPointF(0, 0));
    EXPECT_EQ(walked[0].last(), QPointF(5, 2));
    const SectionLines cross{QLineF(-1, 0, 0, 0), QLineF(0, -1, 0, 0), QLineF(0, 0, 1, 0), QLineF(0, 0, 0, 1)};
    // The end at (-1, 0) comes first and runs straight through; the stubs left
    // at the junction follow in adjacency order.
    EXPECT_EQ(chainSegmentsToPolylines(cross, 0.01),
              (QList<SectionPolyline>{{{-1, 0}, {0, 0}, {1, 0}}, {{0, 0}, {0, -1}}, {{0, 0}, {0, 1}}}));
    const SectionLines gapped{QLineF(0, 0, 1, 0), QLineF(1.0005, 0, 2, 0), QLineF(1, 0, 0, 0)};
    const QList<SectionPolyline> joined = chainSegmentsToPolylines(gapped, 0.001);
    ASSERT_EQ(joined.size(), 1);
    EXPECT_EQ(joined[0].size(), 3);
    EXPECT_EQ(chainSegmentsToPolylines(gapped, 0.0001).size(), 2);
    // Nothing usable gives no polylines.
    EXPECT_TRUE(chainSegmentsToPolylines({}, 0.1).isEmpty());
    EXPECT_TRUE(chainSegmentsToPolylines({QLineF(kNaN, 0, 1, 1), QLineF(0, 0, 0.01, 0)}, 0.1).isEmpty());
    // A zero or negative tolerance is raised to 1e-6, not trusted.
    EXPECT_EQ(chainSegmentsToPolylines({QLineF(0, 0, 1, 0)}, -5.0).size(), 1);
    // The join tolerance follows the median, the extent or the floor.
    SectionLines run;
    appendRun(run, {0, 0}, {100, 0}, 1.0);
    EXPECT_NEAR(estimateJoinTolerance(run, {0.0021, 0.8, 0.02}), 0.8, 1e-9); // median wins
    EXPECT_NEAR(estimateJoinTolerance(run, {0.01, 0.3, 0.006}), 1.0, 1e-9);  // extent wins
    EXPECT_DOUBLE_EQ(estimateJoinTolerance(run, {0.00095, 0.003, 0.5}), 0.5); // floor wins
    EXPECT_DOUBLE_EQ(estimateJoinTolerance({}, {0.0021, 0.8, 0.0}), 1e-6);
}

// ---------------------------------------------------------------------------

TEST(PostProcessDensifyAndRelax, PiecesSplitEvenlyAndCornersRoundWithinTheLimitWithEndsAndGentleRunsKept)
{
    // An L: 10 mm along x, then 10 mm up, densified to 0.5 mm spacing.
    const SectionPolyline in = densifyPolyline({{0, 0}, {10, 0}, {10, 10}}, 0.5);
    const SectionPolyline out = relaxPolylineCorners(in, 100, false);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_EQ(out.first(), in.first());
    EXPECT_EQ(out.last(), in.last());
    const qsizetype corner = in.indexOf(QPointF(10, 0));
    ASSERT_GT(corner, 0);
    EXPECT_LT(out[corner].x(), 10.0); // pulled inside the corner
    EXPECT_GT(out[corner].y(), 0.0);
    // Straight and gentle runs stay put.
    const SectionPolyline straight{{0, 0}, {0.3, 0.3}, {1, 1}, {4, 4}};
    EXPECT_EQ(relaxPolylineCorners(straight, 100, false), straight);
    // A 70 degree bend: gentle for a thin (exact) section, a corner for a band.
    const double a = 70.0 * kPi / 180.0;
    const SectionPolyline bend{{-1, 0}, {0, 0}, {std::cos(a), std::sin(a)}};
    EXPECT_EQ(relaxPolylineCorners(bend, 100, true), bend);
    EXPECT_NE(relaxPolylineCorners(bend, 100, false), bend);
    // Strength zero or too short: returned as is.
    EXPECT_EQ(relaxPolylineCorners(in, 0, false), in);
    const SectionPolyline two{{0, 0}, {1, 1}};
    EXPECT_EQ(relaxPolylineCorners(two, 100, false), two);
    // Noise moves no point beyond the deviation limit.
    Noise noise(9);
    SectionPolyline wavy;
    for (int i = 0; i < 60; ++i)
        wavy.append(QPointF(i * 0.5, noise.uniform(-0.6, 0.6)));
    for (int strength : {1, 35, 100}) {
        const SectionPolyline relaxed = relaxPolylineCorners(wavy, strength, true);
        const double s = strength / 100.0;
        const double spacing = polylineLength(wavy) / double(wavy.size() - 1);
        const double limit = std::max((1.05 * s + 0.35) * spacing, 0.006);
        double moved = 0.0;
        for (qsizetype i = 0; i < wavy.size(); ++i) {
            EXPECT_LE(distance(relaxed[i], wavy[i]), limit + 1e-9) << strength << " " << i;
            moved = std::max(moved, distance(relaxed[i], wavy[i]));
        }
        EXPECT_GT(moved, 0.0);
        EXPECT_EQ(relaxed.first(), wavy.first());
        EXPECT_EQ(relaxed.last(), wavy.last());
    }
    // Densifying splits each piece into ceil(length / step) parts, at most sixteen.
    const SectionPolyline pieces{{0, 0}, {1, 0}, {1, 0}, {1, 2}};
    const SectionPolyline dense = densifyPolyline(pieces, 0.3);
    // ceil(1 / 0.3) = 4, the repeated point adds nothing, ceil(2 / 0.3) = 7.
    ASSERT_EQ(dense.size(), 1 + 4 + 7);
    EXPECT_EQ(dense[0], QPointF(0, 0));
    EXPECT_NEAR(dense[1].x(), 0.25, 1e-12);
    EXPECT_EQ(dense[4], QPointF(1, 0));
    EXPECT_NEAR(dense[5].y(), 2.0 / 7.0, 1e-12);
    EXPECT_EQ(dense.last(), QPointF(1, 2));
    // At most sixteen parts; bad steps change nothing.
    const SectionPolyline line{{0, 0}, {100, 0}};
    EXPECT_EQ(densifyPolyline(line, 0.1).size(), 17);
    EXPECT_EQ(densifyPolyline(line, 200.0).size(), 2);
    EXPECT_EQ(densifyPolyline(line, 0.0), line);
    EXPECT_EQ(densifyPolyline(line, kNaN), line);
    EXPECT_EQ(densifyPolyline({{1, 1}}, 0.1).size(), 1);
}


// ---------------------------------------------------------------------------

TEST(PostProcessChainAndSmooth, StrengthZeroChainsWithoutMovingAnythingPositiveRoundsCornersAndFallsBack)
{
    SectionLines in{QLineF(10, 0, 10, 10), QLineF(0, 0, 10, 0), QLineF(0, 10, 10, 10), QLineF(0, 10, 0, 0),
                    QLineF(kNaN, 0, 0, 0)};
    for (bool band : {true, false}) {
        const SectionLines out = chainAndSmoothSection(in, 0, band);
        EXPECT_EQ(out.size(), 4);
        EXPECT_EQ(undirected(out), undirected(sanitizeSectionLines(in)));
        // Re-emitted as one chain: consecutive lines share their end points.
        for (qsizetype i = 0; i + 1 < out.size(); ++i)
            EXPECT_EQ(out[i].p2(), out[i + 1].p1());
    }
    // Without two usable lines the sanitised input comes back.
    const SectionLines one{QLineF(0, 0, 1, 0), QLineF(kNaN, 0, 1, 0)};
    EXPECT_EQ(chainAndSmoothSection(one, 35, true), sanitizeSectionLines(one));
    const SectionLines bad{QLineF(kNaN, 0, 1, 0)};
    EXPECT_EQ(chainAndSmoothSection(bad, 35, true), bad);
    // Lines shorter than the join tolerance weld shut: nothing chains.
    const SectionLines tiny{QLineF(0, 0, 0.001, 0), QLineF(9, 9, 9.001, 9)};
    EXPECT_EQ(chainAndSmoothSection(tiny, 35, false), tiny);
    // A positive strength densifies and rounds the corners.
    SectionLines square;
    const QPointF corners[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    for (int s = 0; s < 4; ++s)
        appendRun(square, corners[s], corners[(s + 1) % 4], 1.0);
    const SectionLines smoothed = chainAndSmoothSection(square, 55, true);
    EXPECT_GT(smoothed.size(), 40);
    EXPECT_LT(totalLength(smoothed), 40.0);
    EXPECT_GT(totalLength(smoothed), 30.0);
    const QList<SectionPolyline> rings = chainSegmentsToPolylines(smoothed, 1e-6);
    ASSERT_EQ(rings.size(), 1);
    EXPECT_EQ(rings[0].first(), rings[0].last());
}


// ---------------------------------------------------------------------------

TEST(PostProcessPipeline, RunsTheStagesInOrderCappingExactCutsAtFiftyFive)
{
    Segments raw = circleCut(20.0, 200);
    raw.push_back(seg(0, 0, 0.05f, 0.0f, 5.0f)); // short stray, removed by the keep ratio
    for (float band : {0.0f, 0.8f}) {
        SectionPostProcessSettings s;
        s.keepRatio = 0.9f;
        s.smoothStrength = 80;
        s.bandThickness = band;
        const bool isBand = band > 0.0f;
        const int strength = isBand ? 80 : 55;
        SectionLines expected = toSectionLines(keepLongestSegments(raw, 0.9f), Axis::Z);
        expected = isBand ? cleanupBandSection(expected, true) : sanitizeSectionLines(expected);
        expected = chainAndSmoothSection(smoothSectionGraph(expected, strength), strength, isBand);
        EXPECT_EQ(postProcessSection(raw, Axis::Z, s), expected) << band;

        s.smoothAndChain = false;
        const SectionLines cleaned = toSectionLines(keepLongestSegments(raw, 0.9f), Axis::Z);
        EXPECT_EQ(postProcessSection(raw, Axis::Z, s), isBand ? cleanupBandSection(cleaned, true) : cleaned);
    }
    // An exact cut at 80 smooths as if at 55; a band cut uses the full strength.
    Noise jitter(21);
    Segments noisyCircle = circleCut(15.0, 300);
    for (auto& settings : noisyCircle) {
        settings.p0.x += float(jitter.uniform(-0.02, 0.02));
        settings.p1.y += float(jitter.uniform(-0.02, 0.02));
    }
    SectionPostProcessSettings settings;
    settings.smoothStrength = 80;
    const SectionLines exact80 = postProcessSection(noisyCircle, Axis::Z, settings);
    settings.smoothStrength = 55;
    EXPECT_EQ(exact80, postProcessSection(noisyCircle, Axis::Z, settings));
    settings.smoothStrength = 35;
    EXPECT_NE(exact80, postProcessSection(noisyCircle, Axis::Z, settings));
    // A band cut uses the full strength.
    settings.bandThickness = 0.5f;
    settings.smoothStrength = 80;
    const SectionLines banded80 = postProcessSection(noisyCircle, Axis::Z, settings);
    settings.smoothStrength = 55;
    EXPECT_NE(banded80, postProcessSection(noisyCircle, Axis::Z, settings));
}

TEST(PostProcessPipeline, CirclesAndBandCutsComeOutAsFewClosedPolylines)
{
    // Every piece twice (both copies weld into degree-4 nodes) with a 0.03 mm zigzag.
    const SectionLines in = noisyBandRectangle(4, 0.03, 2);
    SectionPostProcessSettings s;
    s.bandThickness = 0.8f;
    const SectionLines out = postProcessProjectedSection(in, s);
    const QList<SectionPolyline> chains = chainSegmentsToPolylines(out, 1e-6);
    ASSERT_GE(chains.size(), 1);
    EXPECT_LE(chains.size(), 2);
    double longest = 0.0;
    for (const SectionPolyline& c : chains)
        longest = std::max(longest, polylineLength(c));
    EXPECT_GT(longest, 300.0);
    EXPECT_NEAR(totalLength(out), 320.0, 320.0 * 0.03);
    const QRectF b = boundsOf(out);
    EXPECT_NEAR(b.width(), 100.0, 0.3);
    EXPECT_NEAR(b.height(), 60.0, 0.3);
    // A real band cut of a cylinder becomes one ring.
    MeshModel m = shapes::cylinder(10.0f, 40.0f, 128, 8);
    const Segments cut = m.sliceAxis(Axis::Z, 17.3f, 0.8f);
    ASSERT_FALSE(cut.empty());
    for (int strength : {0, 35}) {
        SectionPostProcessSettings settings;
        settings.bandThickness = 0.8f;
        settings.smoothStrength = strength;
        const SectionLines ring = postProcessSection(cut, Axis::Z, settings);
        const QList<SectionPolyline> rings = chainSegmentsToPolylines(ring, 1e-6);
        ASSERT_EQ(rings.size(), 1) << strength;
        EXPECT_EQ(rings[0].first(), rings[0].last());
        if (strength == 0) {
            EXPECT_NEAR(totalLength(ring), 2.0 * kPi * 10.0, 2.0 * kPi * 10.0 * 0.015);
        }
    }
    // Band cleanup merges runs bending less than 14 degrees, so in a band cut
    // the 720-gon becomes a coarse polygon whose corners stay on the circle.
    const double radius = 20.0;
    const int sides = 720;
    const double polygonPerimeter = 2.0 * sides * radius * std::sin(kPi / sides);
    for (float band : {0.0f, 0.8f})
        for (int strength : {0, 35, 100}) {
            SCOPED_TRACE(testing::Message() << "band " << band << " strength " << strength);
            SectionPostProcessSettings circleSettings;
            circleSettings.bandThickness = band;
            circleSettings.smoothStrength = strength;
            const SectionLines circle = postProcessSection(circleCut(radius, sides), Axis::Z, circleSettings);
            const QList<SectionPolyline> loops = chainSegmentsToPolylines(circle, 1e-6);
            ASSERT_EQ(loops.size(), 1);
            EXPECT_EQ(loops[0].first(), loops[0].last());
            const bool onCircle = band == 0.0f || strength == 0;
            if (onCircle) {
                EXPECT_NEAR(totalLength(circle), polygonPerimeter, polygonPerimeter * (band == 0.0f ? 0.001 : 0.015));
            }
            for (const QLineF& l : circle) {
                const double d = QLineF(QPointF(0, 0), l.p1()).length();
                if (onCircle)
                    EXPECT_NEAR(d, radius, band == 0.0f ? 0.01 : 1e-3);
                else
                    EXPECT_LE(d, radius + 1e-3); // smoothing only pulls inwards
            }
        }
}

TEST(PostProcessPipeline, BadInputAndGarbageNeverCrashOrEmptyAValidSectionAndYieldOnlyValidLines)
{
    SectionPostProcessSettings s;
    EXPECT_TRUE(postProcessSection({}, Axis::Z, s).isEmpty());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Segments raw = circleCut(5.0, 64);
    raw[7].p0.x = nan;
    for (float band : {0.0f, 1.0f, nan}) {
        s.bandThickness = band;
        const SectionLines out = postProcessSection(raw, Axis::Z, s);
        EXPECT_FALSE(out.isEmpty());
        for (const QLineF& l : out)
            EXPECT_TRUE(isValidSectionLine(l));
    }
    s.bandThickness = 0.0f;
    EXPECT_TRUE(postProcessSection(Segments{seg(nan, 0, 1, 1)}, Axis::Z, s).isEmpty());
    EXPECT_EQ(postProcessSection(Segments{seg(0, 0, 1, 1)}, static_cast<Axis>(7), s).size(), 1); // out-of-range axis maps as Z
    // Garbage through every stage yields only valid lines.
    const double inf = std::numeric_limits<double>::infinity();
    Noise noise(77);
    for (int round = 0; round < 40; ++round) {
        // Clustered points so that welding, duplicates and junctions all occur.
        SectionLines in;
        const int count = 5 + round * 7;
        const double spread = round % 3 == 0 ? 0.05 : (round % 3 == 1 ? 5.0 : 500.0);
        for (int i = 0; i < count; ++i) {
            const auto pick = [&]() {
                return QPointF(std::round(noise.uniform(-spread, spread) * 4.0) / 4.0,
                               std::round(noise.uniform(-spread, spread) * 4.0) / 4.0);
            };
            QLineF l(pick(), pick());
            const double r = noise.uniform(0, 1);
            if (r < 0.05)
                l.setP1(QPointF(kNaN, 1));
            else if (r < 0.08)
                l.setP2(QPointF(2, inf));
            else if (r < 0.12)
                l.setP2(l.p1());
            else if (r < 0.15)
                l.setP2(QPointF(1e200, -1e200));
            in.append(l);
        }
        const auto check = [&](const SectionLines& out, const char* stage) {
            if (sanitizeSectionLines(in).isEmpty())
                return;
            EXPECT_FALSE(out.isEmpty()) << stage << " round " << round;
            for (const QLineF& l : out)
                EXPECT_TRUE(std::isfinite(l.x1()) && std::isfinite(l.y1()) && std::isfinite(l.x2())
                            && std::isfinite(l.y2()))
                    << stage << " round " << round;
        };
        for (bool band : {true, false}) {
            check(cleanupBandSection(in, band), "cleanup");
            check(smoothSectionGraph(in, 100), "smooth");
            check(chainAndSmoothSection(in, 100, band), "chain");
            SectionPostProcessSettings s;
            s.bandThickness = band ? 1.0f : 0.0f;
            s.smoothStrength = 100;
            check(postProcessProjectedSection(in, s), "pipeline");
        }
    }
}

// ---------------------------------------------------------------------------

TEST(PostProcessQualityPresets, IndicesAboveTwoMeanHighQuality)
{
    for (auto [index, name] : {std::pair{0, "Fast"}, {1, "Balanced"}, {2, "High Quality"}, {3, "High Quality"},
                               {1000, "High Quality"}, {-1, "Fast"}})
        EXPECT_STREQ(qualityPresetForIndex(index).name, name) << index;
}
