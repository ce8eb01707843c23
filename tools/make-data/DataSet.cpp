#include "DataSet.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

const DataJob* dataJobs(size_t& count) {
    using Error = std::string&;
    using Dir = const std::string&;
    static const DataJob jobs[] = {
        {"sorvan.mp3", makeMusic},
        {"dance.avi", makeDanceClip},
        {"heilu.avi", makePendulumClip},
        {"vispi.avi", makeWhiskClip},
        {"risti.png", makeRistiTexture},
        {"overlay.png", makeOverlayTexture},
        {"loading.png", makeLoadingTexture},
        {"sky_c00.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 0, error); }},
        {"sky_c01.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 1, error); }},
        {"sky_c02.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 2, error); }},
        {"sky_c03.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 3, error); }},
        {"sky_c04.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 4, error); }},
        {"sky_c05.jpg", [](Dir dir, Error error) { return makeSkyFace(dir, 5, error); }},
        {"puolipallo.aml", makePuolipalloModel},
        {"laser.aml", makeLaserModel},
        {"materials/test.mat", makeTestMaterial},
        {"materials/show_normals.mat", makeShowNormalsMaterial},
        {"materials/pp_invert.mat", makeInvertMaterial},
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
