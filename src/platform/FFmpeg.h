// What the media code shares: FFmpeg set-up, error texts and clean-up after failed writes.
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
