#include "FuzzSupport.h"
#include "models/Model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzInput(data, size, ".aml", [](const std::string& path) {
        Model model;
        readAml(model, path.c_str());
    });
}
