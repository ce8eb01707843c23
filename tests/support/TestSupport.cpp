#include "TestSupport.h"

#include "core/GL.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

void requireGLContext() {
    static int state = 0;  // 0 untried, 1 ok, -1 failed
    if (state == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        setenv("VORNEKKA_UNATTENDED", "1", 1);
        PlatformWindowRequest request;
        request.fullScreen = false;
        request.hidden = true;
        request.vsync = false;
        std::string error;
        state = (platformOpenWindow(request) != PlatformWindowResult::Failed &&
                 platformInitGL(error))
                    ? 1
                    : -1;
        if (state < 0) std::fprintf(stderr, "no GL context: %s\n", error.c_str());
    }
    ASSERT_EQ(state, 1) << "could not open a GL context";
}

std::string makeTempDir(const std::string& tag) {
    std::string pattern = "/tmp/vornekka-" + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* dir = mkdtemp(buffer.data());
    if (!dir) ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return dir ? dir : "/tmp";
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string buildDir() { return VORNEKKA_BINARY_DIR; }
std::string buildDataDir() { return std::string(VORNEKKA_BINARY_DIR) + "/data"; }

std::vector<uint8_t> readPixelsRGB(int x, int y, int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

int openDescriptorCount() {
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return -1;
    int count = 0;
    while (const dirent* entry = readdir(fds)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(fds);
    return count - 1;  // the listing's own descriptor
}

int runCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) output.append(chunk.data(), n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
