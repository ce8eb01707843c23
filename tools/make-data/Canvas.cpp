#include "Canvas.h"

#include <algorithm>
#include <cmath>

Canvas::Canvas(int width, int height, Colour fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

Colour mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

void Canvas::blend(int x, int y, Colour colour, float coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0.0f) return;
    Colour& p = at(x, y);
    p = mix(p, colour, std::min(coverage, 1.0f) * colour.a);
}

void Canvas::fillDisc(float cx, float cy, float radius, Colour colour) {
    stroke(cx, cy, cx, cy, radius * 2.0f, colour);
}

void Canvas::stroke(float x0, float y0, float x1, float y1, float width, Colour colour) {
    const float radius = width * 0.5f;
    const int left = static_cast<int>(std::floor(std::min(x0, x1) - radius - 1));
    const int right = static_cast<int>(std::ceil(std::max(x0, x1) + radius + 1));
    const int top = static_cast<int>(std::floor(std::min(y0, y1) - radius - 1));
    const int bottom = static_cast<int>(std::ceil(std::max(y0, y1) + radius + 1));
    const float dx = x1 - x0, dy = y1 - y0;
    const float lengthSquared = dx * dx + dy * dy;
    for (int y = std::max(top, 0); y <= std::min(bottom, height_ - 1); ++y) {
        for (int x = std::max(left, 0); x <= std::min(right, width_ - 1); ++x) {
            // Pixel centres sit at +0.5; coverage ramps over one pixel across the edge.
            const float px = x + 0.5f - x0, py = y + 0.5f - y0;
            float t = lengthSquared > 0 ? (px * dx + py * dy) / lengthSquared : 0.0f;
            t = std::clamp(t, 0.0f, 1.0f);
            const float ex = px - t * dx, ey = py - t * dy;
            const float distance = std::sqrt(ex * ex + ey * ey);
            blend(x, y, colour, radius + 0.5f - distance);
        }
    }
}

std::vector<uint8_t> Canvas::bytes(int channels) const {
    std::vector<uint8_t> out(pixels_.size() * channels);
    auto quantise = [](float v) {
        return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    size_t o = 0;
    for (const Colour& p : pixels_) {
        if (channels == 1) {
            out[o++] = quantise(0.299f * p.r + 0.587f * p.g + 0.114f * p.b);
            continue;
        }
        out[o++] = quantise(p.r);
        out[o++] = quantise(p.g);
        out[o++] = quantise(p.b);
        if (channels == 4) out[o++] = quantise(p.a);
    }
    return out;
}
