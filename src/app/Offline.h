// The offline modes: rendering on a frame clock instead of the music, independent of
// the machine's speed. Each expects the hidden window and startUp() done, and returns
// the process exit status.
#pragma once

#include <cstdint>
#include <vector>

struct RenderRequest {
    const char* output = nullptr;  // .mp4 / .mkv: a movie with music; otherwise a folder
    int fps = 60;
    double from = 0.0;             // demo seconds of frame 0
    double to = 159.0;             // demo seconds where the output ends (exclusive)
    int crf = 18;                  // H.264 quality of a movie
};

// Where the picture lies in a capture of width x height: the 800 x 600 picture drawn
// `scale` = min(width / 800, height / 600) times larger, centred between black bars.
struct CaptureLayout {
    int width = 800, height = 600;  // the whole capture
    float scale = 1.0f;
    int canvasX = 0, canvasY = 0, canvasWidth = 800, canvasHeight = 600;
};
CaptureLayout captureLayout(int width, int height);
// Before startUp(): the picture scale and the canvas the start-up projection sees.
void prepareCapture(const CaptureLayout& layout);
// After startUp(): a capture of another size than the window draws into a framebuffer
// of its own, the canvas centred in it.
void beginCapture();

int renderOffline(const RenderRequest& request);
// One still at `seconds`, the same picture as that frame of a 60 fps render.
int renderStill(double seconds, const char* pngPath);
// Joins movies rendered in adjoining parts into `output`: the pictures copied, the
// music encoded once for the whole stretch.
int joinMovies(const char* output, const std::vector<const char*>& parts);
// Frame times of every scene and of the bare stereo floor, start-up time, peak memory.
// The music must be open (its decode finished) before it runs: the start-up figure is
// the wait from process start to the first frame of the music.
int runBenchmark(bool csv);
// Seconds since the kernel started this process, dynamic linking included (10 ms steps).
double secondsSinceProcessStart();

// Demo milliseconds shown by frame k of a render starting at `from` seconds.
int64_t frameMilliseconds(double from, int fps, int64_t k);
// Puts the clips on the frame clock, and them and the GL state where an uninterrupted
// play from 0 s at `fps` has them, so that the frame at `ms` shows what that play
// shows there.
void primeClips(int fps, int64_t ms);
// Display name of scene 1..8.
const char* sceneName(int index);
