// The schedule at its bounds: times arrive as floats, bounds are compared in double.
#include "effects/Timeline.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SceneTable, BoundsWhoseFloatFallsBelowStayInTheEarlierScene) {
    EXPECT_EQ(sceneIndexAt(11.841f), 1);
    EXPECT_EQ(sceneIndexAt(57.841f), 3);
    EXPECT_EQ(sceneIndexAt(73.048f), 4);
    EXPECT_EQ(sceneIndexAt(103.38f), 6);
    EXPECT_EQ(sceneIndexAt(126.89f), 7);
}

TEST(SceneTable, BoundsWhoseFloatFallsAboveStartTheLaterScene) {
    EXPECT_EQ(sceneIndexAt(26.92f), 3);
    EXPECT_EQ(sceneIndexAt(87.87f), 6);
}

TEST(SceneTable, NeighboursOfEveryBoundPickTheirOwnWindow) {
    const float bounds[7] = {11.841f, 26.92f, 57.841f, 73.048f, 87.87f, 103.38f, 126.89f};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(sceneIndexAt(bounds[i] - 0.001f), i + 1) << bounds[i];
        EXPECT_EQ(sceneIndexAt(bounds[i] + 0.001f), i + 2) << bounds[i];
    }
}

TEST(SceneTable, StartAndBeforeStartPlayTheIntro) {
    EXPECT_EQ(sceneIndexAt(0.0f), 1);
    EXPECT_EQ(sceneIndexAt(-0.0f), 1);
    EXPECT_EQ(sceneIndexAt(-5.0f), 1);
    EXPECT_EQ(sceneIndexAt(-1e30f), 1);
}

TEST(SceneTable, TheProductionEndsAt159Seconds) {
    EXPECT_EQ(sceneIndexAt(158.99f), 8);
    EXPECT_EQ(sceneIndexAt(std::nextafter(159.0f, 0.0f)), 8);
    EXPECT_EQ(sceneIndexAt(159.0f), 0);
    EXPECT_EQ(sceneIndexAt(1000.0f), 0);
    EXPECT_EQ(sceneIndexAt(INFINITY), 0);
}

TEST(SceneTable, TilingStartsAt6555AsAFloat) {
    EXPECT_FALSE(tilingActiveAt(65.54f));
    EXPECT_FALSE(tilingActiveAt(std::nextafter(65.55f, 0.0f)));
    EXPECT_TRUE(tilingActiveAt(65.55f));
    EXPECT_TRUE(tilingActiveAt(73.0f));
}

TEST(SceneTable, TilingGrowsOneRowAboutEverySecond) {
    EXPECT_EQ(tileCountAt(65.55f), 1);
    EXPECT_EQ(tileCountAt(66.5f), 1);  // 0.95 s * 1.05 = 0.9975: still one tile
    EXPECT_EQ(tileCountAt(66.53f), 2);
    EXPECT_EQ(tileCountAt(67.45f), 2);
    EXPECT_EQ(tileCountAt(67.46f), 3);
    EXPECT_EQ(tileCountAt(73.04f), 8);  // 1 + floor(1.05 * 7.49)
}
