#include "FuzzSupport.h"

#include "app/Fatal.h"
#include "resources/ImageFile.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

// These replace the library's fatal report in the fuzz executables only (the archive
// member is never pulled in once the symbols are defined here). Unwinding instead of
// exiting lets the target return and lets leaks on the error path show up.
void fatalErrorText(const char*) { throw FuzzFatal{}; }

void fatalError(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    fatalErrorText(buffer);
}

std::string writeFuzzInput(const uint8_t* data, size_t size, const char* extension) {
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/vornekka-fuzz-" +
                       std::to_string(getpid()) + extension;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

int fuzzImageReader(int (*reader)(const char*, Image&, bool), const uint8_t* data, size_t size,
                    const char* extension) {
    const std::string path = writeFuzzInput(data, size, extension);
    try {
        Image image;
        if (reader(path.c_str(), image, size & 1) == 0) {
            const size_t bytes = size_t(image.height) * image.rowBytes;
            if (bytes) {
                volatile uint8_t first = image.pixels[0], last = image.pixels[bytes - 1];
                (void)first;
                (void)last;
            }
            delete[] image.pixels;
        }
    } catch (const FuzzFatal&) {
    }
    return 0;
}
