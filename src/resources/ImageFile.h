// PNG and JPEG reading, PNG writing. Samples are 8-bit R, G, B, A; with flip true the
// bottom row comes first (OpenGL's order). Failures are reported on stderr.
#pragma once

#include <cstdint>

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;       // 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    int bytesPerPixel = 0;  // equal to channels
    int rowBytes = 0;
    uint8_t* pixels = nullptr;  // height * rowBytes bytes, new[]; the receiver delete[]s it
};

int load_image(const char* path, Image& image, bool flip);
int read_png(const char* path, Image& image, bool flip);
int read_jpeg(const char* path, Image& image, bool flip);
void flip_image(Image& image, bool vertical, bool horizontal);
void make_image(Image& image, int width, int height, int channels);
void write_png(const char* path, Image image);
