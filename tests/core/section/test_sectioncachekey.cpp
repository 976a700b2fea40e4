// When the window may reuse the shown section instead of cutting again.
#include "model/section/sectionrequest.h"

#include <gtest/gtest.h>

TEST(SectionCacheKey, MatchesOnlyTheSameCutOrPlaneOfTheSameGeometry)
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
    // Surface slices compare the plane, not the axis.
    SectionRequest surface;
    surface.surface = true;
    surface.normal = QVector3D(0, 1, 0);
    surface.origin = QVector3D(1, 2, 3);
    surface.u = QVector3D(1, 0, 0);
    surface.v = QVector3D(0, 0, 1);
    const SectionCacheKey surfaceKey = sectionCacheKey(surface, 1);
    EXPECT_EQ(surfaceKey.axis, -1);

    SectionRequest moved = surface;
    moved.axis = Axis::X;
    moved.position = 99.0f;
    EXPECT_TRUE(sectionCacheKeyMatches(surfaceKey, moved, 1));
    moved = surface;
    moved.origin.setZ(3.001f);
    EXPECT_FALSE(sectionCacheKeyMatches(surfaceKey, moved, 1));
    moved = surface;
    moved.v = QVector3D(0, 0, -1);
    EXPECT_FALSE(sectionCacheKeyMatches(surfaceKey, moved, 1));
}

