// The window layer: a real GL context on the offscreen driver and on an X server, the
// event translation the handlers rely on, the virtual-key numbering, the check of the
// GL features the program draws with, the scaled presentation and the shutdown every
// way out reaches.
#include "TestSupport.h"
#include "app/GLFeatures.h"
#include "core/Fatal.h"
#include "core/GL.h"
#include "core/Letterbox.h"
#include "platform/Platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

TEST(Window, ContextClearsAndReadsBackTheRequestedBuffers) {
    requireGLContext();
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    ASSERT_NE(version, nullptr);
    // The fixed-function pipeline must be there: a core profile would reject this.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << version;
    // Every feature the program draws with, offline modes included, by the driver's strings.
    EXPECT_EQ(missingGLFeatures(queryGLFeatures(true)), "");

    GLint depthBits = 0, redBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_RED_BITS, &redBits);
    EXPECT_GE(depthBits, 16);
    EXPECT_EQ(redBits, 8);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    // EGL pbuffers (the offscreen driver) have a single buffer; windows have two.
    if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "offscreen") != 0) {
        EXPECT_TRUE(doubleBuffered);
    }

    int width = 0, height = 0;
    platformDrawableSize(width, height);
    EXPECT_GE(width, 800);
    EXPECT_GE(height, 600);

    glViewport(0, 0, width, height);
    glClearColor(1.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> pixels = readPixelsRGB(width / 2, height / 2, 1, 1);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[1], 0);
    EXPECT_EQ(pixels[2], 255);
    platformSwapBuffers();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The same context code against a real X server (xvfb-run in CI), in a child process
// so that this process keeps its offscreen window.
TEST(Window, MissingGLFeaturesAreNamedWhetherUnofferedOrUnloaded) {
    const std::vector<GLFeature> features = {
        {"offered and loaded", true, true},
        {"not offered", false, true},
        {"offered without its entry points", true, false},
    };
    EXPECT_EQ(missingGLFeatures(features), "not offered, offered without its entry points");
}

TEST(Window, ContextOnAnXServer) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no X display";
    std::string output;
    int status = runCommand("SDL_VIDEODRIVER=x11 /proc/" + std::to_string(getpid()) +
                                "/exe --gtest_filter=Window.ContextClearsAndReadsBackTheRequestedBuffers",
                            output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(Window, EventsArriveInTheHandlersTerms) {
    requireGLContext();
    PlatformEvent event;
    while (platformPollEvent(event)) {
    }

    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_F11;
    key.key.repeat = 1;
    SDL_PushEvent(&key);
    // The keypad's 9 without Num Lock: the scan code and the modifiers reach the table.
    key.key.keysym.sym = SDLK_KP_9;
    key.key.keysym.scancode = SDL_SCANCODE_KP_9;
    key.key.keysym.mod = KMOD_NONE;
    key.key.repeat = 0;
    SDL_PushEvent(&key);
    key.type = SDL_KEYUP;
    key.key.keysym.sym = SDLK_p;
    key.key.repeat = 0;
    SDL_PushEvent(&key);
    SDL_Event window{};
    window.type = SDL_WINDOWEVENT;
    window.window.event = SDL_WINDOWEVENT_MOVED;  // of no interest: skipped
    SDL_PushEvent(&window);
    window.window.event = SDL_WINDOWEVENT_MINIMIZED;
    SDL_PushEvent(&window);
    window.window.event = SDL_WINDOWEVENT_RESTORED;
    SDL_PushEvent(&window);
    window.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&window);

    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.type, PlatformEventType::KeyDown);
    EXPECT_EQ(event.virtualKey, 122);
    EXPECT_TRUE(event.repeat);
    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.virtualKey, 33);
    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.type, PlatformEventType::KeyUp);
    EXPECT_EQ(event.virtualKey, 'P');
    EXPECT_FALSE(event.repeat);
    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.type, PlatformEventType::Minimized);
    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.type, PlatformEventType::Resized);
    int width = 0, height = 0;
    platformDrawableSize(width, height);
    EXPECT_EQ(event.width, width);
    EXPECT_EQ(event.height, height);
    ASSERT_TRUE(platformPollEvent(event));
    EXPECT_EQ(event.type, PlatformEventType::Close);
    EXPECT_FALSE(platformPollEvent(event));
}

TEST(Window, VirtualKeyCodesFollowTheWindowsNumbering) {
    const struct {
        int keycode, scancode;
        bool numLock;
        int virtualKey;
    } keys[] = {
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, true, 27},
        {SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, true, 33},
        {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, true, 34},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, true, 37},
        {SDLK_UP, SDL_SCANCODE_UP, true, 38},
        {SDLK_RIGHT, SDL_SCANCODE_RIGHT, true, 39},
        {SDLK_DOWN, SDL_SCANCODE_DOWN, true, 40},
        {SDLK_l, SDL_SCANCODE_L, true, 76},
        {SDLK_p, SDL_SCANCODE_P, true, 80},
        {SDLK_F11, SDL_SCANCODE_F11, true, 122},
        {SDLK_F1, SDL_SCANCODE_F1, true, 112},
        {SDLK_F12, SDL_SCANCODE_F12, true, 123},
        // Letters are the upper-case code whatever the shift state; digits their ASCII.
        {SDLK_a, SDL_SCANCODE_A, true, 'A'},
        {SDLK_z, SDL_SCANCODE_Z, true, 'Z'},
        {SDLK_0, SDL_SCANCODE_0, true, '0'},
        {SDLK_9, SDL_SCANCODE_9, true, '9'},
        // A Latin layout names its letters itself: AZERTY's A sits where Q is.
        {SDLK_a, SDL_SCANCODE_Q, true, 'A'},
        // The keypad: digits with Num Lock, the navigation keys without it.
        {SDLK_KP_0, SDL_SCANCODE_KP_0, true, 96},
        {SDLK_KP_9, SDL_SCANCODE_KP_9, true, 105},
        {SDLK_KP_9, SDL_SCANCODE_KP_9, false, 33},
        {SDLK_KP_3, SDL_SCANCODE_KP_3, false, 34},
        {SDLK_KP_4, SDL_SCANCODE_KP_4, false, 37},
        {SDLK_KP_8, SDL_SCANCODE_KP_8, false, 38},
        {SDLK_KP_6, SDL_SCANCODE_KP_6, false, 39},
        {SDLK_KP_2, SDL_SCANCODE_KP_2, false, 40},
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, false, 13},
        // Cyrillic and Greek letters have no code: their keys' places name them.
        {0x434, SDL_SCANCODE_L, true, 'L'},  // д
        {0x437, SDL_SCANCODE_P, true, 'P'},  // з
        {0x3BB, SDL_SCANCODE_L, true, 'L'},  // λ
        {0x3C0, SDL_SCANCODE_P, true, 'P'},  // π
        {0x3BB, SDL_SCANCODE_ESCAPE, true, 27},
        // Keys with no virtual-key code, including SDL's scancode-based ones, map to 0.
        {SDLK_AUDIOPLAY, SDL_SCANCODE_AUDIOPLAY, true, 0},
        {SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, true, 0},
        {SDLK_F13, SDL_SCANCODE_F13, true, 0},
    };
    for (const auto& key : keys) {
        EXPECT_EQ(platformVirtualKeyFromSdl(key.keycode, key.scancode, key.numLock),
                  key.virtualKey)
            << "keycode 0x" << std::hex << key.keycode << " scancode " << std::dec
            << key.scancode << (key.numLock ? "" : " without Num Lock");
    }
}

TEST(Presentation, LetterboxKeepsTheAspectAndCentres) {
    const struct {
        int areaWidth, areaHeight;
        LetterboxRect rect;
    } cases[] = {
        {800, 600, {0, 0, 800, 600}},
        {1920, 1080, {240, 0, 1440, 1080}},  // bars at the sides
        {1000, 500, {166, 0, 667, 500}},     // 666.7 rounds to 667
        {800, 1000, {0, 200, 800, 600}},     // bars above and below
        {3, 2, {0, 0, 3, 2}},                // 2.67 rounds to 3: the whole area
        {0, 600, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const LetterboxRect r = letterbox(800, 600, c.areaWidth, c.areaHeight);
        EXPECT_EQ(r.x, c.rect.x) << c.areaWidth << "x" << c.areaHeight;
        EXPECT_EQ(r.y, c.rect.y) << c.areaWidth << "x" << c.areaHeight;
        EXPECT_EQ(r.width, c.rect.width) << c.areaWidth << "x" << c.areaHeight;
        EXPECT_EQ(r.height, c.rect.height) << c.areaWidth << "x" << c.areaHeight;
    }
}

// A 4:3 canvas in quarters of four colours, scaled into a wide target that holds stale
// colour: black bars left and right, each quarter where the scaled picture puts it.
TEST(Presentation, ScaledCanvasFillsItsRectangleBetweenBlackBars) {
    requireGLContext();
    auto makeTarget = [](int width, int height, GLuint& framebuffer, GLuint& colour) {
        glGenFramebuffersEXT(1, &framebuffer);
        glGenRenderbuffersEXT(1, &colour);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGB8, width, height);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                     GL_RENDERBUFFER_EXT, colour);
        ASSERT_EQ(glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE_EXT));
    };
    GLuint canvas = 0, canvasColour = 0, target = 0, targetColour = 0;
    glGenTextures(1, &canvasColour);
    glBindTexture(GL_TEXTURE_2D, canvasColour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 80, 60, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffersEXT(1, &canvas);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, canvas);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              canvasColour, 0);
    const float quarters[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    glEnable(GL_SCISSOR_TEST);
    for (int q = 0; q < 4; ++q) {
        glScissor((q % 2) * 40, (q / 2) * 30, 40, 30);
        glClearColor(quarters[q][0], quarters[q][1], quarters[q][2], 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    makeTarget(200, 100, target, targetColour);
    glScissor(0, 0, 200, 100);
    glClearColor(1, 0, 1, 1);  // what a previous frame left
    glClear(GL_COLOR_BUFFER_BIT);
    // The presentation must not depend on the state the frame left, nor change it.
    glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glColor3f(0.5f, 0.5f, 0.5f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glScalef(0.5f, 0.5f, 0.5f);

    platformPresentScaled(canvasColour, 80, 60, target, 200, 100);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_EQ(projection[0], 0.5f);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, target);
    const std::vector<uint8_t> pixels = readPixelsRGB(0, 0, 200, 100);
    auto at = [&](int x, int y) {
        const uint8_t* p = &pixels[(size_t(y) * 200 + x) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    // 4:3 in 200 x 100: 133 x 100 at x = 33.
    for (int y : {0, 50, 99}) {
        EXPECT_EQ(at(0, y), (std::vector<int>{0, 0, 0})) << y;
        EXPECT_EQ(at(32, y), (std::vector<int>{0, 0, 0})) << y;
        EXPECT_EQ(at(166, y), (std::vector<int>{0, 0, 0})) << y;
        EXPECT_EQ(at(199, y), (std::vector<int>{0, 0, 0})) << y;
    }
    EXPECT_EQ(at(40, 10), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(at(158, 10), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(at(40, 90), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(at(158, 90), (std::vector<int>{255, 255, 255}));
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glDeleteFramebuffersEXT(1, &canvas);
    glDeleteFramebuffersEXT(1, &target);
    glDeleteTextures(1, &canvasColour);
    glDeleteRenderbuffersEXT(1, &targetColour);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Clock, ClipClockFollowsTheInstalledSourceAndFallsBackToTheWallClock) {
    uint32_t first = platformMilliseconds();
    EXPECT_NE(first, 0u);
    platformSetMillisecondSource([]() -> uint32_t { return 4321; });
    EXPECT_EQ(platformClipMilliseconds(), 4321u);
    platformSetMillisecondSource(nullptr);
    uint32_t wall = platformClipMilliseconds();
    EXPECT_GE(wall, first);
    SDL_Delay(20);
    EXPECT_GE(platformMilliseconds(), wall + 15);
}

namespace {

void printRestoredMode(const PlatformDisplayMode& mode) {
    std::printf("restored %dx%d\n", mode.width, mode.height);
    std::fflush(stdout);
}

}  // namespace

// Run by the next test, in a child process on an X server whose one mode is 800 x 600,
// where the full-screen window's mode switch succeeds. The mode cannot really change
// there, so the restoring step only reports the mode it is given.
TEST(Shutdown, ChildLeavesAsItIsTold) {
    const char* way = std::getenv("VORNEKKA_TEST_WAY_OUT");
    if (!way) GTEST_SKIP() << "run by Shutdown.EveryWayOutPutsTheRecordedModeBack";
    platformHandleSignals();
    platformSetDisplayRestorer(printRestoredMode);
    PlatformWindowRequest request;
    ASSERT_EQ(platformOpenWindow(request), PlatformWindowResult::Ok) << "no mode switch";
    std::printf("switched\n");
    std::fflush(stdout);
    if (std::strcmp(way, "exit") == 0) std::exit(0);
    if (std::strcmp(way, "fatal") == 0) fatalErrorText("leaving through the error report");
    kill(getpid(), SIGTERM);
    if (std::strcmp(way, "busy") == 0) sleep(5);  // never at a safe point
    for (;;) {
        PlatformEvent event;
        platformPollEvent(event);
        SDL_Delay(5);
    }
}

TEST(Shutdown, EveryWayOutPutsTheRecordedModeBack) {
    std::string output;
    if (runCommand("command -v xvfb-run", output) != 0) GTEST_SKIP() << "xvfb-run is missing";
    const struct {
        const char* way;
        int status;
    } ways[] = {{"exit", 0}, {"fatal", 1}, {"signal", 143}, {"busy", 143}};
    for (const auto& way : ways) {
        const int status = runCommand(
            std::string("VORNEKKA_TEST_WAY_OUT=") + way.way +
                " VORNEKKA_UNATTENDED=1 SDL_VIDEODRIVER=x11 xvfb-run -a -s '-screen 0 "
                "800x600x24' /proc/" + std::to_string(getpid()) +
                "/exe --gtest_filter=Shutdown.ChildLeavesAsItIsTold",
            output);
        EXPECT_EQ(status, way.status) << way.way << "\n" << output;
        EXPECT_NE(output.find("switched\n"), std::string::npos) << way.way << "\n" << output;
        const size_t restored = output.find("restored 800x600\n");
        EXPECT_NE(restored, std::string::npos) << way.way << "\n" << output;
        EXPECT_EQ(output.find("restored", restored + 1), std::string::npos)
            << "restored twice: " << way.way << "\n" << output;
    }
}
