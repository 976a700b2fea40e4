// When the window may reuse the shown section instead of cutting again.
#include "model/section/sectionrequest.h"

#include <gtest/gtest.h>

TEST(SectionCacheKey, MatchesOnlyTheSameCutOfTheSameGeometry)
{
    SectionRequest request;
    request.axis = Axis::Y;
    request.position = 12.5f;
    request.bandThickness = 0.2f;
    request.keepRatio = 0.8f;
    const SectionCacheKey key = sectionCacheKey(request, 7);
    EXPECT_TRUE(sectionCacheKeyMatches(key, request, 7));

    // Geometry moved (alignment, repair): the old lines are wrong.
    EXPECT_FALSE(sectionCacheKeyMatches(key, request, 8));

    SectionRequest other = request;
    other.position += 1e-4f;
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 7));
    other = request;
    other.axis = Axis::X;
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 7));
    other = request;
    other.bandThickness = 0.0f;
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 7));
    other = request;
    other.keepRatio = 1.0f;
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 7));
    other = request;
    other.surface = true;
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 7));

    // Smoothing reaches the view only through the background path.
    other = request;
    other.smoothStrength = 90;
    EXPECT_TRUE(sectionCacheKeyMatches(key, other, 7));
    // A fresh key never matches (axis Z at 0, band 0, keep 1).
    EXPECT_FALSE(sectionCacheKeyMatches(SectionCacheKey(), SectionRequest(), 0));
}

TEST(SectionCacheKey, SurfaceSlicesCompareThePlaneNotTheAxis)
{
    SectionRequest request;
    request.surface = true;
    request.normal = QVector3D(0, 1, 0);
    request.origin = QVector3D(1, 2, 3);
    request.u = QVector3D(1, 0, 0);
    request.v = QVector3D(0, 0, 1);
    const SectionCacheKey key = sectionCacheKey(request, 1);
    EXPECT_EQ(key.axis, -1);

    SectionRequest other = request;
    other.axis = Axis::X;
    other.position = 99.0f;
    EXPECT_TRUE(sectionCacheKeyMatches(key, other, 1));
    other = request;
    other.origin.setZ(3.001f);
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 1));
    other = request;
    other.v = QVector3D(0, 0, -1);
    EXPECT_FALSE(sectionCacheKeyMatches(key, other, 1));
}
