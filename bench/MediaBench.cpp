// Media costs: the music decode at start-up, a clip frame as AviTexture asks for it
// (the next one, or after a jump), and the offline renderer's movie frame. Inputs are
// made on the fly in a temporary folder.
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string scratchFile(const char* name) {
    static const std::string dir = [] {
        char pattern[] = "/tmp/vornekka-bench-XXXXXX";
        const char* made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return dir + "/" + name;
}

// A busy picture: gradients and a moving block, so the codecs have work to do.
std::vector<uint8_t> picture(int width, int height, int frame) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(x + frame * 3);
            p[1] = uint8_t(y * 2 - frame);
            p[2] = uint8_t((x ^ y) + frame);
            if (std::abs(x - (frame * 7) % width) < 20 && std::abs(y - height / 2) < 20)
                p[0] = p[1] = p[2] = 0;
        }
    return rgb;
}

const std::vector<int16_t>& song() {
    static const std::vector<int16_t> pcm = [] {
        std::vector<int16_t> out(size_t(44100) * 160 * 2);
        for (size_t i = 0; i < out.size() / 2; ++i) {
            const double t = double(i) / 44100;
            out[i * 2] = int16_t(6000 * std::sin(t * 2 * 3.14159 * (220 + 40 * std::sin(t))));
            out[i * 2 + 1] = int16_t(6000 * std::sin(t * 2 * 3.14159 * 330));
        }
        return out;
    }();
    return pcm;
}

const std::string& songFile() {
    static const std::string path = [] {
        std::string file = scratchFile("song.mp3"), error;
        if (!platformEncodeMp3(file.c_str(), song(), 192, error)) std::abort();
        return file;
    }();
    return path;
}

const std::string& clipFile() {
    static const std::string path = [] {
        std::string file = scratchFile("clip.avi"), error;
        AviWriter writer;
        if (!writer.open(file.c_str(), 320, 240, 25, error)) std::abort();
        for (int i = 0; i < 100; ++i) writer.writeFrame(picture(320, 240, i).data());
        if (!writer.close(error)) std::abort();
        return file;
    }();
    return path;
}

void BM_EncodeMusic160s(benchmark::State& state) {
    song();
    for (auto _ : state) {
        std::string error;
        if (!platformEncodeMp3(scratchFile("again.mp3").c_str(), song(), 192, error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_EncodeMusic160s)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_DecodeMusic160s(benchmark::State& state) {
    songFile();
    std::vector<int16_t> pcm;
    for (auto _ : state) {
        std::string error;
        if (!platformDecodeAudio(songFile().c_str(), 44100, 2, pcm, error))
            state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_DecodeMusic160s)->Unit(benchmark::kMillisecond)->Iterations(3);

// 320 x 240 MJPEG into the 256 x 128 texture: the next frame, or one 37 frames on.
void BM_ClipFrame(benchmark::State& state) {
    VideoDecoder clip;
    std::string error;
    if (!clip.open(clipFile().c_str(), error)) std::abort();
    std::vector<uint8_t> bgr(256 * 128 * 3);
    const int step = int(state.range(0));
    int index = 0;
    for (auto _ : state) {
        index = (index + step) % clip.frameCount();
        if (!clip.decodeFrame(index, bgr.data(), 256, 128)) state.SkipWithError("decode");
    }
}
BENCHMARK(BM_ClipFrame)->Arg(1)->Arg(37)->Unit(benchmark::kMicrosecond);

// What the renderer waits for per 800 x 600 frame once the encoder thread is busy.
void BM_MovieFrame800x600(benchmark::State& state) {
    const std::vector<uint8_t> rgb = picture(800, 600, 5);
    MovieWriter movie;
    std::string error;
    if (!movie.open(scratchFile("movie.mp4").c_str(), 800, 600, 60, song(), 0, error))
        std::abort();
    for (auto _ : state) movie.writeFrame(rgb.data());
    if (!movie.close(error)) state.SkipWithError(error.c_str());
}
BENCHMARK(BM_MovieFrame800x600)->Unit(benchmark::kMillisecond)->Iterations(120);

}  // namespace
