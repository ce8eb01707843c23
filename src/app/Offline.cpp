// Offline rendering: a frame clock drives the picture and the clips, pixel buffer
// objects take the frames back without waiting for the renderer, and the movie is
// encoded on the writer's own thread while the next frame renders.
#include "app/Offline.h"

#include "app/App.h"
#include "core/GL.h"
#include "core/Letterbox.h"
#include "effects/Engine.h"
#include "effects/Timeline.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace {

uint32_t frameClockMs = 0;  // what the clips see as the time while rendering offline
uint32_t frameClock() { return frameClockMs; }

CaptureLayout capture;  // size of the stills and movies, and where the picture lies in it

float demoSeconds(int64_t ms) { return static_cast<float>(ms) * 0.001f; }

bool endsWith(const std::string& text, const char* suffix) {
    const size_t length = std::strlen(suffix);
    if (text.size() < length) return false;
    std::string tail = text.substr(text.size() - length);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == suffix;
}

// Two pixel buffer objects: frame k is read into one while frame k - 1 is mapped
// from the other, so the readback never waits for the frame just drawn.
class Readback {
public:
    Readback(int width, int height) : width_(width), height_(height) {
        rowBytes_ = static_cast<size_t>(width) * 3;
        glGenBuffersARB(2, buffers_);
        for (GLuint buffer : buffers_) {
            glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, buffer);
            glBufferDataARB(GL_PIXEL_PACK_BUFFER_ARB, rowBytes_ * height, nullptr,
                            GL_STREAM_READ_ARB);
        }
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
    }
    ~Readback() { glDeleteBuffersARB(2, buffers_); }

    // Starts reading the back buffer into the next buffer object.
    void request() {
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, buffers_[next_]);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(engine.renderTargets.screenFramebuffer ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
        glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
        pending_[next_] = true;
        next_ ^= 1;
    }

    // The oldest requested frame, top row first; null when none is pending. With
    // `latest` the frame requested last is taken instead (the end of the run).
    const uint8_t* take(bool latest) {
        topFirst_.resize(rowBytes_ * height_);
        const bool taken = takeInto(latest, [this](const uint8_t* bottomFirst) {
            for (int row = 0; row < height_; ++row)
                std::memcpy(&topFirst_[rowBytes_ * row],
                            bottomFirst + rowBytes_ * (height_ - 1 - row), rowBytes_);
            return true;
        });
        return taken ? topFirst_.data() : nullptr;
    }

    // The same frame handed to `use(bottomFirst)` while it is mapped, with no copy of
    // its own (a 3840 x 2160 frame is 25 MB); false when none is pending or `use` fails.
    template <typename Use>
    bool takeInto(bool latest, Use use) {
        const int index = latest ? next_ ^ 1 : next_;
        if (!pending_[index]) return false;
        pending_[index] = false;
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, buffers_[index]);
        const auto* bottomFirst = static_cast<const uint8_t*>(
            glMapBufferARB(GL_PIXEL_PACK_BUFFER_ARB, GL_READ_ONLY_ARB));
        bool used = false;
        if (bottomFirst) {
            used = use(bottomFirst);
            glUnmapBufferARB(GL_PIXEL_PACK_BUFFER_ARB);
        }
        glBindBufferARB(GL_PIXEL_PACK_BUFFER_ARB, 0);
        return used;
    }

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_, height_;
    size_t rowBytes_;
    GLuint buffers_[2] = {0, 0};
    bool pending_[2] = {false, false};
    int next_ = 0;
    std::vector<uint8_t> topFirst_;
};

bool writeFramePng(const std::string& path, const uint8_t* rgb, int width, int height) {
    Image image;
    image.width = width;
    image.height = height;
    image.channels = 3;
    image.bytesPerPixel = 3;
    image.rowBytes = width * 3;
    image.pixels = const_cast<uint8_t*>(rgb);
    return write_png(path.c_str(), image);
}

// The frame at demo millisecond `ms`, with the clips on the same clock.
void drawOfflineFrame(int64_t ms) {
    frameClockMs = static_cast<uint32_t>(ms);
    drawFrameAt(demoSeconds(ms));
}

void printProgress(int64_t done, int64_t total, int scene, double elapsedSeconds) {
    constexpr int kBarWidth = 30;
    const int filled = static_cast<int>(kBarWidth * done / std::max<int64_t>(total, 1));
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    const double rate = elapsedSeconds > 0 ? done / elapsedSeconds : 0.0;
    const double left = rate > 0 ? (total - done) / rate : 0.0;
    std::fprintf(stderr, "\r[%s] %3d%% %-12s %6.1f fps  %3d:%02d left ", bar,
                 static_cast<int>(100 * done / std::max<int64_t>(total, 1)), sceneName(scene),
                 rate, static_cast<int>(left) / 60, static_cast<int>(left) % 60);
}

}  // namespace

CaptureLayout captureLayout(int width, int height) {
    CaptureLayout layout;
    layout.width = width;
    layout.height = height;
    layout.scale = static_cast<float>(std::min(width / 800.0, height / 600.0));
    const LetterboxRect picture = letterbox(800, 600, width, height);
    layout.canvasWidth = picture.width;
    layout.canvasHeight = picture.height;
    layout.canvasX = picture.x;
    layout.canvasY = picture.y;
    return layout;
}

void prepareCapture(const CaptureLayout& layout) {
    capture = layout;
    viewportWidth = layout.canvasWidth;
    viewportHeight = layout.canvasHeight;
    engine.pictureScale = layout.scale;
}

void beginCapture() {
    // The window's own size keeps the window: the same pixels as ever.
    if (capture.width == screenWidth && capture.height == screenHeight) return;
    const GLuint framebuffer = createScreenFramebuffer(capture.width, capture.height);
    engine.renderTargets.screenFramebuffer = framebuffer;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    // Every frame clears the whole framebuffer, which leaves the bars black; the render
    // targets restore this viewport when they are released.
    glViewport(capture.canvasX, capture.canvasY, capture.canvasWidth, capture.canvasHeight);
}

const char* sceneName(int index) {
    static const char* const kNames[] = {"end",  "strokes", "puolipallo", "line field",
                                         "flag", "risti",   "laser",      "box wall",
                                         "tunnel"};
    return index >= 0 && index <= 8 ? kNames[index] : "?";
}

int64_t frameMilliseconds(double from, int fps, int64_t k) {
    return std::llround(from * 1000.0 + static_cast<double>(k) * 1000.0 / fps);
}

void primeClips(int fps, int64_t ms) {
    platformSetMillisecondSource(frameClock);
    // The frame clock reads `ms` at that frame.
    catchUpWithSchedule(fps, ms, static_cast<uint32_t>(ms));
}

int renderOffline(const RenderRequest& request) {
    const std::string output = request.output;
    const bool movie = endsWith(output, ".mp4") || endsWith(output, ".mkv");
    const int fps = request.fps;

    // Frames up to `to`, and never past the end of the production.
    int64_t total = 0;
    while (frameMilliseconds(request.from, fps, total) < std::llround(request.to * 1000.0) &&
           sceneIndexAt(demoSeconds(frameMilliseconds(request.from, fps, total))) != 0)
        ++total;
    if (total == 0) {
        std::fprintf(stderr, "%s: no frames between %g s and %g s\n", output.c_str(),
                     request.from, request.to);
        return 1;
    }

    Readback readback(capture.width, capture.height);
    MovieWriter writer;
    std::string error;
    if (movie) {
        // The writer reads it until close(); the start-up's decode fills it.
        static std::vector<int16_t> keptMusic;
        std::string why;
        if (!platformTakeMusic(musicFile.c_str(), keptMusic, why))
            std::fprintf(stderr, "%s; the movie gets no sound\n", why.c_str());
        MovieOptions options;
        options.crf = request.crf;
        options.fromSeconds = request.from;
        if (!writer.open(output.c_str(), readback.width(), readback.height(), fps, keptMusic,
                         static_cast<int>(frameMilliseconds(request.from, fps, 0)), error,
                         options)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    } else {
        std::error_code failure;
        std::filesystem::create_directories(output, failure);
        if (failure || !std::filesystem::is_directory(output)) {
            std::fprintf(stderr, "%s: cannot create the frame folder: %s\n", output.c_str(),
                         failure ? failure.message().c_str() : "not a folder");
            return 1;
        }
    }

    bool ok = true;
    int64_t written = 0;
    std::string path;
    char name[32];
    // The writer copies each frame straight from the mapped buffer, turning it upright.
    auto deliver = [&](bool latest) {
        bool readBack = false;
        if (movie) {
            readBack = readback.takeInto(latest, [&](const uint8_t* bottomFirst) {
                ok = writer.writeFrame(bottomFirst, true) && ok;
                return true;
            });
        } else if (const uint8_t* rgb = readback.take(latest)) {
            readBack = true;
            std::snprintf(name, sizeof name, "/frame%05lld.png", static_cast<long long>(written));
            path.assign(output).append(name);
            ok = writeFramePng(path, rgb, readback.width(), readback.height()) && ok;
        }
        if (!readBack) {
            ok = false;
            std::fprintf(stderr, "\n%s: frame %lld could not be read back\n", output.c_str(),
                         static_cast<long long>(written));
            return;
        }
        ++written;
    };

    const auto began = std::chrono::steady_clock::now();
    auto lastReport = began - std::chrono::seconds(1);
    primeClips(fps, frameMilliseconds(request.from, fps, 0));
    for (int64_t k = 0; k < total && ok; ++k) {
        const int64_t ms = frameMilliseconds(request.from, fps, k);
        drawOfflineFrame(ms);
        readback.request();
        if (k > 0) deliver(false);
        const auto now = std::chrono::steady_clock::now();
        if (now - lastReport >= std::chrono::milliseconds(250) || k + 1 == total) {
            lastReport = now;
            printProgress(k + 1, total, sceneIndexAt(demoSeconds(ms)),
                          std::chrono::duration<double>(now - began).count());
        }
    }
    if (ok) deliver(true);
    std::fprintf(stderr, "\n");
    platformSetMillisecondSource(nullptr);

    if (movie && !writer.close(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (!ok) return 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::fprintf(stderr, "%s: %lld frames in %.1f s\n", output.c_str(),
                 static_cast<long long>(written), seconds);
    return 0;
}

int renderStill(double seconds, const char* pngPath) {
    const int64_t ms = std::llround(seconds * 1000.0);
    if (sceneIndexAt(demoSeconds(ms)) == 0) {
        std::fprintf(stderr, "%s: %g s is after the end of the production\n", pngPath, seconds);
        return 1;
    }
    constexpr int kStillFps = 60;
    primeClips(kStillFps, ms);
    drawOfflineFrame(ms);
    platformSetMillisecondSource(nullptr);
    Readback readback(capture.width, capture.height);
    readback.request();
    const uint8_t* rgb = readback.take(true);
    if (!rgb) {
        std::fprintf(stderr, "%s: the frame could not be read back\n", pngPath);
        return 1;
    }
    return writeFramePng(pngPath, rgb, readback.width(), readback.height()) ? 0 : 1;
}

int joinMovies(const char* output, const std::vector<const char*>& parts) {
    std::vector<int16_t> music;
    std::string error;
    if (!platformTakeMusic(musicFile.c_str(), music, error))
        std::fprintf(stderr, "%s; the movie gets no sound\n", error.c_str());
    int64_t frames = 0;
    if (!platformJoinMovies(output, parts, music, frames, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%s: %lld frames from %zu parts\n", output,
                 static_cast<long long>(frames), parts.size());
    return 0;
}

namespace {

struct BenchRow {
    const char* name;
    std::vector<double> ms;  // frame times
    double median = 0, p95 = 0;
    double ratio = 0;        // median over the median of the floor frames drawn beside it
};

void summarise(BenchRow& row) {
    std::vector<double> sorted = row.ms;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    row.median = n % 2 ? sorted[n / 2] : 0.5 * (sorted[n / 2 - 1] + sorted[n / 2]);
    row.p95 = sorted[std::min(n - 1, static_cast<size_t>(std::ceil(0.95 * n)) - 1)];
}

// Peak resident memory of the process in MiB, 0 where /proc does not say.
double peakMemoryMiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return 0;
    char line[256];
    double kib = 0;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::atof(line + 6);
    }
    std::fclose(status);
    return kib / 1024.0;
}

template <typename Draw>
double timedFrame(Draw draw) {
    const auto start = std::chrono::steady_clock::now();
    draw();
    glFinish();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    // Field 22 is the start time in clock ticks after boot; the command name (field 2)
    // has no spaces for this program.
    for (int i = 0; i < 22 && stat >> field;) ++i;
    std::ifstream uptime("/proc/uptime");
    double now = 0;
    if (!(uptime >> now) || field.empty()) return 0;
    return now - std::stod(field) / double(sysconf(_SC_CLK_TCK));
}

int runBenchmark(bool csv) {
    constexpr int kFrames = 60;
    constexpr int kStillFps = 60;
    constexpr int64_t kEndMs = 159000;

    // Each scene's window, from the schedule itself.
    int64_t first[9], last[9];
    std::fill(first, first + 9, -1);
    std::fill(last, last + 9, -1);
    for (int64_t ms = 0; ms < kEndMs; ++ms) {
        const int scene = sceneIndexAt(demoSeconds(ms));
        if (scene < 1 || scene > 8) continue;
        if (first[scene] < 0) first[scene] = ms;
        last[scene] = ms;
    }
    auto frameTime = [&](int scene, int i) {
        const double span = static_cast<double>(last[scene] - first[scene]);
        return first[scene] + std::llround(span * (i + 0.5) / kFrames);
    };

    // The first frame after start-up, as a play from 0 s would draw it.
    primeClips(kStillFps, 0);
    timedFrame([] { drawOfflineFrame(0); });
    const double startUpTotal = secondsSinceProcessStart() * 1000.0;

    // Floor frames alternate with every scene's frames, and each scene is compared with
    // the floor frames drawn beside it: a burst of load on this shared machine then
    // slows both sides of a ratio alike. The floor row holds all of them.
    std::vector<BenchRow> rows;
    rows.reserve(9);
    rows.push_back({"floor", {}, 0, 0});
    std::vector<double> floorBeside[9];
    for (int scene = 1; scene <= 8; ++scene) {
        rows.push_back({sceneName(scene), {}, 0, 0});
        if (first[scene] < 0) continue;
        primeClips(kStillFps, frameTime(scene, 0));
        for (int i = 0; i < kFrames; ++i) {
            const float floorTime = demoSeconds(frameTime(1, i));
            floorBeside[scene].push_back(timedFrame([floorTime] { drawFloorFrame(floorTime); }));
            const int64_t ms = frameTime(scene, i);
            rows.back().ms.push_back(timedFrame([ms] { drawOfflineFrame(ms); }));
        }
        rows[0].ms.insert(rows[0].ms.end(), floorBeside[scene].begin(), floorBeside[scene].end());
    }
    platformSetMillisecondSource(nullptr);

    for (BenchRow& row : rows) {
        if (!row.ms.empty()) summarise(row);
    }
    rows[0].ratio = 1.0;
    for (int scene = 1; scene <= 8; ++scene) {
        if (floorBeside[scene].empty()) continue;
        BenchRow floor{"", floorBeside[scene], 0, 0};
        summarise(floor);
        rows[scene].ratio = floor.median > 0 ? rows[scene].median / floor.median : 0.0;
    }
    if (csv) {
        std::printf("scene,frames,median_ms,p95_ms,fps,ratio_to_floor\n");
        for (const BenchRow& row : rows)
            std::printf("%s,%zu,%.2f,%.2f,%.1f,%.2f\n", row.name, row.ms.size(), row.median,
                        row.p95, row.median > 0 ? 1000.0 / row.median : 0.0, row.ratio);
        std::fprintf(stderr, "start-up to first frame: %.0f ms\npeak memory (VmHWM): %.1f MiB\n",
                     startUpTotal, peakMemoryMiB());
    } else {
        std::printf("%-12s %6s %10s %10s %8s %8s\n", "scene", "frames", "median ms", "p95 ms",
                    "fps", "x floor");
        for (const BenchRow& row : rows)
            std::printf("%-12s %6zu %10.2f %10.2f %8.1f %8.2f\n", row.name, row.ms.size(),
                        row.median, row.p95, row.median > 0 ? 1000.0 / row.median : 0.0,
                        row.ratio);
        std::printf("start-up to first frame: %.0f ms\n", startUpTotal);
        std::printf("peak memory (VmHWM): %.1f MiB\n", peakMemoryMiB());
    }
    return 0;
}
