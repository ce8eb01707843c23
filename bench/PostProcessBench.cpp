// GPU cost of the glow on the software rasteriser: the blur and composite of a
// 1024 x 512 scene into a target of the same size, and the final quad to the window.
// Each iteration ends with glFinish, so the figures are whole-pass times.
#include "BenchGL.h"
#include "core/GL.h"
#include "effects/Engine.h"

#include <benchmark/benchmark.h>

namespace {

// The targets the passes draw into, made once in the shared hidden window.
bool glowSetUp() {
    static int state = 0;  // 0 untried, 1 ready, -1 failed
    if (state != 0) return state > 0;
    state = -1;
    if (!haveGLContext()) return false;
    const struct {
        const char* name;
        int width, height;
    } targets[] = {{"bench.scene", 1024, 512}, {"bench.out", 1024, 512},
                   {"rt.glow", 256, 128},      {"rt.blur", 256, 256}};
    for (const auto& target : targets) {
        if (engine.renderTargets.find(target.name)) continue;
        engine.textures.createTexture(target.name, target.width, target.height, nullptr,
                                      GL_RGBA8, GL_RGBA);
        RenderTargetRecord record;
        glGenFramebuffersEXT(1, &record.framebuffer);
        record.attachTexture(engine.textures, target.name, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
        engine.renderTargets.addTarget(target.name, record);
    }
    state = 1;
    return true;
}

// The start-up view and a scene picture with some light in it.
void prepareFrame() {
    resetBenchView();
    glViewport(0, 75, 800, 450);
    engine.renderTargets.use("bench.scene");
    glClearColor(0.1f, 0.05f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 1);
    engine.renderTargets.unuse();
    glFinish();
}

void BM_GlowPass(benchmark::State& state) {
    if (!glowSetUp()) {
        state.SkipWithError("no GL context");
        return;
    }
    prepareFrame();
    const int composites = static_cast<int>(state.range(0));
    for (auto _ : state) {
        engine.GlowPass("bench.scene", "bench.out", composites, 1.02f);
        glFinish();
    }
}
BENCHMARK(BM_GlowPass)->Arg(0)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_ScreenQuadToWindow(benchmark::State& state) {
    if (!glowSetUp()) {
        state.SkipWithError("no GL context");
        return;
    }
    prepareFrame();
    for (auto _ : state) {
        engine.ScreenQuad("bench.out", 1.0f);
        glFinish();
    }
}
BENCHMARK(BM_ScreenQuadToWindow)->Unit(benchmark::kMillisecond);

}  // namespace
