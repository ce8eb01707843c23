// The scene content drawn for real (llvmpipe, hidden window): every scene puts light on
// the screen at the middle of its window, and the two eyes of a stereo pass land in
// their own channels, shifted against each other by the eye offset.
#include "app/Camera.h"
#include "app/SceneData.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"
#include "resources/Engine.h"

#include "GL.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr int kWidth = 800, kHeight = 600;

class SceneRender : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        buildCurves(curveA, curveB, 2000);
        for (int i = 0; i < 16000; ++i) textBitmap[i] = static_cast<unsigned char>((i * 37) % 256);
        if (!engine.textures.find("risti")) {
            std::vector<unsigned char> grey(4 * 4 * 3, 200);
            engine.textures.createTexture("risti", 4, 4, grey.data(), GL_RGB8, GL_RGB);
        }
        engine.models.entry("puolipallo");  // no meshes: the scene's point clouds remain
        glViewport(0, 0, kWidth, kHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
        glMatrixMode(GL_MODELVIEW);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_FOG);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glLineWidth(3.0f);
        glClearColor(0, 0, 0, 1);
    }

    // Both eyes of one scene, the way the stereo skeleton draws them.
    void drawStereo(float t, const Vec3& position, const Vec3& target, float separation,
                    bool additive, const std::function<void()>& content) {
        sceneState.time = t;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        camera.setPosition(position);
        camera.setTarget(target);
        if (additive) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_ONE, GL_ONE);
            glDisable(GL_DEPTH_TEST);
        }
        camera.setStereo(separation, true);
        camera.apply();
        content();
        glClear(GL_DEPTH_BUFFER_BIT);
        camera.setStereo(separation, false);
        camera.apply();
        content();
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
        glFinish();
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }

    int litPixels() {
        std::vector<uint8_t> rgb = readPixelsRGB(0, 0, kWidth, kHeight);
        int lit = 0;
        for (size_t i = 0; i < rgb.size(); i += 3) lit += (rgb[i] | rgb[i + 1] | rgb[i + 2]) > 8;
        return lit;
    }

    StereoCamera camera;
};

}  // namespace

TEST_F(SceneRender, StrokeIntroIsBlackUntilTheFirstLineThenLit) {
    drawStereo(4.4f, {0, 0, 150}, {0, 0, 0}, -4.0f, true, StrokeIntroScene);
    EXPECT_EQ(litPixels(), 0);
    drawStereo(5.92f, {0, 0, 150}, {0, 0, 0}, -4.0f, true, StrokeIntroScene);
    EXPECT_GT(litPixels(), 500);
}

TEST_F(SceneRender, EveryContentLightsTheScreenAtItsMiddleTime) {
    float t = 19.38f;
    drawStereo(t, {150 * std::sin(t), 35 * std::cos(0.7f * t), 150 * std::cos(t)}, {0, 0, 0}, -5.0f,
               false, PuolipalloScene);
    EXPECT_GT(litPixels(), 300) << "model scene";

    t = 42.38f;
    float x = 100 * t - 200;
    drawStereo(t, {x, 0, 100}, {x, 0, 0}, -3.0f, true, LineFieldScene);
    EXPECT_GT(litPixels(), 500) << "line field";

    t = 65.4f;
    // A missing clip must not leave the flag wearing the last texture bound (black here).
    if (!engine.textures.find("black")) {
        std::vector<unsigned char> black(4 * 4 * 3, 0);
        engine.textures.createTexture("black", 4, 4, black.data(), GL_RGB8, GL_RGB);
    }
    glBindTexture(GL_TEXTURE_2D, engine.textures.get("black").glName);
    sceneState.heilu = sceneState.dance = nullptr;
    drawStereo(t, {0, 0, 80}, {0, 0, 0}, -5.0f, true, VideoFlagScene);
    EXPECT_GT(litPixels(), kWidth * kHeight / 2) << "video flag";

    t = 80.46f;
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, 0.003f);
    glEnable(GL_FOG);
    Vec3 position{150 * std::sin(t), 105, 150};
    drawStereo(t, position, position + Vec3{0, -0.5f, -1}, 4.0f, false, RistiScene);
    glDisable(GL_FOG);
    EXPECT_GT(litPixels(), kWidth * kHeight / 4) << "ground";

    t = 115.1f;
    drawStereo(t, {40 * std::sin(1.3f * t), 15 * std::sin(0.7f * t), 40 * std::sin(t) + 130},
               {0, 0, 0}, 4.0f, true, [] { BoxScrollerScene(103.38f); });
    EXPECT_GT(litPixels(), 2000) << "box wall";
}

TEST_F(SceneRender, EyesFillTheirOwnChannelsOffsetByTheSeparation) {
    drawStereo(11.0f, {0, 0, 150}, {0, 0, 0}, -4.0f, true, StrokeIntroScene);
    std::vector<uint8_t> rgb = readPixelsRGB(0, 0, kWidth, kHeight);
    double redSum = 0, redX = 0, greenSum = 0, greenX = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* p = &rgb[3 * (y * kWidth + x)];
            // Coverage, not intensity: overlaps saturate red (0.6 + 0.6) but not green.
            redSum += p[0] > 0;
            redX += p[0] > 0 ? x : 0;
            greenSum += p[1] > 0;
            greenX += p[1] > 0 ? x : 0;
            ASSERT_EQ(p[1] > 0, p[2] > 0) << "green and blue come from the same eye";
        }
    }
    ASSERT_GT(redSum, 0);
    ASSERT_GT(greenSum, 0);
    // Separation -4: the red eye sits 4 units left of the camera, so the lettering moves
    // 4 units right in the red picture and left in the cyan one; at 150 units with a
    // 90 degree 4:3 view one unit is 400 / (150 * 4 / 3) = 2 pixels.
    double shift = redX / redSum - greenX / greenSum;
    EXPECT_NEAR(shift, 16.0, 0.5);
}

TEST_F(SceneRender, StereoApplyLoadsTheEyeViewAndMask) {
    camera.setPosition({1, 2, 30});
    camera.setTarget({0, 0, 0});
    for (bool eye : {true, false}) {
        camera.setStereo(2.5f, eye);
        camera.apply();
        GLfloat loaded[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, loaded);
        Matrix4 expected = camera.viewMatrix();
        for (int k = 0; k < 16; ++k) EXPECT_FLOAT_EQ(loaded[k], expected.m[k]) << k;
        GLboolean mask[4];
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        EXPECT_EQ(mask[0], eye ? GL_TRUE : GL_FALSE);
        EXPECT_EQ(mask[1], eye ? GL_FALSE : GL_TRUE);
        EXPECT_EQ(mask[2], eye ? GL_FALSE : GL_TRUE);
        EXPECT_EQ(mask[3], GL_TRUE);
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}
