// Per-frame CPU work of the stroke intro and the line field: which points, segments and
// spark pieces to draw. The geometry itself is built once; these are what remains.
#include "BenchGL.h"
#include "core/GL.h"
#include "effects/Camera.h"
#include "effects/SceneData.h"
#include "effects/SceneGeometry.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

float frameTime(int64_t frame, float start, float length) {
    return start + length * static_cast<float>(frame % 1000) / 1000.0f;
}

void BM_StrokeVisibility(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 0.0f, 11.8f);
        int shown = 0;
        for (int i = 0; i < kStrokeCount; ++i) shown += strokeVisiblePoints(t, kStrokePointCounts[i]);
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_StrokeVisibility);

// The lit run of both curves and the segment count of every spark on it.
void BM_LineFieldFrame(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 26.92f, 30.9f);
        int first, last, pieces = 0;
        litFieldSegments(t, first, last);
        for (int n = first; n <= last; ++n) {
            if (n % 23 == 0 || n % 35 == 0) {
                pieces += sparkSegmentCount(t, 0.05f * static_cast<float>(n) + 0.1f, kSparkSteps);
            }
        }
        benchmark::DoNotOptimize(pieces);
    }
}
BENCHMARK(BM_LineFieldFrame);

// Set-up cost of the largest point cloud, paid once on the first frame that draws it.
void BM_PointFieldBuild(benchmark::State& state) {
    std::vector<float> xyz(3 * 4000);
    for (auto _ : state) {
        generatePointField(400.0f, 4000, xyz.data());
        benchmark::DoNotOptimize(xyz.data());
    }
}
BENCHMARK(BM_PointFieldBuild)->Unit(benchmark::kMicrosecond);

// Both eyes of the line field as the stereo pass draws them, additive, on llvmpipe;
// glFinish makes the figure the rasteriser's whole cost.
void BM_LineFieldBothEyes(benchmark::State& state) {
    if (!haveGLContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    buildCurves(curveA, curveB, 2000);
    resetBenchView();
    StereoCamera camera;
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 30.0f, 5.0f);
        sceneState.time = t;
        float x = 100.0f * t - 200.0f;
        camera.setPosition({x, 60.0f * std::sin(0.5f * t), 100.0f});
        camera.setTarget({x, 0, 0});
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glDisable(GL_DEPTH_TEST);
        for (bool eye : {true, false}) {
            camera.setStereo(-3.0f, eye);
            camera.apply();
            LineFieldScene();
        }
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glFinish();
    }
}
BENCHMARK(BM_LineFieldBothEyes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
