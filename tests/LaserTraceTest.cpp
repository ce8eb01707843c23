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

namespace {

// An axis-aligned box of mirrors, half-size h around the origin, two triangles per
// face; `openTop` leaves out the +y face so beams can escape upwards.
Model mirrorBox(float h, bool openTop) {
    Model model;
    model.meshes.emplace_back();
    Mesh& mesh = model.meshes.back();
    mesh.attributeCount = 1;
    mesh.attributeTypes[0] = 0;
    mesh.attributeComponents[0] = 3;
    mesh.updateLayout();
    for (int n = 0; n < 8; ++n) {
        mesh.vertexData.push_back(n & 1 ? h : -h);
        mesh.vertexData.push_back(n & 2 ? h : -h);
        mesh.vertexData.push_back(n & 4 ? h : -h);
    }
    mesh.vertexCount = 8;
    // Corner n has x from bit 0, y from bit 1, z from bit 2.
    const uint16_t faces[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                  {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
    for (int f = 0; f < 6; ++f) {
        if (openTop && f == 3) continue;
        const uint16_t* q = faces[f];
        for (uint16_t index : {q[0], q[1], q[2], q[0], q[2], q[3]}) mesh.indices.push_back(index);
        mesh.triangleCount += 2;
    }
    return model;
}

// Which wall of an axis-aligned box a point lies on: axis * 2 + (1 on the + side).
int faceOf(const Vec3& p) {
    const float a[3] = {std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)};
    const int axis = a[0] >= a[1] && a[0] >= a[2] ? 0 : a[1] >= a[2] ? 1 : 2;
    const float value = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
    return axis * 2 + (value > 0);
}

Vec3 reflect(const Vec3& d, const Vec3& n) { return d - n * (2.0f * d.dot(n)); }

void expectNear(const Vec3& a, const Vec3& b, float tolerance) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

}  // namespace

TEST(LaserTrace, ClosedMirrorBoxStopsAtTheBounceLimitWithReflectionsOnTheWalls) {
    const Model box = mirrorBox(5.0f, false);
    RayScene scene;
    scene.addInstance(box);
    const Vec3 start{0.3f, 0.7f, -0.2f};
    LaserPath path;
    path.hits.resize(40);  // stale records from an earlier frame must go
    scene.trace(start, Vec3(1.0f, 0.37f, 0.61f).normalized(), 10, path);

    ASSERT_EQ(path.hits.size(), 11u);
    EXPECT_EQ(path.hits[0].distance, 0.0f);
    expectNear(path.hits[0].point, start, 0.0f);
    expectNear(path.hits[0].normal, Vec3(), 0.0f);
    Vec3 heading = Vec3(1.0f, 0.37f, 0.61f).normalized();
    for (size_t k = 1; k < path.hits.size(); ++k) {
        const LaserHit& hit = path.hits[k];
        const Vec3& p = hit.point;
        const float reach = std::fmax(std::fabs(p.x), std::fmax(std::fabs(p.y), std::fabs(p.z)));
        EXPECT_NEAR(reach, 5.0f, 1e-4) << "record " << k << " is not on a mirror";
        EXPECT_NEAR(hit.distance, (p - path.hits[k - 1].point).length(), 1e-4);
        EXPECT_NEAR(hit.normal.length(), 1.0f, 1e-6);
        // The normal is the face's axis, either way round (the mirrors are two-sided).
        EXPECT_NEAR(std::fabs(hit.normal.x) + std::fabs(hit.normal.y) + std::fabs(hit.normal.z), 1.0f, 1e-6);
        // The ray leaving a mirror starts on it and must not meet it again at once.
        if (k > 1) {
            EXPECT_NE(faceOf(p), faceOf(path.hits[k - 1].point)) << "record " << k;
        }
        expectNear((p - path.hits[k - 1].point).normalized(), heading, 1e-4);
        heading = reflect(heading, hit.normal);
    }
}

TEST(LaserTrace, EscapeEndsThePathAThousandUnitsOut) {
    const Model box = mirrorBox(5.0f, true);
    RayScene scene;
    scene.addInstance(box);
    const Vec3 up = Vec3(0.1f, 1.0f, -0.05f).normalized();
    LaserPath path;
    scene.trace({0, 0, 0}, up, 10, path);
    ASSERT_EQ(path.hits.size(), 2u);
    EXPECT_EQ(path.hits[1].distance, 1000.0f);
    expectNear(path.hits[1].point, up * 1000.0f, 1e-3f);
    expectNear(path.hits[1].normal, Vec3(), 0.0f);

    // Down first, off the floor, then out through the open top: start, hit, escape.
    const Vec3 down = Vec3(0.1f, -1.0f, 0.05f).normalized();
    scene.trace({0, 0, 0}, down, 10, path);
    ASSERT_EQ(path.hits.size(), 3u);
    EXPECT_NEAR(path.hits[1].point.y, -5.0f, 1e-5);
    EXPECT_NEAR(path.hits[1].distance, 5.0f / -down.y, 1e-4);
    const Vec3 out = reflect(down, path.hits[1].normal);
    expectNear(path.hits[2].point, path.hits[1].point + out * 1000.0f, 1e-2f);

    // A bounce limit of 1 in the closed box: start and the one hit, no escape record.
    const Model closed = mirrorBox(5.0f, false);
    RayScene closedScene;
    closedScene.addInstance(closed);
    closedScene.trace({0, 0, 0}, down, 1, path);
    ASSERT_EQ(path.hits.size(), 2u);
    EXPECT_NEAR(path.hits[1].point.y, -5.0f, 1e-5);
}

TEST(LaserTrace, NearestHitWinsAcrossMeshesAndInstances) {
    // Two boxes in one model (the inner one second) and a third as its own instance.
    Model nested = mirrorBox(8.0f, false);
    nested.meshes.push_back(mirrorBox(2.0f, false).meshes[0]);
    const Model outer = mirrorBox(20.0f, false);
    RayScene scene;
    scene.addInstance(outer);
    scene.addInstance(nested);
    LaserHit hit{};
    // Off the centre line, which runs along the diagonal edge of each face.
    ASSERT_TRUE(scene.intersect({0, 0.3f, 0.1f}, {1, 0, 0}, hit));
    EXPECT_FLOAT_EQ(hit.distance, 2.0f);
    expectNear(hit.point, {2, 0.3f, 0.1f}, 1e-6f);
    EXPECT_FALSE(scene.intersect({0, 0, 0}, {1, 0, 0}, hit));
    // From outside the inner box the middle one is nearest.
    ASSERT_TRUE(scene.intersect({3, 0.5f, 0.2f}, {1, 0, 0}, hit));
    EXPECT_FLOAT_EQ(hit.distance, 5.0f);
    EXPECT_FALSE(scene.intersect({30, 0, 0}, {1, 0, 0}, hit));
}

TEST(LaserTrace, SceneBeamsLeaveTheStartAlongTheirSwingingDirections) {
    const Model box = mirrorBox(40.0f, false);
    RayScene scene;
    scene.addInstance(box);
    LaserPath paths[kLaserBeamCount];
    for (float t : {87.87f, 95.0f, 103.0f}) {
        traceLaserBeams(scene, t, paths);
        for (int i = 0; i < kLaserBeamCount; ++i) {
            ASSERT_EQ(paths[i].hits.size(), 11u) << "beam " << i;
            expectNear(paths[i].hits[0].point, {-0.5f, 18.5f, -1.3f}, 0.0f);
            const Vec3 expected = Vec3(1.0f, std::sin(0.12f * t) - 0.25f * i, 1.0f).normalized();
            expectNear((paths[i].hits[1].point - paths[i].hits[0].point).normalized(), expected, 1e-4f);
        }
    }
}

TEST(LaserTrace, PlacedInstancesReportWorldPointsDistancesAndNormals) {
    const Model box = mirrorBox(5.0f, false);
    RayScene scene;
    scene.addInstance(box, makeAffine(1, 0, 0, 0, 1, 0, 0, 0, 1, 10, 0, 0));
    LaserHit hit{};
    ASSERT_TRUE(scene.intersect({10, 0.3f, 0.1f}, {1, 0, 0}, hit));
    EXPECT_FLOAT_EQ(hit.distance, 5.0f);
    expectNear(hit.point, {15, 0.3f, 0.1f}, 1e-5f);
    EXPECT_NEAR(std::fabs(hit.normal.x), 1.0f, 1e-6);
    EXPECT_FALSE(scene.intersect({0, 0.3f, 0.1f}, {-1, 0, 0}, hit));

    // One mirror in the plane x + z = 0, stretched to twice its width along x: in the
    // world it lies in x / 2 + z = 0, and the normal must be perpendicular to that.
    Model tilted;
    tilted.meshes.emplace_back();
    Mesh& mesh = tilted.meshes.back();
    mesh.attributeCount = 1;
    mesh.attributeTypes[0] = 0;
    mesh.attributeComponents[0] = 3;
    mesh.updateLayout();
    mesh.vertexData = {-4, -4, 4, 4, -4, -4, 0, 4, 0};
    mesh.vertexCount = 3;
    mesh.indices = {0, 1, 2};
    mesh.triangleCount = 1;
    RayScene stretched;
    stretched.addInstance(tilted, makeAffine(2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0));
    ASSERT_TRUE(stretched.intersect({0.4f, 0, 5}, {0, 0, -1}, hit));
    EXPECT_NEAR(hit.point.x / 2 + hit.point.z, 0.0f, 1e-5);
    EXPECT_NEAR(hit.distance, 5.2f, 1e-5);
    EXPECT_NEAR(hit.normal.length(), 1.0f, 1e-6);
    const Vec3 worldEdge{8, 0, -4};  // corner 1 minus corner 0, stretched
    EXPECT_NEAR(hit.normal.dot(worldEdge), 0.0f, 1e-5);
    EXPECT_NEAR(hit.normal.y, 0.0f, 1e-6);
}
