#include "model/wireframe/lattice.h"

#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using Segment = MeshModel::SliceSegment3D;

float len(const Segment& s)
{
    const Vec3f d = s.p1 - s.p0;
    return std::sqrt(dot(d, d));
}

// Distance of p from the surface of the box [0, size].
float distanceToBoxSurface(const Vec3f& p, const Vec3f& size)
{
    float best = INFINITY;
    for (int a = 0; a < 3; ++a)
        best = std::min({best, std::fabs(p[a]), std::fabs(p[a] - size[a])});
    for (int a = 0; a < 3; ++a)
        if (p[a] < -1e-3f || p[a] > size[a] + 1e-3f)
            return INFINITY;
    return best;
}

double lanePosition(int i, double lo, double hi)
{
    const double e = hi - lo;
    const double start = lo + 0.004 * e;
    const double span = (hi - 0.004 * e) - start;
    return start + (i + 0.5) / 180.0 * span;
}

} // namespace

TEST(Lattice, BoxCutsLieOnTheFacesAtTheLanePositionsInLanesAndCreasesAreStraightLines)
{
    const Vec3f size{100, 50, 20};
    MeshModel box = shapes::box(size, 2);
    LatticeSegments lattice = computeLatticeSegments(box);
    ASSERT_FALSE(lattice.empty());

    // Total cut length per lane position; every lane carries the whole outline once.
    std::vector<double> xCutLength(180, 0.0), yCutLength(180, 0.0);
    const auto laneOf = [](float coordinate, double hi) {
        for (int i = 0; i < 180; ++i)
            if (std::fabs(coordinate - lanePosition(i, 0.0, hi)) < 2e-3)
                return i;
        return -1;
    };
    for (const Segment& s : lattice) {
        ASSERT_LE(distanceToBoxSurface(s.p0, size), 1e-3f);
        ASSERT_LE(distanceToBoxSurface(s.p1, size), 1e-3f);
        // A vertical segment lies in both kinds of plane; it belongs to the
        // cut whose lane position it sits on.
        const int xLane = s.p0.x == s.p1.x ? laneOf(s.p0.x, size.x) : -1;
        const int yLane = s.p0.y == s.p1.y ? laneOf(s.p0.y, size.y) : -1;
        if (xLane >= 0)
            xCutLength[xLane] += len(s);
        else if (yLane >= 0)
            yCutLength[yLane] += len(s);
    }
    // Section cleanup may pull a corner in by up to about a millimetre near
    // the mesh's own grid lines; a lost side would cost 20 mm or more.
    for (int i = 0; i < 180; ++i) {
        EXPECT_NEAR(xCutLength[i], 2.0 * (size.y + size.z), 0.025 * 2.0 * (size.y + size.z)) << "X lane " << i;
        EXPECT_NEAR(yCutLength[i], 2.0 * (size.x + size.z), 0.025 * 2.0 * (size.x + size.z)) << "Y lane " << i;
    }
    // Lanes group the segments by position, in order.
    double totalBefore = 0.0;
    for (const Segment& s : lattice)
        totalBefore += len(s);
    LatticeLanes lanes;
    ASSERT_TRUE(buildLatticeLanes(lattice, lanes, box.boundsMin(), box.boundsMax()));
    ASSERT_GE(lanes.alongY.size(), 180u);
    ASSERT_GE(lanes.alongX.size(), 180u);

    double previous = -INFINITY;
    for (const LatticeLane& lane : lanes.alongY) {
        ASSERT_FALSE(lane.empty());
        const float x = lattice[lane.front()].p0.x;
        EXPECT_GT(x, previous);
        previous = x;
        for (std::uint32_t index : lane) {
            EXPECT_FLOAT_EQ(lattice[index].p0.x, x);
            EXPECT_FLOAT_EQ(lattice[index].p1.x, x);
        }
    }
    double totalAfter = 0.0;
    for (const Segment& s : lattice)
        totalAfter += len(s);
    // Cleaning joins collinear pieces; it must not lose geometry.
    EXPECT_NEAR(totalAfter, totalBefore, 0.01 * totalBefore);
    // The box creases become one straight line per edge.
    const LatticeSegments lines = dominantFeatureLines(box.featureEdges(26.0f));
    ASSERT_EQ(lines.size(), 8u); // the X and Y edges of the box; Z edges join neither family
    for (const Segment& s : lines) {
        const bool alongX = std::fabs(s.p1.x - s.p0.x) > 1.0f;
        const int run = alongX ? 0 : 1;
        EXPECT_NEAR(std::fabs(s.p1[run] - s.p0[run]), size[run], 1e-3);
        const int cross = alongX ? 1 : 0;
        EXPECT_TRUE(std::fabs(s.p0[cross]) < 1e-3f || std::fabs(s.p0[cross] - size[cross]) < 1e-3f);
        EXPECT_TRUE(std::fabs(s.p0.z) < 1e-3f || std::fabs(s.p0.z - size.z) < 1e-3f);
    }
}

TEST(Lattice, ComplexityKeepsEveryKthLaneAndBothEndsWithinTheBudgetEvenOnACadPlate)
{
    // Eleven lanes along Y at x = 0, 10, ..., 100, two segments each.
    LatticeSegments segments;
    LatticeLanes lanes;
    for (int i = 0; i <= 10; ++i) {
        const float x = 10.0f * i;
        LatticeLane lane;
        for (int k = 0; k < 2; ++k) {
            lane.push_back(std::uint32_t(segments.size()));
            segments.push_back({{x, 10.0f * k, 0}, {x, 10.0f * k + 10.0f, 0}});
        }
        lanes.alongY.push_back(lane);
    }
    const Vec3f lo{0, 0, 0}, hi{100, 100, 10};
    const auto shownLanes = [&](int complexity) {
        std::vector<std::uint32_t> map;
        const LatticeSegments shown = selectLatticeForDisplay(segments, lanes, lo, hi, complexity, map);
        EXPECT_EQ(shown.size(), map.size());
        std::set<int> xs;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i].p0, segments[map[i]].p0);
            xs.insert(int(std::lround(shown[i].p0.x)));
        }
        EXPECT_EQ(shown.size(), 2 * xs.size()); // whole lanes only
        return xs;
    };
    EXPECT_EQ(shownLanes(70), (std::set<int>{0, 20, 40, 60, 80, 100}));   // 18.5 mm -> every 2nd
    EXPECT_EQ(shownLanes(100), (std::set<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(shownLanes(10), (std::set<int>{0, 50, 100}));                // 45.5 mm -> every 5th
    EXPECT_DOUBLE_EQ(latticeLaneSpacing(70), 18.5);
    // One lane along X with more segments than the budget at 10 %.
    LatticeSegments many;
    LatticeLanes one;
    one.alongX.emplace_back();
    for (int i = 0; i < 20000; ++i) {
        one.alongX[0].push_back(std::uint32_t(i));
        many.push_back({{float(i), 5, 0}, {float(i) + 0.5f, 5, 0}});
    }
    std::vector<std::uint32_t> map;
    EXPECT_EQ(selectLatticeForDisplay(many, one, {0, 0, 0}, {20000, 10, 1}, 10, map).size(), 12600u);
    EXPECT_EQ(selectLatticeForDisplay(many, one, {0, 0, 0}, {20000, 10, 1}, 100, map).size(), 20000u);
    // Without lanes everything is shown, identity-mapped, within the budget.
    const LatticeSegments all = selectLatticeForDisplay(many, LatticeLanes{}, {0, 0, 0}, {1, 1, 1}, 100, map);
    ASSERT_EQ(all.size(), 20000u);
    EXPECT_EQ(map[1234], 1234u);
    // A CAD plate shows even lanes across its top.
    // 100 x 60 x 8 with two holes, in long thin triangles as a CAD export has them.
    const MeshModel plate = shapes::plateWithHoles({100, 60, 8}, 5, 32);
    LatticeSegments plateLattice = computeLatticeSegments(plate);
    LatticeLanes plateLanes;
    ASSERT_TRUE(buildLatticeLanes(plateLattice, plateLanes, plate.boundsMin(), plate.boundsMax()));
    // One lane per cut plane (wall pieces included), plus a few straightened creases.
    EXPECT_GE(plateLanes.alongX.size(), 180u);
    EXPECT_LE(plateLanes.alongX.size(), 186u);
    EXPECT_GE(plateLanes.alongY.size(), 180u);
    EXPECT_LE(plateLanes.alongY.size(), 186u);

    std::vector<std::uint32_t> plateMap;
    const LatticeSegments plateShown = selectLatticeForDisplay(plateLattice, plateLanes, plate.boundsMin(), plate.boundsMax(), 70, plateMap);
    std::set<float> topY, topX; // lane positions of the lines on the top face
    std::size_t plumb = 0;
    for (const Segment& s : plateShown) {
        if (std::fabs(s.p1.z - s.p0.z) > 0.9f * len(s))
            ++plumb;
        if (std::fabs(s.p0.z - 8) < 0.1f && std::fabs(s.p1.z - 8) < 0.1f)
            (std::fabs(s.p1.x - s.p0.x) >= std::fabs(s.p1.y - s.p0.y) ? topY : topX).insert(s.p0.x == s.p1.x ? s.p0.x : s.p0.y);
    }
    // Mostly lines over the part, not the walls' edges.
    EXPECT_LT(plumb * 2, plateShown.size());
    // Lanes every ~18.5 mm from edge to edge of the top, both ways.
    for (const auto& [positions, extent] : {std::pair{topY, 60.0f}, std::pair{topX, 100.0f}}) {
        ASSERT_GE(positions.size(), 4u);
        EXPECT_NEAR(*positions.begin(), 0.0f, 1.0f);
        EXPECT_NEAR(*positions.rbegin(), extent, 1.0f);
        for (auto it = std::next(positions.begin()); it != positions.end(); ++it)
            EXPECT_LT(*it - *std::prev(it), 19.0f) << *it;
    }
}

TEST(Lattice, EmptyBrokenAndFlatInputDoNotCrashAndFlatMeshesAreCutOneWay)
{
    EXPECT_TRUE(computeLatticeSegments(MeshModel{}).empty());

    MeshModel nanBox = shapes::box({10, 10, 10}, 1);
    nanBox.vertices.edit()[0] = Vec3f{NAN, NAN, NAN};
    (void)computeLatticeSegments(nanBox);

    MeshModel badIndex = shapes::box({10, 10, 10}, 1);
    badIndex.faces.edit()[0] = Triangle{0, 1, 999999};
    (void)computeLatticeSegments(badIndex);

    MeshModel point;
    point.vertices.assign(std::vector<Vec3f>{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
    point.faces.assign(std::vector<Triangle>{Triangle{0, 1, 2}});
    EXPECT_TRUE(computeLatticeSegments(point).empty());

    LatticeSegments withNan{{{NAN, 0, 0}, {1, NAN, 0}}, {{0, 0, 0}, {10, 0, 0}}};
    LatticeLanes lanes;
    EXPECT_TRUE(buildLatticeLanes(withNan, lanes, {0, 0, 0}, {10, 10, 10}));
    EXPECT_EQ(withNan.size(), 1u);
    std::vector<std::uint32_t> map;
    (void)selectLatticeForDisplay(withNan, lanes, {NAN, 0, 0}, {INFINITY, 1, 1}, -5, map);
    EXPECT_TRUE(dominantFeatureLines({{{NAN, NAN, NAN}, {NAN, NAN, NAN}}}).empty());
    // A mesh flat in X is cut only across Y.
    // A vertical 50 x 20 sheet at x = 5.
    MeshModel sheet;
    sheet.vertices.assign(std::vector<Vec3f>{{5, 0, 0}, {5, 50, 0}, {5, 50, 20}, {5, 0, 20}});
    sheet.faces.assign(std::vector<Triangle>{Triangle{0, 1, 2}, Triangle{0, 2, 3}});
    sheet.updateCaches();
    const LatticeSegments sheetCuts = computeLatticeSegments(sheet);
    ASSERT_FALSE(sheetCuts.empty());
    std::set<long> cutPositions;
    for (const Segment& s : sheetCuts) {
        EXPECT_FLOAT_EQ(s.p0.x, 5.0f);
        EXPECT_FLOAT_EQ(s.p1.x, 5.0f);
        if (s.p0.y == s.p1.y && s.p0.y > 0.01f && s.p0.y < 49.99f)
            cutPositions.insert(std::lround(s.p0.y * 1000.0));
    }
    EXPECT_EQ(cutPositions.size(), 180u);
}

