#include "FuzzSupport.h"
#include "resources/ImageFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = writeFuzzInput(data, size, ".jpeg");
    try {
        Image image;
        if (read_jpeg(path.c_str(), image, size & 1) == 0) {
            // A decoded picture must be all there: AddressSanitizer checks both ends.
            const size_t bytes = size_t(image.height) * image.rowBytes;
            if (bytes) {
                volatile uint8_t first = image.pixels[0], last = image.pixels[bytes - 1];
                (void)first;
                (void)last;
            }
            delete[] image.pixels;
        }
    } catch (const FuzzFatal&) {
    }
    return 0;
}
