// The laser and tunnel scenes drawn for real through the schedule: they show
// something in the middle of their windows, and the fades of the last three scenes
// end in black.
#include "TestSupport.h"
#include "core/GL.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"
#include "effects/Timeline.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

StereoCamera testCamera;

bool haveDataFolder() {
    for (const char* file : {"data/loading.png", "data/risti.png", "data/overlay.png", "data/puolipallo.aml",
                             "data/laser.aml", "data/dance.avi", "data/heilu.avi",
                             "data/vispi.avi"}) {
        if (readFileBytes(file).empty()) return false;
    }
    return true;
}

struct Frame {
    int lit = 0;           // pixels with any channel above 8
    int redOnly = 0;       // lit in red, dark in green and blue
    int cyanOnly = 0;      // lit in green or blue, dark in red
    int brightest = 0;     // largest channel value
    double red = 0;        // mean of the red channel: the red eye's picture
    double cyan = 0;       // mean of green and blue: the cyan eye's picture
};

Frame readFrame() {
    glFinish();
    const std::vector<uint8_t> rgb = readPixelsRGB(0, 0, 800, 600);
    Frame frame;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        const int r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
        frame.brightest = std::max({frame.brightest, r, g, b});
        if (std::max({r, g, b}) > 8) ++frame.lit;
        if (r > 8 && g <= 8 && b <= 8) ++frame.redOnly;
        if (r <= 8 && (g > 8 || b > 8)) ++frame.cyanOnly;
        frame.red += r;
        frame.cyan += 0.5 * (g + b);
    }
    frame.red /= rgb.size() / 3.0;
    frame.cyan /= rgb.size() / 3.0;
    return frame;
}

class LaserTunnelScene : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        if (!haveDataFolder()) GTEST_SKIP() << "no data folder in the build directory";
        static bool ready = false;
        if (!ready) {
            ready = true;
            sceneState.camera = &testCamera;
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            gluPerspective(90.0, 800.0 / 600.0, 0.1, 1000.0);
            glMatrixMode(GL_MODELVIEW);
            glDepthFunc(GL_LEQUAL);
            glEnable(GL_DEPTH_TEST);
            engine.textures.loadTexture("loading", -1, -1);
            ModelPreload();
            EffectSetup();
        }
    }
};

}  // namespace

TEST_F(LaserTunnelScene, BothWindowsShowBothEyesInTheirMiddle) {
    for (float t : {95.625f, 142.945f}) {
        drawTimeline(t, 0.016f);
        const Frame frame = readFrame();
        EXPECT_GT(frame.lit, 800 * 600 / 100) << "at " << t;
        // The eyes see slightly different pictures: some pixels belong to one only.
        EXPECT_GT(frame.redOnly + frame.cyanOnly, 0) << "at " << t;
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "at " << t;
    }
}

// Both eyes see mirrors wherever the laser scene's camera turns, to the end of its window
// (the fade leaves about a quarter). The floor is half the dimmest frame seen (12.6 in
// red, at 103.3 s) and twice the brightest dark frame of a model the camera looked past.
TEST_F(LaserTunnelScene, LaserFrameIsLitInBothEyesUntilItsWindowCloses) {
    for (int k = 0; k <= 31; ++k) {
        const float t = k < 31 ? 88.0f + 0.5f * k : 103.3f;
        drawTimeline(t, 0.016f);
        const Frame frame = readFrame();
        EXPECT_GT(frame.red, 6.0) << "red eye at " << t;
        EXPECT_GT(frame.cyan, 6.0) << "cyan eye at " << t;
    }
}

TEST_F(LaserTunnelScene, FadesReachBlack) {
    // The tunnel darkens steadily from 148.9 s (the clip laid over it darkens with it)...
    int previous = 256;
    for (float t : {148.8f, 150.0f, 152.0f}) {
        drawTimeline(t, 0.016f);
        const Frame frame = readFrame();
        EXPECT_GT(frame.lit, 0) << "at " << t;
        EXPECT_LT(frame.brightest, previous) << "at " << t;
        previous = frame.brightest;
    }
    // ...and is black at 155.9 s and after.
    drawTimeline(155.9f, 0.016f);
    EXPECT_LE(readFrame().brightest, 1) << "tunnel at 155.9";
    drawTimeline(158.9f, 0.016f);
    EXPECT_EQ(readFrame().brightest, 0) << "tunnel past its fade";

    // The box wall before it fades from 125.3 s to black as its window closes.
    drawTimeline(125.2f, 0.016f);
    EXPECT_GT(readFrame().lit, 0) << "box wall at 125.2";
    drawTimeline(126.889f, 0.016f);
    EXPECT_LE(readFrame().brightest, 1) << "box wall at 126.889";

    // The laser's fade would end after its window has closed, so the scene is asked
    // for that frame directly.
    sceneState.time = 103.80f;
    LaserScene();
    EXPECT_LE(readFrame().brightest, 1) << "laser at 103.80";
}
