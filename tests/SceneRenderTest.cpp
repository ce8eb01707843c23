// The scene content drawn for real (llvmpipe, hidden window): every scene puts light on
// the screen at the middle of its window, and the two eyes of a stereo pass land in
// their own channels, shifted against each other by the eye offset.
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/SceneData.h"
#include "effects/SceneGeometry.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"

#include "TestSupport.h"
#include "core/GL.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

// ---- Both ways -------------------------------------------------------------------------
// The scenes draw their fixed geometry from vertex arrays built once. Each content is
// drawn again here the plain way, vertex by vertex every frame as the production was
// first written, and the two pictures must be the same pixels.

namespace {

void referencePointField(float size, float pointSize, int count) {
    glPointSize(pointSize);
    std::srand(static_cast<unsigned>(static_cast<int>(size) * 1000));
    glBegin(GL_POINTS);
    for (int i = 0; i < count; ++i) {
        float p[3];
        for (float& c : p) c = -size / 2 + size * static_cast<float>(std::rand() & 0x7FFF) / 32767.0f;
        glVertex3f(p[0], p[1], p[2]);
    }
    glEnd();
}

void referenceStrokes() {
    const float t = sceneState.time;
    int first = 0;
    for (int s = 0; s < kStrokeCount; ++s) {
        glColor3f(0.6f, 0.5f, 0.96f);
        glLineWidth(5);
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i < kStrokePointCounts[s]; ++i) {
            const StrokePoint& p = kStrokePoints[first + i];
            if (t - 3.5f > static_cast<float>(i)) glVertex3f(20.0f * p.x, 20.0f * p.y, 0);
        }
        glEnd();
        first += kStrokePointCounts[s];
    }
}

void referenceSpark(float sign, float start, const Vec3& origin) {
    const float t = sceneState.time;
    const float h = std::trunc((t - start) * 22.222221f);
    Vec3 p = origin;
    for (int o = 1; o < kSparkSteps && static_cast<float>(o) <= h; ++o) {
        const float angle = 0.6666667f * static_cast<float>(o) * sign;
        const float length = 50.0f / (1.5f * static_cast<float>(o) + 1.0f);
        const Vec3 q = p + Vec3(std::cos(angle), std::sin(angle), std::sin(angle)) * length;
        glBegin(GL_LINES);
        glVertex3f(p.x, p.y, p.z);
        glVertex3f(q.x, q.y, q.z);
        glEnd();
        p = q;
    }
}

void referenceLineField() {
    const float t = sceneState.time;
    glDisable(GL_TEXTURE_2D);
    for (int n = 0; n < kFieldSegments; ++n) {
        const float s = 0.05f * static_cast<float>(n);
        const float e = n % 2 == 0 ? 1.0f : -1.0f;
        const bool lit = s < t && t < s + 5;
        const struct {
            const Vec3* curve;
            int sparkEvery;
            float sign;
            Vec3 colour;
        } curves[2] = {{curveB, 23, e, {0.4f, 0.5f, 0.96f}}, {curveA, 35, -e, {0.96f, 0.5f, 0.4f}}};
        for (const auto& c : curves) {
            glColor3f(c.colour.x, c.colour.y, c.colour.z);
            if (!lit) continue;
            if (n % c.sparkEvery == 0) referenceSpark(c.sign, s + 0.1f, c.curve[n]);
            glBegin(GL_LINES);
            glVertex3f(c.curve[n].x, c.curve[n].y, c.curve[n].z);
            glVertex3f(c.curve[n + 1].x, c.curve[n + 1].y, c.curve[n + 1].z);
            glEnd();
        }
    }
    glColor3f(1.0f, 0.7f, 0.8f);
    glTranslatef(100 * t - 200, 0, -1);
    referencePointField(300, 1.0f, 4000);
}

void referencePuolipalloClouds() {
    glColor3f(0.8f, 0.8f, 1.0f);
    referencePointField(87, 4.5f, 1000);
    referencePointField(300, 3.0f, 2000);
}

void referenceFlag(GLuint texture) {
    const float t = sceneState.time;
    glBindTexture(GL_TEXTURE_2D, texture);
    auto vertex = [t](int r, int k) {
        glTexCoord2f(k * 0.024390243f, r * 0.024390243f);
        glVertex3f(-100.0f + 5.0f * k, -100.0f + 5.0f * r,
                   20.0f * std::cos(0.2f * r + 1.96f * t) * std::sin(0.25f * k + 3.4f * t));
    };
    glColor3f(1, 1, 1);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    for (int r = 0; r < 40; ++r) {
        for (int k = 0; k < 40; ++k) {
            vertex(r, k + 1);
            vertex(r, k);
            vertex(r + 1, k);
            vertex(r + 1, k + 1);
        }
    }
    glEnd();
}

void referenceRingStacks() {
    const float t = sceneState.time;
    const float d = 75.0f * (-3.0f * t);
    for (const RingStackPlace& place : kRingStackPlaces) {
        const float u = d - place.depthOffset;
        const float e = 700.0f * std::trunc(u * 0.0014285714f);
        const float x = place.x, z = (e - d) - (500.0f - place.depthOffset);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
        glBlendFunc(GL_ONE, GL_ONE);
        glColor3f(0.7f, 1.0f, 0.5f);
        glDisable(GL_TEXTURE_2D);
        glLineWidth(3);
        for (int j = 0; j < 8; ++j) {
            const float radius = 30.0f - 3.9f * j, height = 10.0f + 10.0f * j;
            glBegin(GL_LINE_STRIP);
            for (int m = 0; m < 24; ++m) {
                const float theta = m * 0.27318197f;
                glVertex3f(x + radius * std::sin(theta), height, z + radius * std::cos(theta));
            }
            glEnd();
        }
        glEnable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
    }
}

void referenceBoxWall(float start) {
    const float local = sceneState.time - start;
    const float tilt = std::min(30.0f * local, 90.0f);
    const float growth = std::clamp(local - 3.0f, 0.0f, 4.0f) / 4.0f;
    const float scrolled = std::max(local - 4.0f, 0.0f);
    const int s = static_cast<int>(22.0f * scrolled);
    float depth[400];
    for (int r = 0; r < 20; ++r) {
        for (int k = 0; k < 20; ++k) {
            const int byte = 20.0f * scrolled > 700.0f ? 0 : 800 * r + k + s;
            depth[399 - (20 * r + k)] = textBitmap[byte] * growth * 0.2f;
        }
    }
    referencePointField(400, 1.7f, 4000);
    glRotatef(tilt - 90, 1, 0, 0);
    glRotatef(180, 0, 1, 0);
    glColor3f(0.6f, 0.5f, 0.96f);
    for (int row = 0; row < 20; ++row) {
        for (int column = 0; column < 20; ++column) {
            const float x0 = -100.0f + 10.0f * column, y0 = -100.0f + 10.0f * row;
            const float x1 = x0 + 10, y1 = y0 + 10, z = -depth[20 * row + column];
            const float corners[4][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
            glBegin(GL_LINE_LOOP);
            for (const auto& c : corners) glVertex3f(c[0], c[1], z);
            glEnd();
            glBegin(GL_LINES);
            for (const auto& c : corners) {
                glVertex3f(c[0], c[1], z);
                glVertex3f(c[0], c[1], 0);
            }
            glEnd();
        }
    }
}

}  // namespace

TEST_F(SceneRender, VertexArraysDrawTheSamePixelsAsVertexByVertex) {
    auto bothWays = [&](const char* name, float t, const Vec3& position, const Vec3& target,
                        float separation, bool additive, const std::function<void()>& production,
                        const std::function<void()>& reference) {
        // The box wall's first point cloud takes whatever colour was current before.
        glColor3f(0.3f, 0.9f, 0.6f);
        drawStereo(t, position, target, separation, additive, production);
        const std::vector<uint8_t> fast = readPixelsRGB(0, 0, kWidth, kHeight);
        glColor3f(0.3f, 0.9f, 0.6f);
        drawStereo(t, position, target, separation, additive, reference);
        const std::vector<uint8_t> plain = readPixelsRGB(0, 0, kWidth, kHeight);
        // llvmpipe rounds a colour given once for many vertices and the same colour
        // given per vertex differently (0.5 green becomes 128 or 127): one step of a
        // channel here and there is rounding, anything more is a different picture.
        size_t lit = 0, differing = 0;
        int largest = 0;
        for (size_t i = 0; i < fast.size(); ++i) {
            lit += fast[i] > 8;
            differing += fast[i] != plain[i];
            largest = std::max(largest, std::abs(int(fast[i]) - int(plain[i])));
        }
        EXPECT_GT(lit, 1000u) << name << " at " << t << " drew too little to compare";
        EXPECT_LE(largest, 1) << name << " at " << t;
        EXPECT_LE(differing, fast.size() / 200) << name << " at " << t;
    };

    bothWays("strokes", 8.3f, {0, 0, 150}, {0, 0, 0}, -4.0f, true, StrokeIntroScene, referenceStrokes);
    float t = 42.38f;
    float x = 100 * t - 200;
    bothWays("line field", t, {x, 0, 100}, {x, 0, 0}, -3.0f, true, LineFieldScene, referenceLineField);

    // The model has no meshes here: what is compared is the two point clouds.
    t = 19.38f;
    const Vec3 orbit{150 * std::sin(t), 35 * std::cos(0.7f * t), 150 * std::cos(t)};
    bothWays("puolipallo", t, orbit, {0, 0, 0}, -5.0f, false, PuolipalloScene,
             referencePuolipalloClouds);

    // A checker texture stands in for the clip, so the texture coordinates count too.
    if (!engine.textures.find("checker")) {
        std::vector<unsigned char> checker(16 * 16 * 3);
        for (int i = 0; i < 16 * 16; ++i)
            for (int c = 0; c < 3; ++c) checker[3 * i + c] = ((i % 16) / 4 + (i / 64)) % 2 ? 230 : 40;
        engine.textures.createTexture("checker", 16, 16, checker.data(), GL_RGB8, GL_RGB);
    }
    const GLuint checker = engine.textures.get("checker").glName;
    sceneState.heilu = sceneState.dance = nullptr;
    t = 63.1f;
    bothWays("flag", t, {0, 35 * std::sin(1.1f * t), 80}, {0, 0, 0}, -5.0f, true,
             [checker] {
                 VideoFlagScene();  // binds no clip: texture 0
                 glBindTexture(GL_TEXTURE_2D, checker);
                 VideoFlagScene();
             },
             [checker] {
                 referenceFlag(0);
                 referenceFlag(checker);
             });

    t = 80.46f;
    const Vec3 above{150 * std::sin(t), 105, 150};
    bothWays("ring stacks", t, above, above + Vec3{0, -0.5f, -1}, 4.0f, false, RistiScene, [] {
        const float s = -3.0f * sceneState.time;
        glEnable(GL_TEXTURE_2D);
        glColor3f(0.6f, 0.5f, 0.96f);
        glBindTexture(GL_TEXTURE_2D, engine.textures.get("risti").glName);
        glBegin(GL_QUADS);
        glTexCoord2f(0, s);
        glVertex3f(-600, 0, -600);
        glTexCoord2f(0, s + 16);
        glVertex3f(-600, 0, 600);
        glTexCoord2f(16, s + 16);
        glVertex3f(600, 0, 600);
        glTexCoord2f(16, s);
        glVertex3f(600, 0, -600);
        glEnd();
        referenceRingStacks();
    });

    for (float at : {104.5f, 109.0f, 118.0f}) {  // tilting up, growing, scrolling
        bothWays("box wall", at, {40 * std::sin(1.3f * at), 15 * std::sin(0.7f * at), 40 * std::sin(at) + 130},
                 {0, 0, 0}, 4.0f, true, [] { BoxScrollerScene(103.38f); },
                 [] { referenceBoxWall(103.38f); });
    }
}
