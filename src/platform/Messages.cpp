// Error boxes only where a person is watching; the same text on stderr always, so a
// log holds every message a box would have shown.
#include "platform/Platform.h"
#include "platform/PlatformInternal.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

bool platformAttended() {
    const char* unattended = std::getenv("VORNEKKA_UNATTENDED");
    if (unattended && *unattended && *unattended != '0') return false;
    if (std::getenv("CI")) return false;
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0))
        return false;
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
}

void platformShowError(const char* text) {
    std::fprintf(stderr, "Error: %s\n", text);
    std::fflush(stderr);
    if (!platformAttended()) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, SDL_GL_GetCurrentWindow());
    // A signal ends the box's process to get here; it ends this one too.
    exitIfInterrupted();
}
