// The demo window and its OpenGL context (SDL2), the event queue in the shape the key
// and window handlers expect, and the Windows virtual-key numbering those handlers use.
// One window per process; everything here runs on the main thread.
#include "platform/Platform.h"

#include "core/GL.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct WindowState {
    SDL_Window* window = nullptr;     // the one demo window; null until opened
    SDL_GLContext context = nullptr;  // its GL context, current for the whole run
};

WindowState platformWindow;

// A display-mode switch only counts when the display offers the requested size
// exactly: a larger mode would leave the fixed 800 x 600 picture in a corner.
bool findExactMode(int width, int height, SDL_DisplayMode& mode) {
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    if (!SDL_GetClosestDisplayMode(0, &wanted, &mode)) return false;
    return mode.w == width && mode.h == height;
}

SDL_Window* createWindow(const PlatformWindowRequest& request, bool fullScreen,
                         const SDL_DisplayMode* mode) {
    Uint32 flags = SDL_WINDOW_OPENGL | (request.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
    if (fullScreen) flags |= SDL_WINDOW_FULLSCREEN;
    SDL_Window* window = SDL_CreateWindow(request.title, SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, request.width,
                                          request.height, flags);
    if (window && fullScreen && mode && SDL_SetWindowDisplayMode(window, mode) != 0) {
        SDL_DestroyWindow(window);
        return nullptr;
    }
    return window;
}

// Creates window and context with a depth buffer of at least `depthBits`.
bool createWindowAndContext(const PlatformWindowRequest& request, bool fullScreen,
                            const SDL_DisplayMode* mode, int depthBits) {
    const int channelBits = request.colourBits >= 24 ? 8 : 5;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channelBits);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channelBits);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channelBits);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits);

    SDL_Window* window = createWindow(request, fullScreen, mode);
    if (!window) return false;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        SDL_DestroyWindow(window);
        return false;
    }
    if (SDL_GL_MakeCurrent(window, context) != 0) {
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        return false;
    }
    platformWindow.window = window;
    platformWindow.context = context;
    return true;
}

bool createWithDepthFallback(const PlatformWindowRequest& request, bool fullScreen,
                             const SDL_DisplayMode* mode) {
    for (int depthBits : {16, 24, 32}) {
        if (createWindowAndContext(request, fullScreen, mode, depthBits)) return true;
    }
    return false;
}

}  // namespace

PlatformWindowResult platformOpenWindow(const PlatformWindowRequest& request) {
    if (platformWindow.window) return PlatformWindowResult::Ok;
    // A hidden window needs no display: without one, render through EGL instead of
    // failing, unless the user chose a driver.
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (request.hidden && (!display || !*display) && (!wayland || !*wayland))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "Cannot start the video system: %s\n", SDL_GetError());
        return PlatformWindowResult::Failed;
    }

    PlatformWindowResult result = PlatformWindowResult::Ok;
    bool opened = false;
    if (request.fullScreen) {
        SDL_DisplayMode mode{};
        opened = findExactMode(request.width, request.height, mode) &&
                 createWithDepthFallback(request, true, &mode);
        if (!opened) result = PlatformWindowResult::ModeSwitchFailed;
    }
    if (!opened) opened = createWithDepthFallback(request, false, nullptr);
    if (!opened) {
        std::fprintf(stderr, "Cannot create an OpenGL window: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return PlatformWindowResult::Failed;
    }

    if (result == PlatformWindowResult::Ok && request.fullScreen) SDL_ShowCursor(SDL_DISABLE);
    // Where the driver offers no swap control the loop simply runs unpaced.
    SDL_GL_SetSwapInterval(request.vsync ? 1 : 0);

    // Creating and mapping the window queues size events the caller has already
    // accounted for; left in the queue they would undo the start-up viewport.
    SDL_PumpEvents();
    SDL_FlushEvent(SDL_WINDOWEVENT);
    return result;
}

bool platformInitGL(std::string& error) {
    glewExperimental = GL_TRUE;
    GLenum result = glewInit();
    // Debian's GLEW is built for GLX only: on EGL (no X display) it loads every GL
    // entry point and then reports the missing GLX display, which costs us nothing.
    if (result == GLEW_ERROR_NO_GLX_DISPLAY && GLEW_VERSION_1_1 &&
        glGetString(GL_VERSION) != nullptr)
        result = GLEW_OK;
    if (result != GLEW_OK) {
        const GLubyte* text = glewGetErrorString(result);
        error = text ? reinterpret_cast<const char*>(text) : "unknown error";
        return false;
    }
    return true;
}

void platformSwapBuffers() {
    if (platformWindow.window) SDL_GL_SwapWindow(platformWindow.window);
}

void platformDrawableSize(int& width, int& height) {
    width = 0;
    height = 0;
    if (platformWindow.window) SDL_GL_GetDrawableSize(platformWindow.window, &width, &height);
}

bool platformPollEvent(PlatformEvent& event) {
    SDL_Event sdl;
    while (SDL_PollEvent(&sdl)) {
        event = PlatformEvent();
        switch (sdl.type) {
        case SDL_QUIT:
            event.type = PlatformEventType::Close;
            return true;
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event.type = sdl.type == SDL_KEYDOWN ? PlatformEventType::KeyDown
                                                 : PlatformEventType::KeyUp;
            event.virtualKey = platformVirtualKeyFromSdl(sdl.key.keysym.sym);
            event.repeat = sdl.key.repeat != 0;
            return true;
        case SDL_WINDOWEVENT:
            switch (sdl.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                event.type = PlatformEventType::Close;
                return true;
            case SDL_WINDOWEVENT_MINIMIZED:
                event.type = PlatformEventType::Minimized;
                return true;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_RESTORED:
                event.type = PlatformEventType::Resized;
                platformDrawableSize(event.width, event.height);
                return true;
            default:
                break;
            }
            break;
        default:
            break;
        }
    }
    return false;
}

int platformVirtualKeyFromSdl(int sdlKeycode) {
    if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z) return 'A' + (sdlKeycode - SDLK_a);
    if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9) return '0' + (sdlKeycode - SDLK_0);
    if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) return 112 + (sdlKeycode - SDLK_F1);
    if (sdlKeycode >= SDLK_KP_1 && sdlKeycode <= SDLK_KP_9) return 97 + (sdlKeycode - SDLK_KP_1);
    switch (sdlKeycode) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 17;
    case SDLK_LALT:
    case SDLK_RALT: return 18;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_PRINTSCREEN: return 44;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
    }
}
