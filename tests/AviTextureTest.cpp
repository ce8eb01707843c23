// Clips made here with AviWriter, played on a fake millisecond clock; pictures read
// back from the clip's texture.
#include "effects/AviTexture.h"

#include "TestSupport.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t fakeNow = 0;
uint32_t fakeClock() { return fakeNow; }

class AviTextureTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = new std::string(makeTempDir("avitexture")); }

    void SetUp() override {
        requireGLContext();
        fakeNow = 1000;
        platformSetMillisecondSource(fakeClock);
    }
    void TearDown() override { platformSetMillisecondSource(nullptr); }

    // Frame i is flat grey i * 2 (so frames can be told apart), except that the top
    // half of every frame is red and the bottom quarter blue.
    // `fps` frames per `rateDen` seconds.
    static std::string makeClip(const std::string& name, int width, int height, int fps,
                                int frames, int rateDen = 1) {
        const std::string path = *dir + "/" + name;
        AviWriter writer;
        std::string error;
        EXPECT_TRUE(writer.open(path.c_str(), width, height, fps, rateDen, error)) << error;
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (int f = 0; f < frames; ++f) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                    const uint8_t grey = static_cast<uint8_t>(f * 2);
                    p[0] = p[1] = p[2] = grey;
                    if (y < height / 2) p[0] = 255, p[1] = 0, p[2] = 0;       // top
                    if (y >= height * 3 / 4) p[0] = 0, p[1] = 0, p[2] = 255;  // bottom
                }
            }
            EXPECT_TRUE(writer.writeFrame(rgb.data()));
        }
        EXPECT_TRUE(writer.close(error)) << error;
        return path;
    }

    static std::string* dir;
};

std::string* AviTextureTest::dir = nullptr;

std::vector<uint8_t> textureBgr(const AviTexture& clip) {
    std::vector<uint8_t> pixels(static_cast<size_t>(clip.textureWidth) * clip.textureHeight * 3);
    glBindTexture(GL_TEXTURE_2D, clip.texture());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

}  // namespace

TEST_F(AviTextureTest, ReadsFrameCountDurationAndSizesTheTexture) {
    AviTexture clip;
    clip.open(makeClip("count.avi", 320, 240, 25, 30).c_str());
    ASSERT_TRUE(clip.usable);
    EXPECT_EQ(clip.frameCount, 30);
    EXPECT_EQ(clip.frameDuration, 40);
    EXPECT_EQ(clip.wrapValue, 29);
    EXPECT_EQ(clip.frameWidth, 320);
    EXPECT_EQ(clip.frameHeight, 240);
    EXPECT_EQ(clip.textureWidth, 256);
    EXPECT_EQ(clip.textureHeight, 128);
}

TEST_F(AviTextureTest, TextureIsTheLargestPowerOfTwoBelowTheFrame) {
    AviTexture square;
    square.open(makeClip("square.avi", 256, 256, 25, 2).c_str());
    EXPECT_EQ(square.textureWidth, 128);
    EXPECT_EQ(square.textureHeight, 128);

    AviTexture wider;
    wider.open(makeClip("wider.avi", 258, 130, 25, 2).c_str());
    EXPECT_EQ(wider.textureWidth, 256);
    EXPECT_EQ(wider.textureHeight, 128);
}

TEST_F(AviTextureTest, NtscClipGetsWholeMilliseconds) {
    AviTexture clip;
    clip.open(makeClip("ntsc.avi", 64, 48, 30000, 30, 1001).c_str());
    ASSERT_TRUE(clip.usable);
    EXPECT_EQ(clip.frameCount, 30);
    EXPECT_EQ(clip.frameDuration, 33);  // 33.37 ms truncated: plays slightly fast
}

TEST_F(AviTextureTest, AdvanceStepsOnlyWhenAWholeFrameHasPassed) {
    AviTexture clip;
    clip.open(makeClip("step.avi", 64, 48, 25, 100).c_str());
    ASSERT_TRUE(clip.usable);

    clip.advance();  // the first advance starts the clock on frame 0
    EXPECT_EQ(clip.currentFrame, 0);
    EXPECT_EQ(clip.referenceTime, 1000u);

    fakeNow += 39;
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 0);
    EXPECT_EQ(clip.referenceTime, 1000u);  // nothing used up: the 39 ms still count

    fakeNow += 2;
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 1);
    EXPECT_EQ(clip.shownFrame, 1);
    EXPECT_EQ(clip.referenceTime, 1040u);  // the extra 1 ms carries over

    fakeNow += 39;  // 80 ms after the start: frame 2
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 2);
    EXPECT_EQ(clip.referenceTime, 1080u);

    fakeNow -= 500;  // a clock that runs back moves nothing
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 2);
}

TEST_F(AviTextureTest, IdleClipJumpsByTheIdleTimeModuloTheWrapValue) {
    AviTexture clip;
    clip.open(makeClip("idle.avi", 64, 48, 25, 100).c_str());
    ASSERT_TRUE(clip.usable);
    clip.advance();
    fakeNow += 5 * 40;
    clip.advance();
    ASSERT_EQ(clip.currentFrame, 5);

    fakeNow += 10000;  // 250 frames
    clip.advance();
    EXPECT_EQ(clip.currentFrame, (5 + 250) % 99);
    EXPECT_EQ(clip.shownFrame, (5 + 250) % 99);
}

TEST_F(AviTextureTest, PlaysFramesZeroToCountMinusTwoThenWraps) {
    AviTexture clip;
    clip.open(makeClip("wrap.avi", 64, 48, 25, 10).c_str());
    ASSERT_TRUE(clip.usable);
    clip.advance();
    std::vector<int> shown;
    for (int i = 0; i < 11; ++i) {
        fakeNow += 40;
        clip.advance();
        shown.push_back(clip.shownFrame);
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 0, 1, 2}));
}

TEST_F(AviTextureTest, ClockStartingAtZeroStillSteps) {
    AviTexture clip;
    clip.open(makeClip("zero.avi", 64, 48, 25, 10).c_str());
    ASSERT_TRUE(clip.usable);
    fakeNow = 0;  // a frame clock for offline rendering starts here
    clip.advance();
    fakeNow = 40;
    clip.advance();
    fakeNow = 80;
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 2);
}

TEST_F(AviTextureTest, OneFrameClipStaysOnItsFrame) {
    AviTexture clip;
    clip.open(makeClip("single.avi", 64, 48, 25, 1).c_str());
    ASSERT_TRUE(clip.usable);
    EXPECT_EQ(clip.frameCount, 1);
    EXPECT_EQ(clip.wrapValue, 0);
    clip.advance();
    fakeNow += 1000;
    clip.advance();
    EXPECT_EQ(clip.currentFrame, 0);
    EXPECT_EQ(clip.shownFrame, 0);
}

TEST_F(AviTextureTest, UploadsTheFrameUprightWithRowZeroAtTheBottom) {
    AviTexture clip;
    clip.open(makeClip("picture.avi", 128, 64, 25, 40).c_str());
    ASSERT_TRUE(clip.usable);
    ASSERT_EQ(clip.textureWidth, 64);
    ASSERT_EQ(clip.textureHeight, 32);

    clip.showFrame(30);  // flat grey 60 between the red top and the blue bottom
    const std::vector<uint8_t> bgr = textureBgr(clip);
    auto at = [&](int x, int row) { return &bgr[(static_cast<size_t>(row) * 64 + x) * 3]; };
    const uint8_t* bottom = at(32, 2);
    const uint8_t* middle = at(32, 12);
    const uint8_t* top = at(32, 28);
    EXPECT_GT(bottom[0], 200);  // blue
    EXPECT_LT(bottom[2], 50);
    EXPECT_NEAR(middle[0], 60, 12);
    EXPECT_NEAR(middle[1], 60, 12);
    EXPECT_NEAR(middle[2], 60, 12);
    EXPECT_GT(top[2], 200);  // red
    EXPECT_LT(top[0], 50);

    clip.showFrame(5);  // another frame: grey 10
    EXPECT_NEAR(textureBgr(clip)[(12 * 64 + 32) * 3 + 1], 10, 12);
}

// Each failure writes the box's text, with the clip's name, to stderr; the clip stays
// blank and its clock never starts.
TEST_F(AviTextureTest, ClipsThatCannotPlayAreReportedByNameAndStayBlank) {
    writeFileBytes(*dir + "/garbage.avi", std::string(4096, 'x'));
    // A stream whose every frame is zeros: it opens, but nothing decodes.
    std::string blank = readFileBytes(makeClip("blank.avi", 64, 48, 25, 4));
    for (size_t at = blank.find("00dc"); at != std::string::npos; at = blank.find("00dc", at + 8)) {
        size_t size = 0;  // little-endian 32 bits after the chunk's name
        for (int i = 3; i >= 0; --i) size = size << 8 | static_cast<uint8_t>(blank[at + 4 + i]);
        size = std::min(size, blank.size() - at - 8);
        blank.replace(at + 8, size, std::string(size, '\0'));
    }
    writeFileBytes(*dir + "/blank.avi", blank);
    const struct {
        std::string path;
        const char* message;
    } cases[] = {
        {*dir + "/absent.avi", "Failed To Open The AVI Stream"},
        {*dir + "/garbage.avi", "Failed To Open The AVI Stream"},
        {*dir + "/blank.avi", "Failed To Open The AVI Frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        AviTexture clip;
        ::testing::internal::CaptureStderr();
        clip.open(c.path.c_str());
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(std::string(c.message) + "\n" + c.path + ": "), std::string::npos)
            << err;
        EXPECT_FALSE(clip.usable);
        EXPECT_NE(clip.texture(), 0u);
        clip.advance();
        fakeNow += 1000;
        clip.advance();
        EXPECT_EQ(clip.currentFrame, 0);
        EXPECT_FALSE(clip.started);
    }
}

TEST_F(AviTextureTest, DataToolClipsOpenWithManyFrames) {
    const char* names[3] = {"dance.avi", "heilu.avi", "vispi.avi"};
    for (const char* name : names) {
        const std::string path = buildDataDir() + "/" + name;
        if (readFileBytes(path).empty()) GTEST_SKIP() << "no data folder with " << path;
        AviTexture clip;
        clip.open(path.c_str());
        ASSERT_TRUE(clip.usable) << path;
        EXPECT_GT(clip.frameCount, 2) << path;
        EXPECT_GT(clip.frameDuration, 0) << path;
        EXPECT_GE(clip.textureWidth, 2) << path;
    }
}
