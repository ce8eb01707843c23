// Per-frame CPU work of the flag, ground and box-wall scenes: the flag's wave, the ten
// ring-stack positions and the 400 box depths read from the text bitmap.
#include "BenchGL.h"
#include "core/GL.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
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

void BM_FlagWave(benchmark::State& state) {
    std::vector<float> z(kFlagSide * kFlagSide);
    int64_t frame = 0;
    for (auto _ : state) {
        flagHeights(frameTime(frame++, 57.841f, 15.2f), z.data());
        benchmark::DoNotOptimize(z.data());
    }
}
BENCHMARK(BM_FlagWave);

void BM_RingStackPlaces(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 73.048f, 14.8f), sum = 0;
        for (int i = 0; i < kRingStacks; ++i) {
            float x, z;
            ringStackPosition(t, i, x, z);
            sum += x + z;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_RingStackPlaces);

void BM_BoxDepths(benchmark::State& state) {
    std::vector<unsigned char> bitmap(16000);
    for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<unsigned char>(i * 37);
    float depths[kBoxSide * kBoxSide];
    int64_t frame = 0;
    for (auto _ : state) {
        boxDepths(frameTime(frame++, 0.0f, 23.5f), bitmap.data(), depths);
        benchmark::DoNotOptimize(depths);
    }
}
BENCHMARK(BM_BoxDepths);

// Both eyes of one scene's content as the stereo pass draws them, on llvmpipe; the
// camera follows `place`. glFinish makes the figure the rasteriser's whole cost.
template <typename Place, typename Content>
void sceneEyes(benchmark::State& state, float start, float length, float separation,
               bool additive, Place place, Content content) {
    if (!haveGLContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    resetBenchView();
    StereoCamera camera;
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, start, length);
        sceneState.time = t;
        place(camera, t);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        if (additive) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
            glDisable(GL_DEPTH_TEST);
        }
        for (bool eye : {true, false}) {
            camera.setStereo(separation, eye);
            camera.apply();
            content();
            glClear(GL_DEPTH_BUFFER_BIT);
        }
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glFinish();
    }
}

void BM_VideoFlagBothEyes(benchmark::State& state) {
    sceneEyes(state, 58.0f, 15.0f, -5.0f, true,
              [](StereoCamera& camera, float t) {
                  camera.setPosition({0, 35.0f * std::sin(1.1f * t), 80.0f});
                  camera.setTarget({0, 0, 0});
              },
              VideoFlagScene);
}
BENCHMARK(BM_VideoFlagBothEyes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GroundBothEyes(benchmark::State& state) {
    if (haveGLContext() && !engine.textures.find("risti")) {
        std::vector<unsigned char> grey(64 * 64 * 3, 180);
        engine.textures.createTexture("risti", 64, 64, grey.data(), GL_RGB8, GL_RGB);
    }
    sceneEyes(state, 73.1f, 14.7f, 4.0f, false,
              [](StereoCamera& camera, float t) {
                  glFogi(GL_FOG_MODE, GL_EXP);
                  glFogf(GL_FOG_DENSITY, 0.003f);
                  glEnable(GL_FOG);
                  camera.setPosition({150.0f * std::sin(t), 105.0f, 150.0f});
                  camera.setDirection({0, -0.5f, -1.0f});
              },
              RistiScene);
    if (haveGLContext()) glDisable(GL_FOG);
}
BENCHMARK(BM_GroundBothEyes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BoxWallBothEyes(benchmark::State& state) {
    for (int i = 0; i < 16000; ++i) textBitmap[i] = static_cast<unsigned char>(i * 37);
    sceneEyes(state, 110.0f, 15.0f, 4.0f, true,
              [](StereoCamera& camera, float t) {
                  camera.setPosition({40.0f * std::sin(1.3f * t), 15.0f * std::sin(0.7f * t),
                                      40.0f * std::sin(t) + 130.0f});
                  camera.setTarget({0, 0, 0});
              },
              [] { BoxScrollerScene(103.38f); });
}
BENCHMARK(BM_BoxWallBothEyes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
