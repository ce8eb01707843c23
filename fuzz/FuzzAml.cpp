#include "FuzzSupport.h"
#include "Model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeFuzzInput(data, size, ".aml");
    Model model;
    try {
        readAml(model, path.c_str());
    } catch (const FuzzFatal&) {
    }
    return 0;
}
