// PNG and JPEG reading, PNG and JPEG writing. Samples are 8-bit R, G, B, A; with flip
// true the bottom row comes first (OpenGL's order). Failures are reported on stderr
// with the file's name and returned to the caller; nothing here ends the process.
// Readable: every valid PNG (palettes, 1 to 16 bits and transparency chunks become
// 8-bit grey, grey+alpha, RGB or RGBA) and 8-bit grey or colour JPEG.
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

// 0 on success, -1 on failure. On failure `image` is left as it was.
int load_image(const char* path, Image& image, bool flip);
int read_png(const char* path, Image& image, bool flip);
int read_jpeg(const char* path, Image& image, bool flip);
void flip_image(Image& image, bool vertical, bool horizontal);
// Sizes and a new, uninitialised buffer; an earlier buffer is not freed.
void make_image(Image& image, int width, int height, int channels);
// The buffer's first row becomes the file's top row. 1, 2, 3 or 4 channels.
// Returns false after reporting a failure; a partly written file is removed.
bool write_png(const char* path, Image image);
// Grey (1 channel) or RGB (3 channels); quality 1 to 100.
bool write_jpeg(const char* path, const Image& image, int quality);
