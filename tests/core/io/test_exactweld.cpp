#include "io/exactweld.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace {

// Corners drawn from a small pool, so most repeat across the pieces; some
// carry -0.0 where the pool has 0.0.
std::vector<Vec3f> cornersFromPool(std::size_t n)
{
    std::mt19937 rng(7);
    std::vector<Vec3f> pool;
    for (int i = 0; i < 3000; ++i)
        pool.emplace_back(float(i % 17) - 8.f, float(i % 31) * 0.5f, float(i / 527));
    std::vector<Vec3f> corners;
    for (std::size_t i = 0; i < n; ++i) {
        Vec3f p = pool[rng() % pool.size()];
        if (p.x == 0.f && i % 2)
            p.x = -0.f;
        corners.push_back(p);
    }
    return corners;
}

} // namespace

TEST(ExactWeld, SplitOverThreadsGivesTheSingleThreadGroupsAndPoints)
{
    const std::vector<Vec3f> corners = cornersFromPool(40000);
    ExactWeld serial(1024);
    std::vector<std::uint32_t> expected(corners.size());
    ASSERT_TRUE(serial.insertMany(corners.data(), corners.size(), expected.data()));
    ASSERT_EQ(serial.points().size(), 3000u);

    for (unsigned threads : {1u, 2u, 3u, 5u}) {
        SCOPED_TRACE(threads);
        WeldSplit split;
        split.minPiece = 1000;
        split.threads = threads;
        ExactWeld weld(1024);
        std::vector<std::uint32_t> groups(corners.size());
        ASSERT_TRUE(weld.insertManyInParallel(corners.data(), corners.size(), groups.data(), split));
        EXPECT_EQ(groups, expected);
        ASSERT_EQ(weld.points().size(), serial.points().size());
        for (std::size_t i = 0; i < weld.points().size(); ++i)
            ASSERT_EQ(std::memcmp(&weld.points()[i], &serial.points()[i], sizeof(Vec3f)), 0) << i;

        // A non-finite coordinate in the last piece fails the whole weld.
        std::vector<Vec3f> bad = corners;
        bad.back().y = std::numeric_limits<float>::quiet_NaN();
        ExactWeld refused(1024);
        EXPECT_FALSE(refused.insertManyInParallel(bad.data(), bad.size(), groups.data(), split));
    }
}
