// make-data: writes the production's data folder (music, textures, models, materials,
// clips, text bitmap) from code. Existing files in the folder are replaced.
#include "DataSet.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

void printHelp() {
    std::printf(
        "usage: make-data [--output DIR] [--verbose] [--help]\n"
        "       make-data --fuzz-seeds DIR\n"
        "       make-data --icon FILE.png\n"
        "Writes the complete data folder of the demo: sorvan.mp3, the textures,\n"
        "the models, materials/*.mat, the three clips and text.bin.\n"
        "  --output DIR      folder to write (default \"data\"); created when missing,\n"
        "                    existing files are overwritten\n"
        "  --verbose         print the time each file took\n"
        "  --fuzz-seeds DIR  instead, write tiny clips and pictures for the fuzz targets\n"
        "                    and the bad-input tests into DIR/clip, DIR/png, DIR/jpeg\n"
        "  --icon FILE.png   instead, write the desktop icon (256 x 256 RGBA) to FILE.png\n"
        "  --help            this text\n");
}

struct JobResult {
    bool ok = false;
    std::string error;
    double seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::string dir = "data";
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            printHelp();
            return 0;
        } else if (!std::strcmp(argv[i], "--verbose") || !std::strcmp(argv[i], "-v")) {
            verbose = true;
        } else if (!std::strcmp(argv[i], "--output") || !std::strcmp(argv[i], "-o")) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "make-data: --output needs a folder\n");
                return 2;
            }
            dir = argv[++i];
        } else if (!std::strcmp(argv[i], "--fuzz-seeds") || !std::strcmp(argv[i], "--icon")) {
            const bool icon = !std::strcmp(argv[i], "--icon");
            if (i + 1 >= argc || !*argv[i + 1]) {
                std::fprintf(stderr, "make-data: %s needs a %s\n", argv[i],
                             icon ? "file name" : "folder");
                return 2;
            }
            std::string error;
            const char* target = argv[++i];
            if (!(icon ? makeIcon(target, error) : makeFuzzSeeds(target, error))) {
                std::fprintf(stderr, "make-data: %s\n", error.c_str());
                return 1;
            }
            return 0;
        } else {
            std::fprintf(stderr, "make-data: unknown argument '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }
    if (dir.empty()) {
        std::fprintf(stderr, "make-data: --output needs a folder\n");
        return 2;
    }

    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(dir) / "materials", ec);
    if (ec) {
        std::fprintf(stderr, "make-data: cannot create %s/materials: %s\n", dir.c_str(),
                     ec.message().c_str());
        return 1;
    }

    size_t count = 0;
    const DataJob* jobs = dataJobs(count);
    std::vector<JobResult> results(count);
    std::atomic<size_t> next{0};
    const auto started = std::chrono::steady_clock::now();
    auto worker = [&]() {
        for (size_t i = next++; i < count; i = next++) {
            const auto t0 = std::chrono::steady_clock::now();
            results[i].ok = jobs[i].make(dir, results[i].error);
            results[i].seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
    };
    const unsigned threads = std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();

    bool ok = true;
    for (size_t i = 0; i < count; ++i) {
        if (verbose) std::printf("%-28s %6.3f s\n", jobs[i].name, results[i].seconds);
        if (!results[i].ok) {
            std::fprintf(stderr, "make-data: %s\n", results[i].error.c_str());
            ok = false;
        }
    }
    if (verbose) {
        const double total =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%-28s %6.3f s\n", "total", total);
    }
    return ok ? 0 : 1;
}
