// Float RGB(A) pictures with anti-aliased discs, strokes and masks, for the generated
// artwork. Rows are stored top row first; components run 0..1 and are clamped on export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};

class Canvas {
public:
    Canvas(int width, int height, Colour fill);

    int width() const { return width_; }
    int height() const { return height_; }
    Colour& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Colour& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // Mixes `colour` into one pixel with weight `coverage` (0..1); outside pixels are ignored.
    void blend(int x, int y, Colour colour, float coverage);
    void fillDisc(float cx, float cy, float radius, Colour colour);
    // A segment with round ends, `width` pixels across.
    void stroke(float x0, float y0, float x1, float y1, float width, Colour colour);
    // 8-bit samples, top row first, `channels` 1 (luma), 3 or 4.
    std::vector<uint8_t> bytes(int channels) const;

private:
    int width_;
    int height_;
    std::vector<Colour> pixels_;
};

// Mixes two colours: t = 0 gives a, 1 gives b.
Colour mix(Colour a, Colour b, float t);
