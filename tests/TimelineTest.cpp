// The schedule driven frame by frame in a real GL context: set-up of the shared
// targets, clips and models, clean state after every scene, and the end at 159 s.
#include "effects/Timeline.h"

#include "TestSupport.h"
#include "effects/AviTexture.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/SceneState.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

StereoCamera testCamera;

// What the set-up loads; the tests run in the build directory, next to "data".
bool haveDataFolder() {
    for (const char* file : {"data/loading.png", "data/risti.png", "data/overlay.png", "data/puolipallo.aml",
                             "data/laser.aml", "data/dance.avi", "data/heilu.avi",
                             "data/vispi.avi"}) {
        if (readFileBytes(file).empty()) return false;
    }
    return true;
}

// EffectSetup and ModelPreload run once per process, as at start-up.
void setUpOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    sceneState.camera = &testCamera;
    // The render state the demo's start-up leaves: 90 degree 4:3 projection, depth test.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glViewport(0, 0, 800, 600);
    engine.textures.loadTexture("loading", -1, -1);  // the set-up draws loading frames
    ModelPreload();
    EffectSetup();
    glClearColor(0, 0, 0, 0.5f);
    glClearDepth(1.0);
}

class TimelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        if (!haveDataFolder()) GTEST_SKIP() << "no data folder in the build directory";
        setUpOnce();
    }
};

}  // namespace

TEST(TimelineEnd, EndsTheProcessWithStatusZeroAt159Seconds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    requireGLContext();
    sceneState.camera = &testCamera;
    EXPECT_EXIT(drawTimeline(159.0f, 0.016f), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(drawTimeline(400.0f, 0.016f), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(sceneIndexAt(158.99f), 8);  // the frame before still plays
}

TEST_F(TimelineTest, SetUpMakesTheSharedTargetsAtTheirSizes) {
    const struct {
        const char* name;
        int width, height;
    } targets[] = {{"rt0", 1024, 512}, {"rt1", 1024, 512}, {"rt2", 1024, 512},
                   {"rt.glow", 256, 128}, {"rt.blur", 256, 256}};
    for (const auto& target : targets) {
        RenderTargetRecord* record = engine.renderTargets.find(target.name);
        ASSERT_NE(record, nullptr) << target.name;
        EXPECT_NE(record->framebuffer, 0xFFFFFFFFu) << target.name;
        EXPECT_EQ(record->colour.width, target.width) << target.name;
        EXPECT_EQ(record->colour.height, target.height) << target.name;
        EXPECT_EQ(record->colour.glName, engine.textures.get(target.name).glName) << target.name;
    }
    // The three big targets share one depth buffer, the two small ones have their own.
    EXPECT_EQ(depthBuffers.size(), 3u);
}

TEST_F(TimelineTest, SetUpLoadsTexturesClipsAndModels) {
    EXPECT_NE(engine.textures.find("risti"), nullptr);
    EXPECT_NE(engine.textures.find("overlay"), nullptr);  // this is the first build
    EXPECT_EQ(engine.textures.maxAnisotropy, 1.0f);
    for (AviTexture* clip : {sceneState.dance, sceneState.heilu, sceneState.vispi}) {
        ASSERT_NE(clip, nullptr);
        EXPECT_TRUE(clip->usable);
        EXPECT_FALSE(clip->started);  // clips start on their first advance
    }
    for (const char* name : {"puolipallo", "laser"}) {
        Model* model = engine.models.find(name);
        ASSERT_NE(model, nullptr) << name;
        ASSERT_FALSE(model->meshes.empty()) << name;
        for (const Mesh& mesh : model->meshes) {
            EXPECT_NE(mesh.vertexBuffer, kNoBuffer) << name;
            EXPECT_NE(mesh.indexBuffer, kNoBuffer) << name;
        }
    }
}

TEST_F(TimelineTest, EveryScenePresentsToTheWindowAndLeavesNoTargetBound) {
    // A time in every window, the fades, overlays and tiling included.
    const float times[] = {-1.0f, 5.0f,  16.0f, 24.0f,  40.0f,  60.0f,  66.0f, 67.5f,
                           78.0f, 85.0f, 95.0f, 102.5f, 110.0f, 126.0f, 136.0f, 150.0f};
    while (glGetError() != GL_NO_ERROR) {
    }
    for (float t : times) {
        drawTimeline(t, 0.016f);
        EXPECT_EQ(sceneState.time, t);
        EXPECT_TRUE(engine.renderTargets.current().empty()) << t;
        GLint framebuffer = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &framebuffer);
        EXPECT_EQ(framebuffer, 0) << t;
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], 800) << t;
        EXPECT_EQ(viewport[3], 600) << t;
        GLboolean mask[4] = {};
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        EXPECT_TRUE(mask[0] && mask[1] && mask[2]) << t;
        EXPECT_FALSE(glIsEnabled(GL_FOG)) << t;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << t;
    }
}

TEST_F(TimelineTest, OverlayClipsAdvanceOnlyInsideTheirWindows) {
    // A fake clock far ahead of the wall clock, so every clip sees time move forward.
    static uint32_t now = 0x40000000u;
    platformSetMillisecondSource([] { return now; });
    AviTexture& heilu = *sceneState.heilu;
    AviTexture& vispi = *sceneState.vispi;

    drawTimeline(85.0f, 0.016f);  // scene 5 overlays "data/vispi.avi" from 84.3 s
    const int vispiFrame = vispi.currentFrame;
    now += 10 * vispi.frameDuration;
    drawTimeline(85.5f, 0.016f);
    EXPECT_EQ(vispi.currentFrame, (vispiFrame + 10) % vispi.wrapValue);

    drawTimeline(78.0f, 0.016f);  // "data/heilu.avi" while 76.53 < t < 80.36
    const int heiluFrame = heilu.currentFrame;
    now += 5 * heilu.frameDuration;
    drawTimeline(78.5f, 0.016f);
    EXPECT_EQ(heilu.currentFrame, (heiluFrame + 5) % heilu.wrapValue);

    // Outside both windows neither clip moves, however much time passes.
    const uint32_t heiluReference = heilu.referenceTime;
    const uint32_t vispiReference = vispi.referenceTime;
    now += 5000;
    drawTimeline(76.0f, 0.016f);
    drawTimeline(81.0f, 0.016f);
    EXPECT_EQ(heilu.referenceTime, heiluReference);
    EXPECT_EQ(vispi.referenceTime, vispiReference);
    platformSetMillisecondSource(nullptr);
}

// A play starting late (its clip clock far from the demo time) begins where a play from
// 0 s at 60 fps is: the laser scene's smooth lines on from its first frame, and each
// clip running since the first frame of its window (heilu: the frame at 15700 ms,
// whose float time lies just above 15.7).
TEST_F(TimelineTest, CatchingUpTakesStateAndClipsFromTheSchedule) {
    const struct {
        int64_t ms;
        bool smoothLines, heiluStarted;
    } cases[] = {
        {15700, false, false},  // heilu's first frame: it starts itself there
        {87880, false, true},   // the laser scene's first frame has not been drawn yet
        {112000, true, true},   // the box wall, after the laser scene
    };
    const uint32_t clipNow = 0x40000000u;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ms);
        catchUpWithSchedule(60, c.ms, clipNow);
        EXPECT_EQ(glIsEnabled(GL_LINE_SMOOTH) == GL_TRUE, c.smoothLines);
        EXPECT_EQ(sceneState.heilu->started, c.heiluStarted);
        if (c.heiluStarted) {
            EXPECT_EQ(sceneState.heilu->referenceTime, clipNow - uint32_t(c.ms - 15700));
            EXPECT_EQ(sceneState.heilu->currentFrame, 0);
        }
    }
    catchUpWithSchedule(60, 0, platformClipMilliseconds());  // as a play from 0 s begins
}

TEST_F(TimelineTest, Scene4ZoomOutShowsTheGlowPictureAsTiles) {
    // The frames before, in the production's order: scene 4's content relies on state
    // that scene 2 leaves behind, as it does in a run from the start.
    for (float t : {5.0f, 20.0f, 40.0f, 60.0f}) drawTimeline(t, 0.016f);
    drawTimeline(67.0f, 0.016f);  // 1 + floor(1.05 * 1.45): 2 x 2 tiles
    ASSERT_EQ(tileCountAt(67.0f), 2);
    const std::vector<uint8_t> frame = readPixelsRGB(0, 0, 800, 600);
    auto pixel = [&](int x, int y) { return &frame[(static_cast<size_t>(y) * 800 + x) * 3]; };

    int differing = 0;
    int lit = 0;
    for (int y = 8; y < 292; y += 4) {
        for (int x = 8; x < 392; x += 4) {
            const uint8_t* a = pixel(x, y);
            const uint8_t* right = pixel(x + 400, y);
            const uint8_t* up = pixel(x, y + 300);
            const uint8_t* diagonal = pixel(x + 400, y + 300);
            for (int c = 0; c < 3; ++c) {
                if (std::abs(a[c] - right[c]) > 2 || std::abs(a[c] - up[c]) > 2 ||
                    std::abs(a[c] - diagonal[c]) > 2)
                    ++differing;
            }
            if (a[0] + a[1] + a[2] > 30) ++lit;
        }
    }
    EXPECT_GT(lit, 100) << "the scene drew nothing to tile";
    EXPECT_LT(differing, 20) << "the four quarters are not the same picture";
}
