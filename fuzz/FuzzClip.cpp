#include "FuzzSupport.h"
#include "platform/Platform.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzInput(data, size, ".avi", [](const std::string& path) {
        VideoDecoder decoder;
        std::string error;
        if (!decoder.open(path.c_str(), error)) return;
        // Row stride of 24-bit BGR padded to 4 bytes, as the decoder writes it.
        const int width = 64, height = 64;
        std::vector<uint8_t> bgr(size_t((width * 3 + 3) & ~3) * height);
        decoder.decodeFrame(0, bgr.data(), width, height);
        if (decoder.frameCount() > 1)
            decoder.decodeFrame(decoder.frameCount() - 1, bgr.data(), width, height);
    });
}
