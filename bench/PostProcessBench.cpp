// GPU cost of the glow on the software rasteriser: the blur and composite of a
// 1024 x 512 scene into a target of the same size, and the final quad to the window;
// and of the scaled presentation of the picture on a larger drawable.
// Each iteration ends with glFinish, so the figures are whole-pass times.
#include "BenchGL.h"
#include "core/GL.h"
#include "effects/Engine.h"
#include "platform/Platform.h"

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

// The play mode's scaled presentation at 1920 x 1080: the 800 x 600 canvas into a
// full-HD drawable, bars cleared, linear filter; the frame's whole extra cost there.
void BM_PresentScaled(benchmark::State& state) {
    if (!haveGLContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    GLuint framebuffers[2] = {0, 0}, canvas = 0, colour = 0;
    glGenFramebuffersEXT(2, framebuffers);
    glGenTextures(1, &canvas);
    glBindTexture(GL_TEXTURE_2D, canvas);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 800, 600, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenRenderbuffersEXT(1, &colour);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffers[0]);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, canvas,
                              0);
    glClearColor(0.3f, 0.1f, 0.2f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffers[1]);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                 GL_RENDERBUFFER_EXT, colour);
    glClearColor(0, 0, 0, 1);
    glFinish();
    for (auto _ : state) {
        platformPresentScaled(canvas, 800, 600, framebuffers[1], width, height);
        glFinish();
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glDeleteFramebuffersEXT(2, framebuffers);
    glDeleteTextures(1, &canvas);
    glDeleteRenderbuffersEXT(1, &colour);
}
BENCHMARK(BM_PresentScaled)->Args({1920, 1080})->Args({2560, 1440})->Unit(benchmark::kMillisecond);

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
