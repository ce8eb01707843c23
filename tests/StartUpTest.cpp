// The frame's edges: window events into the key table and handlers, the resize
// projection, the end-of-frame state reset and the F11 capture files.
#include "TestSupport.h"
#include "app/App.h"
#include "app/DemoContext.h"
#include "core/GL.h"
#include "effects/Engine.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace {

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

PlatformEvent keyEvent(PlatformEventType type, int key, bool repeat = false) {
    PlatformEvent event;
    event.type = type;
    event.virtualKey = key;
    event.repeat = repeat;
    return event;
}

// Runs each capture test in a fresh working folder, since the capture path is relative.
class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        char* cwd = getcwd(nullptr, 0);
        previousFolder = cwd;
        free(cwd);
        ASSERT_EQ(chdir(makeTempDir("capture").c_str()), 0);
        viewportWidth = 800;
        viewportHeight = 600;
        screenCapture.counter = 0;
        screenCapture.requested = false;
    }
    void TearDown() override { ASSERT_EQ(chdir(previousFolder.c_str()), 0); }

    // Red top half, blue bottom half in the window's back buffer.
    static void drawTwoHalves() {
        glViewport(0, 0, 800, 600);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 300, 800, 300);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }

    std::string previousFolder;
};

}  // namespace

TEST_F(Capture, OneRequestWritesOneTopDownFileAndNumbersGrowToFiveDigits) {
    drawTwoHalves();
    captureFrame();
    EXPECT_FALSE(fileExists("w:/shots/shot0000.png")) << "no request, no file";
    EXPECT_EQ(screenCapture.counter, 0);

    screenCapture.requested = true;
    captureFrame();
    EXPECT_FALSE(screenCapture.requested);
    EXPECT_EQ(screenCapture.counter, 1);
    ASSERT_TRUE(fileExists("w:/shots/shot0000.png"));
    const uint8_t* buffer = screenCapture.image.pixels;

    Image shot;
    ASSERT_EQ(read_png("w:/shots/shot0000.png", shot, false), 0);
    ASSERT_EQ(shot.width, 800);
    ASSERT_EQ(shot.height, 600);
    ASSERT_EQ(shot.channels, 3);
    const uint8_t* top = shot.pixels;
    const uint8_t* bottom = shot.pixels + static_cast<size_t>(599) * shot.rowBytes;
    EXPECT_EQ(top[0], 255);
    EXPECT_EQ(top[2], 0);
    EXPECT_EQ(bottom[0], 0);
    EXPECT_EQ(bottom[2], 255);
    delete[] shot.pixels;

    screenCapture.counter = 9999;
    screenCapture.requested = true;
    captureFrame();
    screenCapture.requested = true;
    captureFrame();
    EXPECT_TRUE(fileExists("w:/shots/shot9999.png"));
    EXPECT_TRUE(fileExists("w:/shots/shot10000.png"));
    EXPECT_EQ(screenCapture.counter, 10001);
    EXPECT_EQ(screenCapture.image.pixels, buffer) << "the capture image is allocated once";
}

TEST_F(Capture, AnUnwritableFolderIsReportedAndTheNumberStillAdvances) {
    writeFileBytes("w:", "a file where the capture folder should be");
    drawTwoHalves();
    for (int expected = 1; expected <= 2; ++expected) {
        screenCapture.requested = true;
        ::testing::internal::CaptureStderr();
        captureFrame();
        std::string report = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(report.find("w:/shots"), std::string::npos) << report;
        EXPECT_EQ(screenCapture.counter, expected);
        EXPECT_FALSE(screenCapture.requested);
    }
    EXPECT_FALSE(fileExists("w:/shots/shot0000.png"));
}

TEST(Events, KeysFillTheStateTableAndReachTheHandler) {
    engine.keys['A'] = 0;
    handleEvent(keyEvent(PlatformEventType::KeyDown, 'A'));
    EXPECT_EQ(engine.keys['A'], 1);
    handleEvent(keyEvent(PlatformEventType::KeyDown, 'A', true));
    EXPECT_EQ(engine.keys['A'], 1);
    handleEvent(keyEvent(PlatformEventType::KeyUp, 'A'));
    EXPECT_EQ(engine.keys['A'], 0);

    // Unmapped keys touch nothing.
    unsigned char before[256];
    std::copy(engine.keys, engine.keys + 256, before);
    handleEvent(keyEvent(PlatformEventType::KeyDown, 0));
    handleEvent(keyEvent(PlatformEventType::KeyDown, 300));
    EXPECT_TRUE(std::equal(before, before + 256, engine.keys));

    // A held F11 renews its request with every repeat, one file per frame at most.
    screenCapture.requested = false;
    handleEvent(keyEvent(PlatformEventType::KeyDown, 122));
    EXPECT_TRUE(screenCapture.requested);
    screenCapture.requested = false;
    handleEvent(keyEvent(PlatformEventType::KeyDown, 122, true));
    EXPECT_TRUE(screenCapture.requested);
    screenCapture.requested = false;
    handleEvent(keyEvent(PlatformEventType::KeyUp, 122));
    EXPECT_FALSE(screenCapture.requested);
    EXPECT_EQ(engine.keys[122], 0);
}

TEST(Events, CloseAndEscapeEndTheRunWithSuccess) {
    PlatformEvent close;
    close.type = PlatformEventType::Close;
    EXPECT_EXIT(handleEvent(close), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(handleEvent(keyEvent(PlatformEventType::KeyDown, 27)),
                ::testing::ExitedWithCode(0), "");
}

TEST(Events, RestoreResetsViewportAndProjectionMinimiseDoesNot) {
    requireGLContext();
    PlatformEvent event;
    event.type = PlatformEventType::Resized;
    event.width = 640;
    event.height = 480;
    handleEvent(event);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], 0.75f, 1e-5f);               // 90 degrees at 4:3
    EXPECT_NEAR(projection[14], -2000.0f / 999.0f, 1e-4f);  // near plane 1, far 1000
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    event.type = PlatformEventType::Minimized;
    event.width = 0;
    event.height = 0;
    handleEvent(event);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
}
