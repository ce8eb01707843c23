// Start-up scene data: the shared camera, the two curves and the text bitmap file.
#include "effects/Camera.h"
#include "effects/SceneData.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

TEST(SceneCurves, FirstPointsAndSpacing) {
    Vec3 a[2000], b[2000];
    buildCurves(a, b, 2000);
    EXPECT_FLOAT_EQ(a[0].x, -130);
    EXPECT_FLOAT_EQ(a[0].y, 0);
    EXPECT_FLOAT_EQ(a[0].z, 0);
    EXPECT_NEAR(b[0].x, -88.08f, 0.01f);
    EXPECT_FLOAT_EQ(b[0].y, 1);
    EXPECT_FLOAT_EQ(b[0].z, 0);
    // Point 1 by hand: x0 = -125.
    EXPECT_NEAR(a[1].x, -125 + 50 * std::sin(0.1), 1e-4);
    EXPECT_NEAR(a[1].z, 75 * std::sin(0.14) * std::cos(0.25), 1e-4);
    EXPECT_NEAR(b[1].y, 20 * std::cos(0.13) * std::sin(0.1) + std::cos(0.3), 1e-5);
    // The last point: x0 = 9865, wobble bounded by the amplitudes.
    EXPECT_NEAR(a[1999].x, 9865, 50.01);
    EXPECT_NEAR(b[1999].x, 9895, 11.93);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_LE(std::fabs(a[i].y), 21.0f) << i;
        ASSERT_LE(std::fabs(b[i].z), 75.0f) << i;
    }
}

class TextBitmapFile : public ::testing::Test {
protected:
    std::string dir = makeTempDir("textbin");
    unsigned char bitmap[16000] = {};
};

TEST_F(TextBitmapFile, ShortFileFillsOnlyTheBeginning) {
    writeFileBytes(dir + "/text.bin", std::string(100, '\x7f'));
    loadTextBitmap((dir + "/text.bin").c_str(), bitmap, sizeof bitmap);
    EXPECT_EQ(bitmap[0], 0x7f);
    EXPECT_EQ(bitmap[99], 0x7f);
    for (int i = 100; i < 16000; ++i) ASSERT_EQ(bitmap[i], 0) << i;
}

TEST_F(TextBitmapFile, LongFileReadsNoMoreThanTheBitmap) {
    std::string bytes(16000, '\0');
    for (int i = 0; i < 16000; ++i) bytes[i] = static_cast<char>(i % 251);
    bytes += std::string(500, '\xff');
    writeFileBytes(dir + "/text.bin", bytes);
    std::vector<unsigned char> guarded(16000 + 16, 0xab);
    loadTextBitmap((dir + "/text.bin").c_str(), guarded.data(), 16000);
    EXPECT_EQ(guarded[15999], 15999 % 251);
    EXPECT_EQ(guarded[16000], 0xab);
}

TEST_F(TextBitmapFile, MissingFileIsFatalAndNamesIt) {
    std::string path = dir + "/absent/text.bin";
    EXPECT_EXIT(loadTextBitmap(path.c_str(), bitmap, sizeof bitmap),
                ::testing::ExitedWithCode(1), "absent/text\\.bin");
}

TEST_F(TextBitmapFile, SetupReadsTheDataFolderAndMakesTheCamera) {
    ASSERT_EQ(mkdir((dir + "/data").c_str(), 0755), 0);
    writeFileBytes(dir + "/data/text.bin", std::string(16000, '\x05'));
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    setupSceneData();
    ASSERT_EQ(chdir(previous), 0);
    ASSERT_NE(sharedCamera, nullptr);
    EXPECT_FLOAT_EQ(sharedCamera->target.z, -1);
    EXPECT_FLOAT_EQ(sharedCamera->separation, 1);
    EXPECT_TRUE(sharedCamera->eye);
    EXPECT_FLOAT_EQ(curveA[0].x, -130);
    EXPECT_EQ(textBitmap[0], 5);
    EXPECT_EQ(textBitmap[15999], 5);
}

TEST_F(TextBitmapFile, SetupWithoutTheFileIsFatal) {
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EXIT(setupSceneData(), ::testing::ExitedWithCode(1), "data/text\\.bin");
    ASSERT_EQ(chdir(previous), 0);
}
