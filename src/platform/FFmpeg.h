// What the FFmpeg-based media code shares: library set-up and error texts.
// Internal to src/platform.
#pragma once

#include <string>

// Keeps FFmpeg's console chatter to real errors; safe to call from every entry point.
void ffmpegQuietLogs();

// The library's text for an AVERROR code.
std::string ffmpegErrorText(int code);

// Removes what a failed writer left behind, but only a plain file: a device or pipe
// given as the output (/dev/null, /dev/full) stays.
void removePartialFile(const char* path);
