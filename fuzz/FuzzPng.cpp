#include "FuzzSupport.h"
#include "resources/ImageFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzImageReader(read_png, data, size, ".png");
}
