#include "FuzzSupport.h"

#include "core/Fatal.h"
#include "resources/ImageFile.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <iterator>
#include <unistd.h>
#include <vector>

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

// The descriptors open now, by number, less the one that lists them.
std::vector<int> openFiles() {
    std::vector<int> numbers;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && fd != dirfd(fds)) numbers.push_back(fd);
        }
        closedir(fds);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

// The reader of the current input, for fuzzImageReader's plain function pointer.
int (*imageReader)(const char*, Image&, bool) = nullptr;
bool oddSize = false;

}  // namespace

int fuzzInput(const uint8_t* data, size_t size, const char* extension,
              void (*read)(const std::string& path)) {
    const std::string path = writeFuzzInput(data, size, extension);
    // Compared around this one read, not with the start of the run: libFuzzer itself keeps
    // descriptors open between inputs (the pipes to the symbolizer that names NEW_FUNC).
    const std::vector<int> before = openFiles();
    try {
        read(path);
    } catch (const FuzzFatal&) {
    }
    const std::vector<int> after = openFiles();
    std::vector<int> left;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                        std::back_inserter(left));
    if (!left.empty()) {
        for (int fd : left) {
            char target[512] = {};
            const std::string link = "/proc/self/fd/" + std::to_string(fd);
            if (readlink(link.c_str(), target, sizeof target - 1) < 0) target[0] = 0;
            std::fprintf(stderr, "the reader left a file open: descriptor %d, %s\n", fd, target);
        }
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
