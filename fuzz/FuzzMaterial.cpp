#include "FuzzSupport.h"
#include "materials/MaterialManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzInput(data, size, ".txt",
                     [](const std::string& path) { (void)readMaterialFile(path); });
}
