#include "app/DemoContext.h"
#include "app/LoadingScreen.h"
#include "effects/Engine.h"
#include "resources/ImageFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A white picture of that size loaded as a texture through the data folder of a
// fresh working directory.
void loadWhite(const std::string& name, int width, int height) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    const std::string dir = makeTempDir("loading");
    ASSERT_EQ(mkdir((dir + "/data").c_str(), 0755), 0);
    Image image;
    make_image(image, width, height, 3);
    std::fill(image.pixels, image.pixels + image.rowBytes * height, 255);
    const bool written = write_png((dir + "/data/" + name + ".png").c_str(), image);
    delete[] image.pixels;
    ASSERT_TRUE(written);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    engine.textures.loadTexture(name, -1, -1);
    ASSERT_EQ(chdir(previous), 0);
}

// Red channel at window pixel (x, y).
int redAt(int x, int y) { return readPixelsRGB(x, y, 1, 1)[0]; }

// The start-up view: the whole 800 x 600 window, 90 degrees, 4:3.
class LoadingScreen : public testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        glViewport(0, 0, 800, 600);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glColor3f(1, 1, 1);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
};

TEST_F(LoadingScreen, FullWidthPictureFillsTheUnitQuad) {
    loadWhite("square", 256, 256);
    glDisable(GL_DEPTH_TEST);
    demoContext.drawTextureQuad("square", 1.0f);
    // x from -1 to 1 at distance 1 is 100..700 of an 800-wide 4:3 view; y is all of it.
    EXPECT_EQ(redAt(102, 1), 255);
    EXPECT_EQ(redAt(697, 598), 255);
    EXPECT_EQ(redAt(97, 300), 0);
    EXPECT_EQ(redAt(703, 300), 0);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    glEnable(GL_DEPTH_TEST);
}

TEST_F(LoadingScreen, NarrowPictureShrinksTheQuadTowardsItsLowerLeft) {
    // 240 of 256 columns: u = 0.9375, the quad spans -1 to 0.875 in x and y, the last
    // 16 texel columns (padding) stay black.
    loadWhite("narrow", 240, 256);
    glDisable(GL_DEPTH_TEST);
    demoContext.drawTextureQuad("narrow", 1.0f);
    EXPECT_EQ(redAt(103, 2), 255);
    EXPECT_EQ(redAt(620, 300), 255);
    EXPECT_EQ(redAt(300, 558), 255);
    EXPECT_EQ(redAt(97, 300), 0);
    EXPECT_EQ(redAt(645, 300), 0);
    EXPECT_EQ(redAt(300, 567), 0);
    glEnable(GL_DEPTH_TEST);
}

TEST_F(LoadingScreen, StepDrawsTheUntintedPictureUnderATintedGlow) {
    loadWhite("loading", 256, 256);
    GLint attribDepth = -1;
    for (unsigned seed : {1u, 7u}) {
        SCOPED_TRACE(seed);
        std::srand(seed);
        const float r = static_cast<float>(std::rand());
        std::srand(seed);
        loadingStep();
        // The base picture is white whatever the tint; outside it, in the 2 % wider
        // glow, only the tint shows.
        EXPECT_EQ(redAt(400, 300), 255);
        const float tint[3] = {(std::sin(3 * r) + 1) * 0.5f, (std::sin(4 * r) + 1) * 0.5f,
                               (std::sin(5 * r) + 1) * 0.5f};
        std::vector<uint8_t> glow = readPixelsRGB(96, 300, 1, 1);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(glow[c], tint[c] * 255, 2) << c;
        EXPECT_EQ(redAt(90, 300), 0);

        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &attribDepth);
        EXPECT_EQ(attribDepth, 0);
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
