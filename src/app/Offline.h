// The offline modes: rendering on a frame clock instead of the music, independent of
// the machine's speed. Each expects the hidden window and startUp() done, and returns
// the process exit status.
#pragma once

#include <cstdint>

struct RenderRequest {
    const char* output = nullptr;  // .mp4 / .mkv: a movie with music; otherwise a folder
    int fps = 60;
    double from = 0.0;             // demo seconds of frame 0
    double to = 159.0;             // demo seconds where the output ends (exclusive)
};

int renderOffline(const RenderRequest& request);
// One still at `seconds`, the same picture as that frame of a 60 fps render.
int renderStill(double seconds, const char* pngPath);
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
