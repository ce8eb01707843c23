// Shared FFmpeg set-up for the music, clip and encoder code.
#include "platform/FFmpeg.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdio>
#include <mutex>
#include <sys/stat.h>

void ffmpegQuietLogs() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void removePartialFile(const char* path) {
    struct stat info;
    if (stat(path, &info) == 0 && S_ISREG(info.st_mode)) std::remove(path);
}
