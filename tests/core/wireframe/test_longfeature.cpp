#include "model/wireframe/longfeature.h"

#include "tests/core/fixtures/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using Segment = MeshModel::SliceSegment3D;

float len(const Segment& s)
{
    const Vec3f d = s.p1 - s.p0;
    return std::sqrt(dot(d, d));
}

// A closed prism over a convex outline in the XY plane from z = 0 to height:
// outline sides split into pieces of about `step`, walls into `rows` rows,
// caps fanned from the centre, so creases are chains of many short edges.
MeshModel prism(const std::vector<std::pair<float, float>>& outline, float height, float step, int rows)
{
    std::vector<Vec3f> ring;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const auto [x0, y0] = outline[i];
        const auto [x1, y1] = outline[(i + 1) % outline.size()];
        const int along = std::max(1, int(std::lround(std::hypot(x1 - x0, y1 - y0) / step)));
        for (int k = 0; k < along; ++k) {
            const float t = float(k) / float(along);
            ring.push_back({x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, 0.0f});
        }
    }
    const std::uint32_t n = std::uint32_t(ring.size());
    std::vector<Vec3f> v;
    for (int r = 0; r <= rows; ++r)
        for (const Vec3f& p : ring)
            v.push_back({p.x, p.y, height * float(r) / float(rows)});
    Vec3f centre;
    for (const Vec3f& p : ring)
        centre = centre + p * (1.0f / float(n));
    const std::uint32_t bottom = std::uint32_t(v.size()), top = bottom + 1;
    v.push_back({centre.x, centre.y, 0.0f});
    v.push_back({centre.x, centre.y, height});
    std::vector<Triangle> f;
    for (int r = 0; r < rows; ++r)
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t a = std::uint32_t(r) * n + i, b = std::uint32_t(r) * n + (i + 1) % n;
            f.push_back({a, b, b + n});
            f.push_back({a, b + n, a + n});
        }
    const std::uint32_t topRing = std::uint32_t(rows) * n;
    for (std::uint32_t i = 0; i < n; ++i) {
        f.push_back({bottom, (i + 1) % n, i});
        f.push_back({top, topRing + i, topRing + (i + 1) % n});
    }
    MeshModel m;
    m.vertices.assign(std::move(v));
    m.faces.assign(std::move(f));
    m.updateCaches();
    return m;
}

struct Case {
    std::string name;
    MeshModel mesh;
    std::size_t segments; // expected long-feature segments
    double totalLength;   // their summed length
};

std::vector<Case> cases()
{
    // A 100 x 80 box, 30 high: twelve edges, all longer than L = 20 mm.
    const std::vector<std::pair<float, float>> rect{{0, 0}, {100, 0}, {100, 80}, {0, 80}};
    // The same box with its four vertical edges chamfered 5 mm: top and bottom
    // octagons and eight vertical creases; the 7.07 mm chamfer sides are
    // creases too, but shorter than L.
    const std::vector<std::pair<float, float>> octagon{{5, 0},  {95, 0},  {100, 5}, {100, 75},
                                                       {95, 80}, {5, 80}, {0, 75},  {0, 5}};
    // A 5 mm cube: every crease shorter than L, so the raw edges stand in.
    const std::vector<std::pair<float, float>> small{{0, 0}, {5, 0}, {5, 5}, {0, 5}};
    std::vector<Case> out;
    out.push_back({"box", prism(rect, 30, 12.5f, 5), 12, 2 * (2 * 100 + 2 * 80) + 4 * 30});
    out.push_back({"chamfered", prism(octagon, 30, 10, 4), 16, 2 * (2 * 90 + 2 * 70) + 8 * 30});
    // 4 pieces per side, 2 rows: 8 + 8 cap-edge pieces of 1.25 mm, 4 x 2 wall pieces of 2.5 mm.
    out.push_back({"short features", prism(small, 5, 1.25f, 2), 40, 8 * 5 + 4 * 5});
    return out;
}

} // namespace

TEST(LongFeature, CreasesAtLeastLLongBecomeStraightPolylinesAngleIsClampedBordersCount)
{
    for (Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const WireSegments segments = buildLongFeatureSegments(c.mesh, 30.0f);
        ASSERT_EQ(segments.size(), c.segments);
        double total = 0.0;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            total += len(segments[i]);
            if (i > 0) { // ranked longest first
                EXPECT_GE(len(segments[i - 1]) + 1e-4f, len(segments[i]));
            }
            // Every segment lies along one axis: creases, not chords across faces.
            const Vec3f d = segments[i].p1 - segments[i].p0;
            const int zeros = (std::fabs(d.x) < 1e-3f) + (std::fabs(d.y) < 1e-3f) + (std::fabs(d.z) < 1e-3f);
            EXPECT_EQ(zeros, 2) << i;
        }
        EXPECT_NEAR(total, c.totalLength, 1e-3 * c.totalLength);
    }
    MeshModel box = prism({{0, 0}, {100, 0}, {100, 80}, {0, 80}}, 30, 50, 1);
    EXPECT_TRUE(buildLongFeatureSegments(box, 89.0f).size() == 12u); // clamped to 85: 90-degree edges stay
    // An open 100 x 60 sheet: its border is the feature, four sides.
    MeshModel sheet = shapes::plate(100, 60, 4);
    sheet.updateCaches();
    const WireSegments border = buildLongFeatureSegments(sheet, 30.0f);
    ASSERT_EQ(border.size(), 4u);
    EXPECT_NEAR(len(border[0]) + len(border[1]) + len(border[2]) + len(border[3]), 320.0, 1e-3);
    MeshModel empty;
    EXPECT_TRUE(buildLongFeatureSegments(empty, 30.0f).empty());
}

TEST(LongFeature, DisplayThinsByComplexityAndCleanupAndKeepsSourceIndices)
{
    // 30000 segments of 1..30 mm in a 1000 mm box.
    WireSegments source;
    for (int i = 0; i < 30000; ++i) {
        const float l = 1.0f + float(i % 30);
        source.push_back({{0, float(i) * 0.01f, 0}, {l, float(i) * 0.01f, 0}});
    }
    const double diagonal = 1000.0;
    struct Row {
        int complexity, cleanup;
        std::size_t shown;
    };
    // T = round((22000 c + 900) f); minimum length l = (0.00024 k + 0.00018 + 0.00016 (1 - c)) D.
    for (const Row& r : {Row{100, 0, 22900}, Row{70, 1, 11736}, Row{10, 2, 1426}}) {
        const LongFeatureDisplay shown = selectLongFeaturesForDisplay(source, diagonal, r.complexity, r.cleanup);
        SCOPED_TRACE(r.complexity);
        ASSERT_EQ(shown.segments.size(), shown.sourceIndex.size());
        const double c = r.complexity / 100.0;
        const double minLength = (0.00024 * r.cleanup + 0.00018 + 0.00016 * (1 - c)) * diagonal;
        EXPECT_LE(shown.segments.size(), r.shown);
        EXPECT_GT(shown.segments.size(), r.shown * 8 / 10);
        for (std::size_t i = 0; i < shown.segments.size(); ++i) {
            EXPECT_GE(len(shown.segments[i]), minLength);
            EXPECT_EQ(shown.segments[i].p0, source[shown.sourceIndex[i]].p0);
        }
    }
    // All too short: the first T/2 are shown rather than nothing.
    const WireSegments tiny(1000, Segment{{0, 0, 0}, {0.01f, 0, 0}});
    EXPECT_EQ(selectLongFeaturesForDisplay(tiny, diagonal, 70, 1).segments.size(), 1000u);

    LongFeatureDisplay kept = selectLongFeaturesForDisplay(source, diagonal, 70, 1);
    const std::size_t n = kept.segments.size();
    EXPECT_FALSE(keepFirstLongFeatures(kept, n));
    EXPECT_EQ(kept.segments.size(), n);
    EXPECT_TRUE(keepFirstLongFeatures(kept, 2));
    EXPECT_EQ(kept.sourceIndex.size(), 2u);
}
