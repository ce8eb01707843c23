// The demo clock as the key handlers and scenes see it: seeks and pauses through the
// music stream (here its silent wall clock), the beat pulse and the letterbox viewport.
#include "TestSupport.h"
#include "app/App.h"
#include "app/DemoContext.h"
#include "core/GL.h"
#include "platform/Platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A muted stream on a missing file: the wall clock with the real seek and pause code.
class DemoClock : public ::testing::Test {
protected:
    void SetUp() override {
        music.open("no-such-folder/no-such-track.mp3", true);
        music.play();
        demoContext = DemoContext();
        demoContext.music = &music;
    }
    void TearDown() override { demoContext.music = nullptr; }

    // The clock frozen at `seconds`, read by a frame.
    void holdAt(float seconds) {
        if (!demoContext.paused) onKeyDown(80);
        demoContext.seek(seconds);
        demoContext.updateClock();
    }

    MusicStream music;
};

}  // namespace

TEST_F(DemoClock, SeekKeysMoveRelativeToTheTimeOfTheLastFrame) {
    holdAt(50.0f);
    ASSERT_FLOAT_EQ(demoContext.time, 50.0f);
    struct Step {
        int key;
        float expected;
    } steps[] = {{39, 51.0f}, {37, 50.0f}, {38, 55.0f}, {40, 50.0f}, {34, 80.0f}, {33, 50.0f}};
    for (const Step& step : steps) {
        float before = demoContext.time;
        onKeyDown(step.key);
        EXPECT_EQ(demoContext.time, before)
            << "a seek must not show before the next frame reads the clock";
        demoContext.updateClock();
        EXPECT_NEAR(demoContext.time, step.expected, 0.0011f) << "key " << step.key;
    }
    // Two presses in one frame both start from the same frame time.
    onKeyDown(39);
    onKeyDown(39);
    demoContext.updateClock();
    EXPECT_NEAR(demoContext.time, 51.0f, 0.0011f);
}

TEST_F(DemoClock, SeeksBelowZeroStartTheTrack) {
    holdAt(12.0f);
    onKeyDown(33);  // Page Up: 12 - 30
    demoContext.updateClock();
    EXPECT_EQ(demoContext.time, 0.0f);
    holdAt(0.5f);
    onKeyDown(40);  // Down: 0.5 - 5
    demoContext.updateClock();
    EXPECT_EQ(demoContext.time, 0.0f);
    demoContext.seek(std::nanf(""));
    demoContext.updateClock();
    EXPECT_EQ(demoContext.time, 0.0f);
    demoContext.seek(1.0e12f);  // far past any int millisecond count: no overflow
    demoContext.updateClock();
    EXPECT_GE(demoContext.time, 0.0f);
}

TEST_F(DemoClock, PauseHoldsTheTimeAndResumesWhereItStopped) {
    demoContext.seek(20.0f);
    SDL_Delay(30);
    demoContext.updateClock();
    EXPECT_GT(demoContext.time, 20.0f) << "the clock runs while not paused";

    onKeyDown(80);
    ASSERT_TRUE(demoContext.paused);
    EXPECT_TRUE(music.paused());
    demoContext.updateClock();
    float held = demoContext.time;
    SDL_Delay(120);
    demoContext.updateClock();
    EXPECT_EQ(demoContext.time, held);

    onKeyDown(80);
    EXPECT_FALSE(demoContext.paused);
    EXPECT_FALSE(music.paused());
    demoContext.updateClock();
    EXPECT_GE(demoContext.time, held);
    EXPECT_LT(demoContext.time, held + 0.1f) << "resuming must not jump over the pause";
}

TEST(DemoContext, WithoutAStreamTheTimeIsZero) {
    demoContext = DemoContext();
    demoContext.time = 3.0f;
    demoContext.seek(10.0f);
    demoContext.updateClock();
    EXPECT_EQ(demoContext.time, 0.0f);
}

TEST(DemoContext, OtherKeysOnlyF11RequestsACapture) {
    demoContext = DemoContext();
    screenCapture.requested = false;
    onKeyDown('A');
    onKeyDown(0);
    onKeyDown(255);
    EXPECT_FALSE(screenCapture.requested);
    EXPECT_FALSE(demoContext.paused);
    onKeyDown(122);
    EXPECT_TRUE(screenCapture.requested);
    screenCapture.requested = false;
}

TEST(DemoContext, EscapeEndsTheRunWithSuccess) {
    EXPECT_EXIT(onKeyDown(27), ::testing::ExitedWithCode(0), "");
}

TEST(BeatPulse, IsOneOnEveryBeatAndZeroFromPulseLengthToTheNextBeat) {
    DemoContext demo;
    demo.setTempo(126.0f);
    demo.setPulseLength(0.4f);
    const double beat = 60.0 / 126.0;
    for (int k = 0; k < 300; ++k) {
        double onBeat = 11.841 + k * beat;
        demo.time = static_cast<float>(onBeat);
        EXPECT_NEAR(demo.beatPulse(), 1.0f, 2e-3f) << "beat " << k;
        demo.time = static_cast<float>(onBeat + 0.2);
        EXPECT_NEAR(demo.beatPulse(), 0.5f, 2e-3f) << "beat " << k;
        demo.time = static_cast<float>(onBeat + 0.41);
        EXPECT_EQ(demo.beatPulse(), 0.0f) << "beat " << k;
        demo.time = static_cast<float>(onBeat + beat - 0.002);
        EXPECT_EQ(demo.beatPulse(), 0.0f) << "beat " << k;
    }
    demo.time = 11.841f;
    EXPECT_EQ(demo.beatPulse(), 1.0f);
}

TEST(BeatPulse, HasNoUpperClampBeforeTheFirstBeat) {
    DemoContext demo;
    demo.setTempo(126.0f);
    demo.setPulseLength(0.4f);
    demo.time = 11.741f;  // 0.1 s before: (0.4 + 0.1) / 0.4
    EXPECT_NEAR(demo.beatPulse(), 1.25f, 1e-3f);
    demo.time = static_cast<float>(11.841 - 60.0 / 126.0 + 0.001);  // just after a beat
    EXPECT_NEAR(demo.beatPulse(), (0.4f + 0.4751f) / 0.4f, 5e-3f);
    demo.time = 0.0f;
    EXPECT_GT(demo.beatPulse(), 1.0f);
    EXPECT_LT(demo.beatPulse(), 2.2f);
}

TEST(Letterbox, ViewportIsCentredAndTruncated) {
    requireGLContext();
    viewportWidth = 800;
    viewportHeight = 600;
    struct Case {
        float a, b;
        GLint x, y, w, h;
    } cases[] = {
        {4, 3, 0, 0, 800, 600},    {16, 9, 0, 75, 800, 450}, {2.35f, 1, 0, 129, 800, 340},
        {1, 2, 250, 0, 300, 600},  {3, 4, 175, 0, 450, 600},
        {1, 1, 0, -100, 800, 800},  // square keeps the width and overflows the height
    };
    for (const Case& c : cases) {
        demoContext.setAspect(c.a, c.b);
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[0], c.x) << c.a << ":" << c.b;
        EXPECT_EQ(viewport[1], c.y) << c.a << ":" << c.b;
        EXPECT_EQ(viewport[2], c.w) << c.a << ":" << c.b;
        EXPECT_EQ(viewport[3], c.h) << c.a << ":" << c.b;
    }
}
