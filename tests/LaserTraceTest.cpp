#include "effects/LaserTrace.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A right triangle in the z = 0 plane, legs of 4 along x and y; its winding faces +z.
const Vec3 kA{0, 0, 0}, kB{4, 0, 0}, kC{0, 4, 0};
const Vec3 kDown{0, 0, -1};

bool hitsAt(float x, float y, float tmin = 0.001f, float tmax = 999999.0f) {
    float t = -1;
    Vec3 normal;
    return rayTriangle(kA, kB, kC, {x, y, 5}, kDown, tmin, tmax, t, normal);
}

}  // namespace

TEST(RayTriangle, HitReportsDistanceAndWindingNormalFromEitherSide) {
    float t = -1;
    Vec3 normal;
    ASSERT_TRUE(rayTriangle(kA, kB, kC, {1, 1, 5}, kDown, 0.001f, 1000.0f, t, normal));
    EXPECT_FLOAT_EQ(t, 5.0f);
    EXPECT_FLOAT_EQ(normal.x, 0.0f);
    EXPECT_FLOAT_EQ(normal.y, 0.0f);
    EXPECT_FLOAT_EQ(normal.z, 1.0f);

    // From behind the triangle: still a hit, and the normal follows the winding, not the ray.
    ASSERT_TRUE(rayTriangle(kA, kB, kC, {1, 2, -3}, {0, 0, 1}, 0.001f, 1000.0f, t, normal));
    EXPECT_FLOAT_EQ(t, 3.0f);
    EXPECT_FLOAT_EQ(normal.z, 1.0f);

    // An oblique ray with a direction that is not unit length: t is in direction units.
    ASSERT_TRUE(rayTriangle(kA, kB, kC, {0, 0, 2}, {1, 1, -2}, 0.001f, 1000.0f, t, normal));
    EXPECT_FLOAT_EQ(t, 1.0f);
}

TEST(RayTriangle, MissesOutsideAndBehindTheOrigin) {
    EXPECT_FALSE(hitsAt(3, 3));    // beyond the hypotenuse
    EXPECT_FALSE(hitsAt(-1, 1));   // left of the y leg
    EXPECT_FALSE(hitsAt(1, -1));   // below the x leg
    EXPECT_FALSE(hitsAt(5, 0.5f)); // past corner B
    float t;
    Vec3 normal;
    // The triangle lies behind the ray.
    EXPECT_FALSE(rayTriangle(kA, kB, kC, {1, 1, 5}, {0, 0, 1}, 0.001f, 1000.0f, t, normal));
}

TEST(RayTriangle, EdgesAndCornersNeverHitButTheInsideNextToThemDoes) {
    EXPECT_FALSE(hitsAt(2, 0));  // edge AB
    EXPECT_FALSE(hitsAt(0, 2));  // edge AC
    EXPECT_FALSE(hitsAt(2, 2));  // edge BC
    EXPECT_FALSE(hitsAt(0, 0));  // corner A
    EXPECT_FALSE(hitsAt(4, 0));  // corner B
    EXPECT_FALSE(hitsAt(0, 4));  // corner C
    EXPECT_TRUE(hitsAt(2, 0.001f));
    EXPECT_TRUE(hitsAt(0.001f, 2));
    EXPECT_TRUE(hitsAt(1.999f, 1.999f));
    EXPECT_TRUE(hitsAt(3.99f, 0.005f));
}

TEST(RayTriangle, TminAndTmaxThemselvesCountAndAnythingOutsideDoesNot) {
    EXPECT_TRUE(hitsAt(1, 1, 5.0f, 1000.0f));
    EXPECT_FALSE(hitsAt(1, 1, 5.0001f, 1000.0f));
    EXPECT_TRUE(hitsAt(1, 1, 0.001f, 5.0f));
    EXPECT_FALSE(hitsAt(1, 1, 0.001f, 4.9999f));
    // A ray starting on the plane is at t = 0, below the usual tmin.
    float t;
    Vec3 normal;
    EXPECT_FALSE(rayTriangle(kA, kB, kC, {1, 1, 0}, kDown, 0.001f, 1000.0f, t, normal));
    EXPECT_TRUE(rayTriangle(kA, kB, kC, {1, 1, 0}, kDown, 0.0f, 1000.0f, t, normal));
    EXPECT_FLOAT_EQ(t, 0.0f);
}

TEST(RayTriangle, RaysParallelToThePlaneAndDegenerateTrianglesNeverHit) {
    float t = -1;
    Vec3 normal;
    // In the plane, crossing the triangle: no single crossing point, so no hit.
    EXPECT_FALSE(rayTriangle(kA, kB, kC, {-1, 1, 0}, {1, 0, 0}, 0.001f, 1000.0f, t, normal));
    EXPECT_FALSE(rayTriangle(kA, kB, kC, {-1, 1, 1}, {1, 0, 0}, 0.001f, 1000.0f, t, normal));
    // All three corners on one line.
    EXPECT_FALSE(rayTriangle(kA, kB, {8, 0, 0}, {1, 0, 5}, kDown, 0.001f, 1000.0f, t, normal));
    EXPECT_FLOAT_EQ(t, -1.0f);
}
