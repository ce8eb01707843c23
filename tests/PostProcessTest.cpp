#include "effects/Engine.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

constexpr int kSourceWidth = 1024;
constexpr int kSourceHeight = 512;
// A white 4 x 4 square at (512, 256): one texel at the blur's 256 x 128 resolution.
constexpr int kDotX = 512;
constexpr int kDotY = 256;
constexpr int kDotSize = 4;

void makeTarget(const std::string& name, int width, int height) {
    engine.textures.createTexture(name, width, height, nullptr, GL_RGBA8, GL_RGBA);
    RenderTargetRecord record;
    glGenFramebuffersEXT(1, &record.framebuffer);
    record.attachTexture(engine.textures, name, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
    engine.renderTargets.addTarget(name, record);
}

// Red channel of a target's picture, bottom row first.
std::vector<uint8_t> readTargetRed(const std::string& name) {
    engine.renderTargets.use(name);
    const TextureRecord& record = engine.renderTargets.get(name).colour;
    std::vector<uint8_t> rgb = readPixelsRGB(0, 0, record.width, record.height);
    engine.renderTargets.unuse();
    std::vector<uint8_t> red(rgb.size() / 3);
    for (size_t i = 0; i < red.size(); ++i) red[i] = rgb[i * 3];
    return red;
}

// The targets and the start-up projection and depth function the passes are written
// for, and a source picture: black with the white square.
class PostProcess : public testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        if (!engine.renderTargets.find("rt.glow")) {
            makeTarget("rt1", kSourceWidth, kSourceHeight);
            makeTarget("rt.glow", 256, 128);
            makeTarget("rt.blur", 256, 256);
            std::vector<uint8_t> dot(kSourceWidth * kSourceHeight * 3, 0);
            for (int y = kDotY; y < kDotY + kDotSize; ++y)
                for (int x = kDotX; x < kDotX + kDotSize; ++x)
                    for (int c = 0; c < 3; ++c) dot[(y * kSourceWidth + x) * 3 + c] = 255;
            engine.textures.createTexture("dot", kSourceWidth, kSourceHeight, dot.data(), GL_RGB8,
                                          GL_RGB);
        }
        glViewport(0, 75, 800, 450);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glClearColor(0, 0, 0, 1);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
    }
};

TEST_F(PostProcess, CompositeCountZeroGivesTheSourceAlone) {
    engine.GlowPass("dot", "rt1", 0, 1.05f);
    std::vector<uint8_t> red = readTargetRed("rt1");
    int lit = 0;
    for (uint8_t value : red) lit += value != 0;
    EXPECT_EQ(lit, kDotSize * kDotSize);
    EXPECT_EQ(red[kDotY * kSourceWidth + kDotX], 255);
    EXPECT_EQ(red[(kDotY + kDotSize - 1) * kSourceWidth + kDotX + kDotSize - 1], 255);
}

TEST_F(PostProcess, GlowSpreadsTheSquareAndKeepsTheSharpPictureOnTop) {
    engine.GlowPass("dot", "rt1", 0, 1.05f);
    const std::vector<uint8_t> sharp = readTargetRed("rt1");
    engine.GlowPass("dot", "rt1", 4, 1.05f);
    const std::vector<uint8_t> red = readTargetRed("rt1");
    // Offsets from the square's centre.
    auto at = [&](int dx, int dy) {
        return red[(kDotY + kDotSize / 2 + dy) * kSourceWidth + kDotX + kDotSize / 2 + dx];
    };
    EXPECT_EQ(at(0, 0), 255);
    for (auto [dx, dy] : {std::array<int, 2>{10, 0}, {-10, 0}, {0, 10}, {0, -10}, {7, 7}, {-7, -7}})
        EXPECT_GT(at(dx, dy), 0) << dx << "," << dy;
    EXPECT_GT(at(6, 0), at(14, 0));
    EXPECT_GT(at(0, -6), at(0, -14));
    EXPECT_EQ(at(100, 0), 0);
    EXPECT_EQ(at(0, -100), 0);
    // The result is the sharp picture plus the glow, never less.
    size_t below = 0;
    for (size_t i = 0; i < red.size(); ++i) below += red[i] < sharp[i];
    EXPECT_EQ(below, 0u);
}

TEST_F(PostProcess, PassesLeaveTheStateTheCallerExpects) {
    GLfloat projectionBefore[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionBefore);
    engine.GlowPass("dot", "rt1", 2, 1.0f);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint value = -1;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    EXPECT_EQ(viewport, (std::array<GLint, 4>{0, 75, 800, 450}));
    GLfloat projectionAfter[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(projectionAfter[i], projectionBefore[i]);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2], 3.0f);
    EXPECT_EQ(engine.renderTargets.current(), "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(PostProcess, BlurPingPongsAndTakesTheSourceStorage) {
    makeTarget("blur.dest", 256, 128);
    engine.BlurPass("dot", "blur.dest", 1, 0.75f, 0.75f, 1.0f);
    const TextureRecord& dest = engine.textures.get("blur.dest");
    EXPECT_EQ(dest.storageWidth, kSourceWidth);
    EXPECT_EQ(dest.storageHeight, kSourceHeight);
    // One pass: the result is in the destination, around the texel's place.
    std::vector<uint8_t> once = readTargetRed("blur.dest");
    EXPECT_EQ(once[(kDotY / 4) * 256 + kDotX / 4], 255);
    EXPECT_EQ(once[0], 0);

    // With five passes the destination holds pass 4; a sixth pass goes to "rt.blur" and
    // leaves the destination as it was.
    engine.BlurPass("dot", "blur.dest", 5, 0.75f, 0.75f, 1.05f);
    std::vector<uint8_t> five = readTargetRed("blur.dest");
    EXPECT_NE(five, once);
    engine.BlurPass("dot", "blur.dest", 6, 0.75f, 0.75f, 1.05f);
    EXPECT_EQ(readTargetRed("blur.dest"), five);
    // "rt.blur" is 256 x 256: the same view stretched to twice the rows.
    std::vector<uint8_t> sixth = readTargetRed("rt.blur");
    EXPECT_GT(sixth[(kDotY / 2) * 256 + kDotX / 4], 0);
    EXPECT_EQ(sixth[0], 0);
}

TEST_F(PostProcess, ScreenQuadFillsTheViewAtScaleOne) {
    std::vector<uint8_t> white(4 * 4 * 3, 255);
    engine.textures.createTexture("white", 4, 4, white.data(), GL_RGB8, GL_RGB);
    glViewport(0, 0, 800, 600);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1, 1, 1);

    glClear(GL_COLOR_BUFFER_BIT);
    engine.ScreenQuad("white", 1.0f);
    for (auto [x, y] : {std::array<int, 2>{0, 0}, {799, 0}, {0, 599}, {799, 599}, {400, 300}})
        EXPECT_EQ(readPixelsRGB(x, y, 1, 1)[0], 255) << x << "," << y;

    // At scale s it covers the centre s x s of the view.
    glClear(GL_COLOR_BUFFER_BIT);
    engine.ScreenQuad("white", 0.5f);
    for (auto [x, y] : {std::array<int, 2>{202, 152}, {597, 447}, {400, 300}})
        EXPECT_EQ(readPixelsRGB(x, y, 1, 1)[0], 255) << x << "," << y;
    for (auto [x, y] : {std::array<int, 2>{197, 300}, {602, 300}, {400, 147}, {400, 452}})
        EXPECT_EQ(readPixelsRGB(x, y, 1, 1)[0], 0) << x << "," << y;
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glEnable(GL_DEPTH_TEST);
}

}  // namespace
