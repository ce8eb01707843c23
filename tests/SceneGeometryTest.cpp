// Scene computations: the lettering and when it shows, sparks, the lit line-field run,
// point clouds, flag clip choice and wave, ring-stack placement and the box depths.
#include "effects/SceneGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

TEST(Strokes, TableHasTheLetteringsPointCountsOnTheGrid) {
    const int expected[kStrokeCount] = {6, 6, 8, 5, 7, 7, 6, 7};
    int total = 0;
    for (int i = 0; i < kStrokeCount; ++i) {
        EXPECT_EQ(kStrokePointCounts[i], expected[i]) << "stroke " << i;
        for (int p = total; p < total + kStrokePointCounts[i]; ++p) {
            EXPECT_GE(kStrokePoints[p].x, -7);
            EXPECT_LE(kStrokePoints[p].x, 7);
            EXPECT_GE(kStrokePoints[p].y, -4);
            EXPECT_LE(kStrokePoints[p].y, 5);
            if (p > total) {
                EXPECT_FALSE(kStrokePoints[p].x == kStrokePoints[p - 1].x &&
                             kStrokePoints[p].y == kStrokePoints[p - 1].y)
                    << "zero-length segment in stroke " << i << " at point " << p;
            }
        }
        total += kStrokePointCounts[i];
    }
    EXPECT_EQ(total, kStrokePointTotal);
}

TEST(Strokes, PointIAppearsAfterIPlusThreeAndAHalfSeconds) {
    EXPECT_EQ(strokeVisiblePoints(0.0f, 8), 0);
    EXPECT_EQ(strokeVisiblePoints(-5.0f, 8), 0);
    EXPECT_EQ(strokeVisiblePoints(3.5f, 8), 0);
    EXPECT_EQ(strokeVisiblePoints(3.51f, 8), 1);
    // A strip needs two points: nothing is drawn up to 4.5 s.
    EXPECT_EQ(strokeVisiblePoints(4.5f, 8), 1);
    EXPECT_EQ(strokeVisiblePoints(std::nextafter(4.5f, 5.0f), 8), 2);
    EXPECT_EQ(strokeVisiblePoints(10.5f, 8), 7);
    EXPECT_EQ(strokeVisiblePoints(10.51f, 8), 8);
    EXPECT_EQ(strokeVisiblePoints(11.8f, 5), 5);
}

TEST(Sparks, SegmentCountGrowsEvery45MillisecondsUpToTheSteps) {
    const float start = 20.1f;
    EXPECT_EQ(sparkSegmentCount(start, start, 15), 0);
    EXPECT_EQ(sparkSegmentCount(start - 1.0f, start, 15), 0);
    EXPECT_EQ(sparkSegmentCount(start + 0.04f, start, 15), 0);
    EXPECT_EQ(sparkSegmentCount(start + 0.05f, start, 15), 1);
    EXPECT_EQ(sparkSegmentCount(start + 0.2f, start, 15), 4);
    EXPECT_EQ(sparkSegmentCount(start + 0.64f, start, 15), 14);
    EXPECT_EQ(sparkSegmentCount(start + 4.9f, start, 15), 14);
    EXPECT_EQ(sparkSegmentCount(start + 1000.0f, start, 15), 14);
}

TEST(Sparks, SpiralShrinksInThePlaneOfXAndTheDiagonal) {
    Vec3 plus[15], minus[15];
    const Vec3 origin(10, -3, 4);
    sparkPoints(1.0f, 0.0f, origin, 15, plus);
    sparkPoints(-1.0f, 0.0f, origin, 15, minus);
    EXPECT_FLOAT_EQ(plus[0].x, 10);
    // First segment: length 50 / 2.5 at angle 2/3.
    Vec3 first = plus[1] - plus[0];
    EXPECT_NEAR(first.x, 20 * std::cos(2.0 / 3.0), 1e-4);
    EXPECT_NEAR(first.y, 20 * std::sin(2.0 / 3.0), 1e-4);
    for (int o = 1; o < 15; ++o) {
        Vec3 d = plus[o] - plus[o - 1];
        double angle = 2.0 / 3.0 * o, length = 50.0 / (1.5 * o + 1.0);
        EXPECT_NEAR(d.x, length * std::cos(angle), 1e-4) << o;
        EXPECT_NEAR(d.y, length * std::sin(angle), 1e-4) << o;
        EXPECT_NEAR(d.z, d.y, 1e-4) << o;
        // The other sense of turn mirrors y and z.
        Vec3 m = minus[o] - minus[o - 1];
        EXPECT_NEAR(m.x, d.x, 1e-4) << o;
        EXPECT_NEAR(m.y, -d.y, 1e-4) << o;
        EXPECT_NEAR(m.z, -d.z, 1e-4) << o;
    }
}

TEST(LineField, SegmentsLightStrictlyInsideTheirFiveSeconds) {
    EXPECT_FALSE(fieldSegmentLit(5.0f, 100));        // t = s
    EXPECT_TRUE(fieldSegmentLit(5.01f, 100));
    EXPECT_TRUE(fieldSegmentLit(9.99f, 100));
    EXPECT_FALSE(fieldSegmentLit(10.0f, 100));       // t = s + 5
    EXPECT_FALSE(fieldSegmentLit(0.0f, 0));
    int first, last;
    litFieldSegments(0.0f, first, last);
    EXPECT_GT(first, last);
    litFieldSegments(0.01f, first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
    litFieldSegments(30.0f, first, last);
    for (int n = 0; n < kFieldSegments; ++n) {
        ASSERT_EQ(fieldSegmentLit(30.0f, n), n >= first && n <= last) << n;
    }
    EXPECT_NEAR(last - first, 98, 1);  // 0.05 n within (25, 30)
    litFieldSegments(200.0f, first, last);
    EXPECT_GT(first, last);
}

TEST(PointClouds, SameSizeGivesTheSameCloudEveryTime) {
    std::vector<float> a(3 * 4000), b(3 * 4000), small(3 * 2000), other(3 * 4000);
    generatePointField(300.0f, 4000, a.data());
    std::srand(12345);  // whatever the generator did in between
    (void)std::rand();
    generatePointField(300.0f, 4000, b.data());
    generatePointField(300.0f, 2000, small.data());
    generatePointField(400.0f, 4000, other.data());
    EXPECT_EQ(a, b);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), a.begin()));
    EXPECT_NE(a, other);
    float lowest = 1e9f, highest = -1e9f;
    for (float v : a) {
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_GE(lowest, -150.0f);
    EXPECT_LE(highest, 150.0f);
    EXPECT_LT(lowest, -140.0f);  // the cube is filled, not a corner of it
    EXPECT_GT(highest, 140.0f);
}

TEST(ModelScene, CopiesStartAtMinusSevenAndAHalf) {
    EXPECT_FLOAT_EQ(puolipalloOffset(11.841f, 1.0f), -7.5f);
    EXPECT_NEAR(puolipalloOffset(21.841f, 0.0f), -17.0f, 1e-4f);
}

TEST(VideoFlag, ClipSwitchesAtItsTimes) {
    EXPECT_EQ(flagClipAt(57.9f), FlagClip::Heilu);
    EXPECT_EQ(flagClipAt(std::nextafter(61.67f, 0.0f)), FlagClip::Heilu);
    EXPECT_EQ(flagClipAt(61.67f), FlagClip::Dance);
    EXPECT_EQ(flagClipAt(std::nextafter(65.59f, 0.0f)), FlagClip::Dance);
    EXPECT_EQ(flagClipAt(65.59f), FlagClip::Heilu);
    EXPECT_EQ(flagClipAt(std::nextafter(69.33f, 0.0f)), FlagClip::Heilu);
    EXPECT_EQ(flagClipAt(69.33f), FlagClip::Dance);
    EXPECT_EQ(flagClipAt(73.0f), FlagClip::Dance);
}

TEST(VideoFlag, WaveMatchesTheGridFormula) {
    std::vector<float> z(kFlagSide * kFlagSide);
    for (float t : {57.9f, 64.25f, 72.99f}) {
        flagHeights(t, z.data());
        for (int r = 0; r < kFlagSide; ++r) {
            for (int k = 0; k < kFlagSide; ++k) {
                double expected = 20.0 * std::cos(0.2 * r + 1.96 * t) * std::sin(0.25 * k + 3.4 * t);
                ASSERT_NEAR(z[kFlagSide * r + k], expected, 1e-3) << t << " " << r << " " << k;
            }
        }
    }
}

TEST(RingStacks, StartAtTheirDepthsAndWrapBetweenMinus500And200) {
    for (int i = 0; i < kRingStacks; ++i) {
        float x, z;
        ringStackPosition(0.0f, i, x, z);
        EXPECT_FLOAT_EQ(x, kRingStackPlaces[i].x) << i;
        EXPECT_FLOAT_EQ(z, kRingStackPlaces[i].depthOffset - 500.0f) << i;
    }
    float x, z;
    ringStackPosition(0.0f, 0, x, z);
    EXPECT_FLOAT_EQ(x, -100.0f);
    EXPECT_FLOAT_EQ(z, -500.0f);
    // One second later every stack has come 225 units closer (none has wrapped yet for D = 0).
    ringStackPosition(1.0f, 0, x, z);
    EXPECT_NEAR(z, -275.0f, 1e-3f);
    for (float t = 73.0f; t < 88.0f; t += 0.013f) {
        for (int i = 0; i < kRingStacks; ++i) {
            ringStackPosition(t, i, x, z);
            ASSERT_GE(z, -500.5f) << t << " " << i;
            ASSERT_LT(z, 200.5f) << t << " " << i;
        }
    }
}

class BoxWall : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 16000; ++i) bitmap[i] = static_cast<unsigned char>((i * 7 + 3) % 251);
    }
    unsigned char bitmap[16000];
    float depths[400];
};

TEST_F(BoxWall, FlatBeforeThreeSecondsAndTiltCapped) {
    for (float local : {0.0f, 1.0f, 2.999f, 3.0f}) {
        boxDepths(local, bitmap, depths);
        for (float d : depths) ASSERT_EQ(d, 0.0f) << local;
    }
    EXPECT_FLOAT_EQ(boxWallTilt(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(boxWallTilt(1.5f), 45.0f);
    EXPECT_FLOAT_EQ(boxWallTilt(3.0f), 90.0f);
    EXPECT_FLOAT_EQ(boxWallTilt(20.0f), 90.0f);
}

TEST_F(BoxWall, FullGrowthReadsRowsReversedAndScrolled) {
    bitmap[800 * 19 + 19 + 66] = 255;
    boxDepths(7.0f, bitmap, depths);  // full growth, scroll trunc(22 * 3) = 66
    EXPECT_FLOAT_EQ(depths[0], 51.0f);  // first box row: bitmap row 19, last column first
    EXPECT_FLOAT_EQ(depths[19], bitmap[800 * 19 + 66] * 0.2f);
    EXPECT_FLOAT_EQ(depths[399], bitmap[66] * 0.2f);
    for (int r = 0; r < 20; ++r) {
        for (int k = 0; k < 20; ++k) {
            ASSERT_FLOAT_EQ(depths[399 - (20 * r + k)], bitmap[800 * r + k + 66] * 0.2f) << r << k;
        }
    }
    boxDepths(5.0f, bitmap, depths);  // half grown, scroll 22
    EXPECT_FLOAT_EQ(depths[399], bitmap[22] * 0.5f * 0.2f);
}

TEST_F(BoxWall, ScrollStopsReadingBeforeTheBitmapEnds) {
    bitmap[0] = 200;
    // At 20 * (L - 4) = 700 the window still scrolls: the last read is byte 15989.
    boxDepths(39.0f, bitmap, depths);
    EXPECT_FLOAT_EQ(depths[0], bitmap[800 * 19 + 19 + 770] * 0.2f);
    // Beyond it every box reads byte 0.
    for (float local : {39.01f, 100.0f, 1e9f}) {
        boxDepths(local, bitmap, depths);
        for (float d : depths) ASSERT_FLOAT_EQ(d, 40.0f) << local;
    }
}
