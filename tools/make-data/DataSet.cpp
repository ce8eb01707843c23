#include "DataSet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const DataJob* dataJobs(size_t& count) {
    static const DataJob jobs[] = {
        {"music", makeMusic}, {"clips", makeClips}, {"sky", makeSky},
        {"textures", makeTextures}, {"models", makeModels}, {"materials", makeMaterials},
        {"text.bin", makeTextBitmap},
    };
    count = sizeof(jobs) / sizeof(jobs[0]);
    return jobs;
}

bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
