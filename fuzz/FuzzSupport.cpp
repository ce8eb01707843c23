#include "FuzzSupport.h"

#include "app/Fatal.h"
#include "resources/ImageFile.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
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

namespace {

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

int openFiles() {
    int count = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (readdir(fds)) ++count;
        closedir(fds);
    }
    return count;
}

// The reader of the current input, for fuzzImageReader's plain function pointer.
int (*imageReader)(const char*, Image&, bool) = nullptr;
bool oddSize = false;

}  // namespace

int fuzzInput(const uint8_t* data, size_t size, const char* extension,
              void (*read)(const std::string& path)) {
    static const int openBefore = openFiles();
    const std::string path = writeFuzzInput(data, size, extension);
    try {
        read(path);
    } catch (const FuzzFatal&) {
    }
    if (openFiles() > openBefore) {
        std::fprintf(stderr, "the reader left a file open\n");
        std::abort();
    }
    return 0;
}

int fuzzImageReader(int (*reader)(const char*, Image&, bool), const uint8_t* data, size_t size,
                    const char* extension) {
    imageReader = reader;
    oddSize = size & 1;
    return fuzzInput(data, size, extension, [](const std::string& path) {
        Image image;
        if (imageReader(path.c_str(), image, oddSize) != 0) return;
        const size_t bytes = size_t(image.height) * image.rowBytes;
        if (bytes) {
            volatile uint8_t first = image.pixels[0], last = image.pixels[bytes - 1];
            (void)first;
            (void)last;
        }
        delete[] image.pixels;
    });
}
