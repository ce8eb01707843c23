#include "resources/DataFolder.h"

#include "core/Fatal.h"

#include <filesystem>
#include <system_error>

#ifndef VORNEKKA_DATA_FROM_BIN
#define VORNEKKA_DATA_FROM_BIN "../share/vornekka/data"  // the build sets the real layout
#endif

namespace fs = std::filesystem;

std::string dataFolder = "data";
const char* const installedDataFromBin = VORNEKKA_DATA_FROM_BIN;

std::string dataPath(const char* relative) { return dataFolder + "/" + relative; }

namespace {

bool isFolder(const fs::path& path) {
    std::error_code failure;
    return fs::is_directory(path, failure);
}

// Found through the executable rather than a compiled-in prefix, so an installed tree
// still works after it has been moved or unpacked elsewhere.
std::string installedFolder() {
    std::error_code failure;
    const fs::path self = fs::read_symlink("/proc/self/exe", failure);
    if (failure || self.empty()) return {};
    const fs::path folder = (self.parent_path() / installedDataFromBin).lexically_normal();
    return isFolder(folder) ? folder.string() : std::string();
}

}  // namespace

void chooseDataFolder(const char* given) {
    if (given) {
        std::string folder = given;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const char* const hint = "The data tool writes one: vornekka-make-data --output FOLDER.";
        std::error_code failure;
        if (!isFolder(folder)) {
            fatalError("The data folder \"%s\" %s. %s", folder.c_str(),
                       fs::exists(folder, failure) ? "is not a folder" : "does not exist", hint);
        }
        const bool empty = fs::is_empty(folder, failure);
        if (failure)
            fatalError("The data folder \"%s\" cannot be read: %s.", folder.c_str(),
                       failure.message().c_str());
        if (empty) fatalError("The data folder \"%s\" is empty. %s", folder.c_str(), hint);
        dataFolder = folder;
        return;
    }
    dataFolder = "data";
    if (isFolder(dataFolder)) return;
    const std::string installed = installedFolder();
    if (!installed.empty()) dataFolder = installed;
}
