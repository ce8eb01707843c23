// The window layer: a real GL context on the offscreen driver and on an X server, the
// event translation the handlers rely on, the virtual-key numbering, and the check of
// the GL features the program draws with.
#include "TestSupport.h"
#include "app/GLFeatures.h"
#include "core/GL.h"
#include "platform/Platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
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
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_ESCAPE), 27);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_PAGEUP), 33);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_PAGEDOWN), 34);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_LEFT), 37);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_UP), 38);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_RIGHT), 39);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_DOWN), 40);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_l), 76);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_p), 80);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_F11), 122);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_F1), 112);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_F12), 123);
    // Letters are the upper-case code whatever the shift state; digits their ASCII.
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_a), 'A');
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_z), 'Z');
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_0), '0');
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_9), '9');
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_KP_0), 96);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_KP_9), 105);
    // Keys with no virtual-key code, including SDL's scancode-based ones, map to 0.
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_AUDIOPLAY), 0);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_UNKNOWN), 0);
    EXPECT_EQ(platformVirtualKeyFromSdl(SDLK_F13), 0);
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
