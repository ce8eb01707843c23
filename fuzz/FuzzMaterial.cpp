#include "FuzzSupport.h"
#include "MaterialManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeFuzzInput(data, size, ".txt");
    try {
        MaterialSource source = readMaterialFile(path);
        (void)source;
    } catch (const FuzzFatal&) {
    }
    return 0;
}
