// The generators of the data folder. Each job writes one file or one family of files
// into the output folder and is a pure function of nothing but the code, so two runs
// give byte-identical folders. Jobs share no state and may run on separate threads.
#pragma once

#include <cstddef>
#include <string>

struct DataJob {
    const char* name;  // what --verbose reports
    // Writes its files under `dir`; on failure fills `error` naming the file and the problem.
    bool (*make)(const std::string& dir, std::string& error);
};

// Every job, the slowest first so that two threads finish close together.
const DataJob* dataJobs(size_t& count);

// Replaces the file at `path` with `size` bytes.
bool writeWholeFile(const std::string& path, const void* data, size_t size, std::string& error);

bool makeMusic(const std::string& dir, std::string& error);
bool makeClips(const std::string& dir, std::string& error);
bool makeTextures(const std::string& dir, std::string& error);
bool makeSky(const std::string& dir, std::string& error);
bool makeModels(const std::string& dir, std::string& error);
bool makeMaterials(const std::string& dir, std::string& error);
bool makeTextBitmap(const std::string& dir, std::string& error);
