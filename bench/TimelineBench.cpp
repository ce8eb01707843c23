// The demo's own frames through its real start-up, run from the build folder (data/):
//   scene-bench --benchmark_filter='StartUp|TimelineFrame'
// Start-up as the demo runs it: window, start-up steps, music, first frame; it runs
// once per process (the resources are global) and must come first.
// `since_process_ms` counts from the process start, the figure a viewer waits.
#include "BenchGL.h"
#include "app/App.h"
#include "app/DemoContext.h"
#include "app/Offline.h"
#include "core/GL.h"
#include "effects/Timeline.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

bool startedUp = false;

void BM_StartUpToFirstMusicFrame(benchmark::State& state) {
    for (auto _ : state) {
        if (!haveGLContext()) {
            state.SkipWithError("no GL context");
            break;
        }
        const auto begin = std::chrono::steady_clock::now();
        viewportWidth = screenWidth;
        viewportHeight = screenHeight;
        resizeView(screenWidth, screenHeight);
        startUp();
        startedUp = true;
        const auto loaded = std::chrono::steady_clock::now();
        static MusicStream music;
        music.open(musicFile.c_str(), true);
        demoContext.music = &music;
        music.play();
        const auto opened = std::chrono::steady_clock::now();
        drawFrame();
        glFinish();
        const auto drawn = std::chrono::steady_clock::now();
        auto ms = [](auto from, auto to) {
            return std::chrono::duration<double, std::milli>(to - from).count();
        };
        state.counters["start_up_ms"] = ms(begin, loaded);
        state.counters["music_wait_ms"] = ms(loaded, opened);
        state.counters["first_frame_ms"] = ms(opened, drawn);
        state.counters["since_process_ms"] = secondsSinceProcessStart() * 1000.0;
    }
}
BENCHMARK(BM_StartUpToFirstMusicFrame)->Iterations(1)->Unit(benchmark::kMillisecond);

// A whole frame of one scene, as the main loop draws it, at a moment when the scene
// shows its full content. The time creeps on so nothing is cached between frames.
void BM_TimelineFrame(benchmark::State& state) {
    static const float kMoments[9] = {0, 8.0f, 20.0f, 45.0f, 70.0f, 80.0f, 95.0f, 115.0f, 140.0f};
    if (!startedUp) {
        state.SkipWithError("run after BM_StartUpToFirstMusicFrame");
        return;
    }
    const float start = kMoments[state.range(0)];
    int64_t frame = 0;
    for (auto _ : state) {
        const float time = start + 0.0166f * float(frame++ % 60);
        demoContext.seek(time);
        drawFrame();
        swapBuffers();
        glFinish();
    }
}
BENCHMARK(BM_TimelineFrame)->DenseRange(1, 8)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->MinTime(1.0);

}  // namespace
