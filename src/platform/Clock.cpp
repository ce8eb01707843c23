// The millisecond wall clock and the replaceable clock the video clips step on.
#include "platform/Platform.h"

#include <SDL.h>

namespace {
MillisecondSource clipClockSource = nullptr;  // null: the clips follow the wall clock
}

uint32_t platformMilliseconds() {
    // SDL starts its tick counter on first use; the offset keeps 0 free to mean "never".
    return SDL_GetTicks() + 1;
}

void platformSetMillisecondSource(MillisecondSource source) { clipClockSource = source; }

uint32_t platformClipMilliseconds() {
    return clipClockSource ? clipClockSource() : platformMilliseconds();
}
