// Per-frame CPU work of the scenes, one benchmark per scene step. Figures only: the
// frame budget on the target machine is about 16 ms for everything, GL included, so
// each of these should stay far below a millisecond. Other files in bench/ add their
// scenes' benchmarks; this one holds the entry point.
#include "GL.h"
#include "effects/Tunnel.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <malloc.h>
#include <string>

namespace {

// A frame time that moves on like the demo clock, so nothing can be hoisted.
float frameTime(int64_t frame, float start) { return start + 0.016f * static_cast<float>(frame % 1000); }

void BM_TunnelRadii(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        benchmark::DoNotOptimize(tunnel.radius);
    }
}
BENCHMARK(BM_TunnelRadii);

void BM_TunnelCells(benchmark::State& state) {
    tunnel.updateRadii(130.0f);
    for (auto _ : state) {
        tunnel.buildCells();
        benchmark::DoNotOptimize(tunnel.cells);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TunnelCells);

// Both tables, as the tunnel scene rebuilds them each frame.
void BM_TunnelFrameTables(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        tunnel.buildCells();
        benchmark::DoNotOptimize(tunnel.cells);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TunnelFrameTables);

// A hidden window on the software rasteriser, opened once for the GL figures.
bool haveGLContext() {
    static const bool ok = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        // As the demo does: llvmpipe's per-flush buffers would otherwise be trimmed
        // from the heap and faulted back in after every glFinish.
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
        PlatformWindowRequest request;
        request.fullScreen = false;
        request.hidden = true;
        request.vsync = false;
        std::string error;
        return platformOpenWindow(request) != PlatformWindowResult::Failed && platformInitGL(error);
    }();
    return ok;
}

// The tube's two passes of one eye with the scene's state (fog, smooth lines, blending),
// sent through `draw`; glFinish makes the figure the rasteriser's whole cost.
template <typename Draw>
void tunnelEye(benchmark::State& state, Draw draw) {
    if (!haveGLContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.1, -0.05, -0.5, 0.6, 0.3, -1.5, 0, 1, 0);
    glDepthFunc(GL_LEQUAL);
    glFogi(GL_FOG_MODE, GL_EXP2);
    glFogf(GL_FOG_DENSITY, 1.0f);
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        tunnel.buildCells();
        tunnel.upload();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_FOG);
        glEnable(GL_DEPTH_TEST);
        glColor3f(0, 0, 0);
        draw();
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(1.5f);
        glColor3f(0.6f, 0.5f, 1.0f);
        draw();
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_BLEND);
        glDisable(GL_FOG);
        glFinish();
    }
}

void BM_TunnelEyeBuffered(benchmark::State& state) {
    tunnelEye(state, [] { tunnel.drawTube(); });
}
BENCHMARK(BM_TunnelEyeBuffered)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same picture vertex by vertex, for comparison.
void BM_TunnelEyeImmediate(benchmark::State& state) {
    tunnelEye(state, [] {
        const Vec3* corners = &tunnel.cells[0][0].c0;
        glBegin(GL_QUADS);
        for (uint16_t index : tunnel.quadCorners) glVertex3fv(&corners[index].x);
        glEnd();
    });
}
BENCHMARK(BM_TunnelEyeImmediate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
