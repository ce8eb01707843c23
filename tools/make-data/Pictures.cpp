#include "Pictures.h"

#include "resources/ImageFile.h"

#include <algorithm>
#include <vector>

bool savePng(const Canvas& canvas, int channels, const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes = canvas.bytes(channels);
    Image image;
    image.width = canvas.width();
    image.height = canvas.height();
    image.channels = image.bytesPerPixel = channels;
    image.rowBytes = canvas.width() * channels;
    image.pixels = bytes.data();
    if (!write_png(path.c_str(), image)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool saveJpeg(const Canvas& canvas, int quality, const std::string& path, std::string& error) {
    std::vector<uint8_t> bytes = canvas.bytes(3);
    Image image;
    image.width = canvas.width();
    image.height = canvas.height();
    image.channels = image.bytesPerPixel = 3;
    image.rowBytes = canvas.width() * 3;
    image.pixels = bytes.data();
    if (!write_jpeg(path.c_str(), image, quality)) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

float smoothStep(float edge0, float edge1, float x) {
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
