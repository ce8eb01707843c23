// Stroke intro, line field and the fixed point clouds. Everything here is drawn from
// client-side vertex arrays built once; a frame only picks which part to draw.
#include "core/GL.h"
#include "effects/Engine.h"
#include "effects/SceneData.h"
#include "effects/SceneGeometry.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"
#include "platform/Platform.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSparksB = (kFieldSegments - 1) / 23 + 1;  // segments 0, 23, ... of curve B
constexpr int kSparksA = (kFieldSegments - 1) / 35 + 1;  // segments 0, 35, ... of curve A
constexpr int kSparkFloats = (kSparkSteps - 1) * 2 * 3;  // GL_LINES pairs of xyz
constexpr int kPointClouds = 8;

struct PointCloud {
    float size = 0;          // side of the cube
    int count = 0;           // points
    std::vector<float> xyz;  // count * 3, fixed once generated
};

struct LineSceneData {
    bool strokesReady = false;                   // strokes below are built
    float strokes[kStrokePointTotal * 3];        // the lettering in world units
    bool fieldReady = false;                     // curves and sparks below are built
    float segmentsA[kFieldSegments * 2 * 3];     // curve A as GL_LINES pairs
    float segmentsB[kFieldSegments * 2 * 3];     // curve B as GL_LINES pairs
    float sparksA[kSparksA * kSparkFloats];      // one spiral per 35th segment of A
    float sparksB[kSparksB * kSparkFloats];      // one spiral per 23rd segment of B
    PointCloud clouds[kPointClouds];             // by (size, count), built on first use
    int nextCloud = 0;                           // slot to reuse when all are taken
};

LineSceneData lineScenes;

void drawArray(GLenum mode, const float* xyz, int first, int count) {
    if (count <= 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, xyz);
    glDrawArrays(mode, first, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void buildStrokes() {
    for (int i = 0; i < kStrokePointTotal; ++i) {
        lineScenes.strokes[3 * i] = 20.0f * static_cast<float>(kStrokePoints[i].x);
        lineScenes.strokes[3 * i + 1] = 20.0f * static_cast<float>(kStrokePoints[i].y);
        lineScenes.strokes[3 * i + 2] = 0.0f;
    }
    lineScenes.strokesReady = true;
}

void putPair(float* out, const Vec3& p, const Vec3& q) {
    out[0] = p.x; out[1] = p.y; out[2] = p.z;
    out[3] = q.x; out[4] = q.y; out[5] = q.z;
}

void buildSpark(float sign, const Vec3& origin, float* out) {
    Vec3 points[kSparkSteps];
    sparkPoints(sign, 0.0f, origin, kSparkSteps, points);
    for (int o = 1; o < kSparkSteps; ++o) putPair(out + 6 * (o - 1), points[o - 1], points[o]);
}

// Built on the first line-field frame, after the start-up set-up made the curves.
void buildLineField() {
    for (int n = 0; n < kFieldSegments; ++n) {
        putPair(lineScenes.segmentsA + 6 * n, curveA[n], curveA[n + 1]);
        putPair(lineScenes.segmentsB + 6 * n, curveB[n], curveB[n + 1]);
    }
    for (int i = 0; i < kSparksB; ++i) {
        int n = 23 * i;
        float e = n % 2 == 0 ? 1.0f : -1.0f;
        buildSpark(e, curveB[n], lineScenes.sparksB + kSparkFloats * i);
    }
    for (int i = 0; i < kSparksA; ++i) {
        int n = 35 * i;
        float e = n % 2 == 0 ? 1.0f : -1.0f;
        buildSpark(-e, curveA[n], lineScenes.sparksA + kSparkFloats * i);
    }
    lineScenes.fieldReady = true;
}

// One curve's lit run and the sparks sprouting from it.
void drawFieldCurve(float t, int first, int last, int sparkEvery, const float* segments,
                    const float* sparks) {
    drawArray(GL_LINES, segments, 2 * first, 2 * (last - first + 1));
    for (int n = (first + sparkEvery - 1) / sparkEvery * sparkEvery; n <= last; n += sparkEvery) {
        float start = 0.05f * static_cast<float>(n) + 0.1f;
        int shown = sparkSegmentCount(t, start, kSparkSteps);
        drawArray(GL_LINES, sparks + kSparkFloats * (n / sparkEvery), 0, 2 * shown);
    }
}

PointCloud& pointCloud(float size, int count) {
    for (PointCloud& cloud : lineScenes.clouds) {
        if (cloud.count == count && cloud.size == size) return cloud;
    }
    PointCloud& cloud = lineScenes.clouds[lineScenes.nextCloud];
    lineScenes.nextCloud = (lineScenes.nextCloud + 1) % kPointClouds;
    cloud.size = size;
    cloud.count = count;
    cloud.xyz.resize(static_cast<size_t>(count) * 3);
    generatePointField(size, count, cloud.xyz.data());
    // Whoever draws random numbers next should not get the cloud's fixed sequence.
    std::srand(platformMilliseconds());
    return cloud;
}

}  // namespace

void PointField(float size, float pointSize, int count) {
    setPointSize(pointSize);
    if (count <= 0) return;
    PointCloud& cloud = pointCloud(size, count);
    drawArray(GL_POINTS, cloud.xyz.data(), 0, count);
}

void StrokeIntroScene() {
    if (!lineScenes.strokesReady) buildStrokes();
    const float t = sceneState.time;
    glColor3f(0.6f, 0.5f, 0.96f);
    setLineWidth(5.0f);
    int first = 0;
    for (int i = 0; i < kStrokeCount; ++i) {
        int visible = strokeVisiblePoints(t, kStrokePointCounts[i]);
        if (visible >= 2) drawArray(GL_LINE_STRIP, lineScenes.strokes, first, visible);
        first += kStrokePointCounts[i];
    }
}

void LineFieldScene() {
    if (!lineScenes.fieldReady) buildLineField();
    const float t = sceneState.time;
    glDisable(GL_TEXTURE_2D);
    int first, last;
    litFieldSegments(t, first, last);
    if (first <= last) {
        // Blending is additive and depth is off, so drawing all of B before all of A
        // gives the same picture as alternating them.
        glColor3f(0.4f, 0.5f, 0.96f);
        drawFieldCurve(t, first, last, 23, lineScenes.segmentsB, lineScenes.sparksB);
        glColor3f(0.96f, 0.5f, 0.4f);
        drawFieldCurve(t, first, last, 35, lineScenes.segmentsA, lineScenes.sparksA);
    }
    glColor3f(1.0f, 0.7f, 0.8f);
    glTranslatef(100.0f * t - 200.0f, 0.0f, -1.0f);
    PointField(300.0f, 1.0f, 4000);
}
