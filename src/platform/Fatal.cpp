#include "core/Fatal.h"

#include "platform/Platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fatalErrorText(const char* text) {
    // The user reads the box on the desktop as it was, not on a switched display.
    platformShutdown();
    platformShowError(text);
    std::exit(1);
}

void fatalError(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    fatalErrorText(buffer);
}
