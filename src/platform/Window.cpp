// The demo window and its OpenGL context (SDL2), the canvas that lets a drawable of any
// size show the fixed-size picture, the event queue in the shape the key and window
// handlers expect, and the Windows virtual-key numbering those handlers use.
// One window per process; everything here runs on the main thread.
#include "core/Letterbox.h"
#include "platform/Platform.h"
#include "platform/PlatformInternal.h"

#include "core/GL.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Off-screen picture at the requested size, used while the drawable has another size.
struct Canvas {
    GLuint framebuffer = 0;  // 0: not made yet
    GLuint colour = 0;       // a texture: the presentation draws it as a quad
    GLuint depth = 0;
    bool failed = false;     // could not be made: the picture goes to the window as it is
    bool active = false;     // this frame draws into it
};

struct WindowState {
    SDL_Window* window = nullptr;     // the one demo window; null until opened
    SDL_GLContext context = nullptr;  // its GL context, current for the whole run
    int width = 800;                  // the picture's size, as requested
    int height = 600;
    bool hidden = false;
    bool modeSwitched = false;        // the display runs in a mode we set
    SDL_DisplayMode desktopMode{};    // the display's mode before the switch
    int display = 0;
    Canvas canvas;
};

WindowState platformWindow;
DisplayRestorer displayRestorer = nullptr;  // null: SDL's own way

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
    if (request.resizable && !request.hidden) flags |= SDL_WINDOW_RESIZABLE;
    // On a high-density screen the drawable has the screen's pixels, and the canvas
    // scales the picture up to them.
    if (!request.hidden) flags |= SDL_WINDOW_ALLOW_HIGHDPI;
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
    int width = request.width, height = request.height;
    SDL_Rect bounds{};
    const bool desktop =
        request.desktop && !request.hidden && SDL_GetDisplayBounds(0, &bounds) == 0;
    if (desktop) {
        // Already the screen's size where no window manager answers the full-screen
        // request (SDL's X11 window would otherwise keep the size asked for).
        flags |= SDL_WINDOW_BORDERLESS;
        x = bounds.x;
        y = bounds.y;
        width = bounds.w;
        height = bounds.h;
    }
    SDL_Window* window = SDL_CreateWindow(request.title, x, y, width, height, flags);
    if (window && fullScreen && mode && SDL_SetWindowDisplayMode(window, mode) != 0) {
        SDL_DestroyWindow(window);
        return nullptr;
    }
    if (window && desktop) SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
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
    // One more hold on the GL driver, never given back: destroying the last window
    // would unload it, which gains nothing on the way out and leaves the leak checker
    // unable to name the driver's own allocations.
    static bool driverHeld = false;
    if (!driverHeld) driverHeld = SDL_GL_LoadLibrary(nullptr) == 0;
    return true;
}

bool createWithDepthFallback(const PlatformWindowRequest& request, bool fullScreen,
                             const SDL_DisplayMode* mode) {
    for (int depthBits : {16, 24, 32}) {
        if (createWindowAndContext(request, fullScreen, mode, depthBits)) return true;
    }
    return false;
}

// The canvas matches the window's own buffers, so a frame drawn into it is the frame
// the window would have shown at the requested size.
bool makeCanvas(Canvas& canvas, int width, int height) {
    GLint depthBits = 0, alphaBits = 0;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    const GLenum depthFormat = depthBits > 24   ? GL_DEPTH_COMPONENT32
                               : depthBits > 16 ? GL_DEPTH_COMPONENT24
                                                : GL_DEPTH_COMPONENT16;
    glGenFramebuffersEXT(1, &canvas.framebuffer);
    glGenTextures(1, &canvas.colour);
    glGenRenderbuffersEXT(1, &canvas.depth);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, canvas.colour);
    // Four bytes a pixel in the window's order: llvmpipe samples that fastest.
    glTexImage2D(GL_TEXTURE_2D, 0, alphaBits > 0 ? GL_RGBA8 : GL_RGB8, width, height, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, canvas.depth);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, depthFormat, width, height);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, canvas.framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              canvas.colour, 0);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                 GL_RENDERBUFFER_EXT, canvas.depth);
    const bool complete =
        glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (!complete) {
        std::fprintf(stderr, "No off-screen canvas for a %dx%d picture; the window shows "
                             "it unscaled.\n", width, height);
        glDeleteFramebuffersEXT(1, &canvas.framebuffer);
        glDeleteTextures(1, &canvas.colour);
        glDeleteRenderbuffersEXT(1, &canvas.depth);
        canvas = Canvas();
        canvas.failed = true;
    }
    return complete;
}

// Decides, between frames, where the next frame is drawn.
void chooseCanvas() {
    WindowState& w = platformWindow;
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(w.window, &width, &height);
    const bool wanted = !w.hidden && width > 0 && height > 0 &&
                        (width != w.width || height != w.height);
    if (wanted && !w.canvas.framebuffer && !w.canvas.failed) makeCanvas(w.canvas, w.width, w.height);
    const bool active = wanted && w.canvas.framebuffer != 0;
    if (active) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, w.canvas.framebuffer);
    } else if (w.canvas.active) {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
    w.canvas.active = active;
}

}  // namespace

// A textured quad rather than a framebuffer blit: llvmpipe scales a blit on one thread,
// twenty times slower. Whatever state the frame left is saved around it.
void platformPresentScaled(unsigned canvasTexture, int canvasWidth, int canvasHeight,
                           unsigned targetFramebuffer, int targetWidth, int targetHeight) {
    const LetterboxRect r = letterbox(canvasWidth, canvasHeight, targetWidth, targetHeight);
    // The shader objects the materials use are the ARB ones.
    const GLhandleARB program = glGetHandleARB(GL_PROGRAM_OBJECT_ARB);
    GLint activeTexture = 0, boundTexture = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glUseProgramObjectARB(0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, targetFramebuffer);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    for (GLenum mode : {GL_PROJECTION, GL_MODELVIEW, GL_TEXTURE}) {
        glMatrixMode(mode);
        glPushMatrix();
        glLoadIdentity();
    }
    for (GLenum capability : {GL_DEPTH_TEST, GL_BLEND, GL_LIGHTING, GL_FOG, GL_ALPHA_TEST,
                              GL_CULL_FACE, GL_STENCIL_TEST, GL_COLOR_LOGIC_OP, GL_TEXTURE_1D,
                              GL_TEXTURE_3D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_GEN_S,
                              GL_TEXTURE_GEN_T})
        glDisable(capability);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    // Only the bars are cleared: the picture covers the rest.
    const int right = r.x + r.width, top = r.y + r.height;
    const int bars[4][4] = {{0, 0, r.x, targetHeight},
                            {right, 0, targetWidth - right, targetHeight},
                            {0, 0, targetWidth, r.y},
                            {0, top, targetWidth, targetHeight - top}};
    glEnable(GL_SCISSOR_TEST);
    for (const auto& bar : bars) {
        if (bar[2] <= 0 || bar[3] <= 0) continue;
        glScissor(bar[0], bar[1], bar[2], bar[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    glViewport(r.x, r.y, r.width, r.height);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, canvasTexture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    for (GLenum mode : {GL_TEXTURE, GL_MODELVIEW, GL_PROJECTION}) {
        glMatrixMode(mode);
        glPopMatrix();
    }
    glPopAttrib();
    glActiveTexture(static_cast<GLenum>(activeTexture));
    glUseProgramObjectARB(program);
}

PlatformWindowResult platformOpenWindow(const PlatformWindowRequest& request) {
    WindowState& w = platformWindow;
    if (w.window) return PlatformWindowResult::Ok;
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
    // From here on every way out must pass the shutdown.
    static bool shutdownRegistered = false;
    if (!shutdownRegistered) shutdownRegistered = std::atexit(platformShutdown) == 0;

    w.width = request.width;
    w.height = request.height;
    w.hidden = request.hidden;
    PlatformWindowResult result = PlatformWindowResult::Ok;
    bool opened = false;
    const bool switchMode = request.fullScreen && !request.desktop && !request.hidden;
    if (switchMode) {
        SDL_DisplayMode mode{};
        // Recorded before the switch: this is what every way out puts back.
        w.modeSwitched = SDL_GetDesktopDisplayMode(w.display, &w.desktopMode) == 0 &&
                         findExactMode(request.width, request.height, mode) &&
                         createWithDepthFallback(request, true, &mode);
        opened = w.modeSwitched;
        if (!opened) result = PlatformWindowResult::ModeSwitchFailed;
    }
    if (!opened) opened = createWithDepthFallback(request, false, nullptr);
    if (!opened) {
        std::fprintf(stderr, "Cannot create an OpenGL window: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return PlatformWindowResult::Failed;
    }

    if (w.modeSwitched || (request.desktop && !request.hidden)) SDL_ShowCursor(SDL_DISABLE);
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
    if (platformWindow.window) chooseCanvas();
    return true;
}

void platformSwapBuffers() {
    exitIfInterrupted();
    WindowState& w = platformWindow;
    if (!w.window) return;
    if (w.canvas.active) {
        int width = 0, height = 0;
        SDL_GL_GetDrawableSize(w.window, &width, &height);
        platformPresentScaled(w.canvas.colour, w.width, w.height, 0, width, height);
    }
    SDL_GL_SwapWindow(w.window);
    chooseCanvas();
}

unsigned platformScreenFramebuffer() {
    return platformWindow.canvas.active ? platformWindow.canvas.framebuffer : 0;
}

void platformDrawableSize(int& width, int& height) {
    width = 0;
    height = 0;
    if (platformWindow.window) SDL_GL_GetDrawableSize(platformWindow.window, &width, &height);
}

bool platformPollEvent(PlatformEvent& event) {
    exitIfInterrupted();
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
            event.virtualKey = platformVirtualKeyFromSdl(
                sdl.key.keysym.sym, sdl.key.keysym.scancode, (sdl.key.keysym.mod & KMOD_NUM) != 0);
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
                // Any other drawable size is the canvas's business, at the swap.
                if (event.width != platformWindow.width || event.height != platformWindow.height) {
                    event.width = platformWindow.width;
                    event.height = platformWindow.height;
                }
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

int platformVirtualKeyFromSdl(int sdlKeycode, int sdlScancode, bool numLock) {
    // Without Num Lock the keypad's digits are the navigation keys they are labelled with.
    if (!numLock) {
        switch (sdlKeycode) {
        case SDLK_KP_0: return 45;  // Insert
        case SDLK_KP_1: return 35;  // End
        case SDLK_KP_2: return 40;  // Down
        case SDLK_KP_3: return 34;  // Page Down
        case SDLK_KP_4: return 37;  // Left
        case SDLK_KP_5: return 12;  // Clear
        case SDLK_KP_6: return 39;  // Right
        case SDLK_KP_7: return 36;  // Home
        case SDLK_KP_8: return 38;  // Up
        case SDLK_KP_9: return 33;  // Page Up
        case SDLK_KP_PERIOD: return 46;  // Delete
        default: break;
        }
    }
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
    default: break;
    }
    // A symbol with no code of its own (a Cyrillic or Greek letter): the key's position
    // names it, as Windows' virtual-key codes do on those layouts.
    if (sdlScancode >= SDL_SCANCODE_A && sdlScancode <= SDL_SCANCODE_Z)
        return 'A' + (sdlScancode - SDL_SCANCODE_A);
    if (sdlScancode >= SDL_SCANCODE_1 && sdlScancode <= SDL_SCANCODE_9)
        return '1' + (sdlScancode - SDL_SCANCODE_1);
    if (sdlScancode == SDL_SCANCODE_0) return '0';
    if (sdlScancode == SDL_SCANCODE_ESCAPE) return 27;
    return 0;
}

// ---- The window's part of the way out ---------------------------------------------------

void platformSetDisplayRestorer(DisplayRestorer restorer) { displayRestorer = restorer; }

namespace {

// SDL's own way: a window leaving full screen puts back the mode SDL found at start.
void restoreBySdl(const PlatformDisplayMode& desktop) {
    WindowState& w = platformWindow;
    if (w.window) SDL_SetWindowFullscreen(w.window, 0);
    SDL_DisplayMode now{};
    if (SDL_GetCurrentDisplayMode(w.display, &now) == 0 &&
        (now.w != desktop.width || now.h != desktop.height))
        std::fprintf(stderr, "The display stays at %dx%d; it was %dx%d before the demo.\n",
                     now.w, now.h, desktop.width, desktop.height);
}

}  // namespace

void windowRestoreDisplay() {
    WindowState& w = platformWindow;
    if (!w.modeSwitched) return;
    w.modeSwitched = false;
    PlatformDisplayMode desktop;
    desktop.width = w.desktopMode.w;
    desktop.height = w.desktopMode.h;
    desktop.refreshRate = w.desktopMode.refresh_rate;
    (displayRestorer ? displayRestorer : restoreBySdl)(desktop);
}

bool windowModeSwitched() { return platformWindow.modeSwitched; }

void windowRelease() {
    WindowState& w = platformWindow;
    windowRestoreDisplay();
    if (w.context) {
        SDL_GL_MakeCurrent(w.window, nullptr);
        SDL_GL_DeleteContext(w.context);
    }
    if (w.window) SDL_DestroyWindow(w.window);
    w = WindowState();
}
