// The generators of the data folder. Each job writes one file into the output folder and is a pure function of nothing but the code, so two runs
// give byte-identical folders. Jobs share no state and may run on separate threads.
#pragma once

#include <cstddef>
#include <string>

struct DataJob {
    const char* name;  // the file, as --verbose reports it
    // Writes its files under `dir`; on failure fills `error` naming the file and the problem.
    bool (*make)(const std::string& dir, std::string& error);
};

// Every job, the slowest first so that two threads finish close together.
const DataJob* dataJobs(size_t& count);

// Replaces the file at `path` with `size` bytes.
bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error);

bool makeMusic(const std::string& dir, std::string& error);
bool makeDanceClip(const std::string& dir, std::string& error);
bool makePendulumClip(const std::string& dir, std::string& error);
bool makeWhiskClip(const std::string& dir, std::string& error);
bool makeLoadingTexture(const std::string& dir, std::string& error);
bool makeRistiTexture(const std::string& dir, std::string& error);
bool makeOverlayTexture(const std::string& dir, std::string& error);
bool makeSkyFace(const std::string& dir, int face, std::string& error);  // face 0..5
bool makePuolipalloModel(const std::string& dir, std::string& error);
bool makeLaserModel(const std::string& dir, std::string& error);
bool makeTestMaterial(const std::string& dir, std::string& error);
bool makeShowNormalsMaterial(const std::string& dir, std::string& error);
bool makeInvertMaterial(const std::string& dir, std::string& error);
bool makeTextBitmap(const std::string& dir, std::string& error);

// The desktop icon, a 256 x 256 RGBA PNG written to `path`.
bool makeIcon(const std::string& path, std::string& error);

// Tiny clips (MJPEG, one frame, NTSC rate, audio only) and pictures (PNG and JPEG in
// every channel layout) under dir/clip, dir/png and dir/jpeg.
bool makeFuzzSeeds(const std::string& dir, std::string& error);
