// The flat textures: "loading" (the word in our pixel font, on a picture whose width is
// not a power of two), "risti" (a seamless tile of crosses) and "overlay" (RGBA).
#include "DataSet.h"
#include "Pictures.h"
#include "PixelFont.h"

#include <algorithm>
#include <cmath>

namespace {

// 240 x 256: stored in a 256 x 256 texture, so the loader's padding path runs.
Canvas drawLoading() {
    Canvas canvas(240, 256, {0, 0, 0, 1});
    const int scale = 4;
    const TextMask word = renderText("loading", scale);
    const int left = (canvas.width() - word.width) / 2;
    const int top = (canvas.height() - word.height) / 2 - 8;
    for (int y = 0; y < word.height; ++y) {
        // Pale at the top of the letters, a cool blue at their feet.
        const Colour colour = mix({1.0f, 1.0f, 1.0f, 1}, {0.45f, 0.55f, 1.0f, 1},
                                  static_cast<float>(y) / word.height);
        for (int x = 0; x < word.width; ++x) {
            if (word.at(x, y)) canvas.blend(left + x, top + y, colour, 1.0f);
        }
    }
    // A row of dots under the word, fading out to the right.
    for (int i = 0; i < 9; ++i) {
        const float x = left + 6.0f + i * (word.width - 12.0f) / 8.0f;
        canvas.fillDisc(x, top + word.height + 22.0f, 3.2f, {0.6f, 0.7f, 1.0f, 1.0f - i * 0.1f});
    }
    return canvas;
}

// Signed distance from (x, y) to a plus sign centred at the origin.
float crossDistance(float x, float y, float arm, float halfWidth) {
    auto box = [](float px, float py, float hx, float hy) {
        const float dx = std::fabs(px) - hx, dy = std::fabs(py) - hy;
        const float outside = std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
        return outside + std::min(std::max(dx, dy), 0.0f);
    };
    return std::min(box(x, y, arm, halfWidth), box(x, y, halfWidth, arm));
}

// Wraps a coordinate difference into -size/2 .. size/2, so the tile repeats seamlessly.
float wrapped(float d, float size) { return d - size * std::round(d / size); }

Canvas drawRisti() {
    const int size = 256;
    Canvas canvas(size, size, {0, 0, 0, 1});
    const Colour ground = {0.10f, 0.11f, 0.16f, 1};
    const Colour big = {0.95f, 0.95f, 1.0f, 1};
    const Colour small = {0.55f, 0.60f, 0.85f, 1};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            const float centre = crossDistance(wrapped(px - size / 2.0f, size),
                                               wrapped(py - size / 2.0f, size), 80, 14);
            const float corner = crossDistance(wrapped(px, size), wrapped(py, size), 34, 7);
            // A faint grid line halfway between the crosses.
            const float line = std::min(std::fabs(wrapped(px - size / 4.0f, size / 2.0f)),
                                        std::fabs(wrapped(py - size / 4.0f, size / 2.0f)));
            Colour c = mix(ground, {0.2f, 0.22f, 0.32f, 1}, std::clamp(1.5f - line, 0.0f, 1.0f));
            c = mix(c, small, std::clamp(0.5f - corner, 0.0f, 1.0f));
            // The big cross glows a little beyond its edge.
            c = mix(c, big, std::clamp(0.5f - centre, 0.0f, 1.0f));
            c = mix(c, {0.4f, 0.45f, 0.8f, 1}, 0.35f * std::exp(-std::max(centre, 0.0f) / 6.0f) *
                                                   (centre > 0 ? 1.0f : 0.0f));
            canvas.at(x, y) = c;
        }
    }
    return canvas;
}

// A soft vignette with faint scan lines; transparent in the middle.
Canvas drawOverlay() {
    const int size = 256;
    Canvas canvas(size, size, {0, 0, 0, 0});
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float u = (x + 0.5f) / size * 2 - 1, v = (y + 0.5f) / size * 2 - 1;
            const float edge = smoothStep(0.55f, 1.35f, std::sqrt(u * u + v * v));
            const float scan = (y % 4 == 0) ? 0.08f : 0.0f;
            Colour& p = canvas.at(x, y);
            p = {0.02f, 0.02f, 0.05f, std::clamp(edge * 0.85f + scan, 0.0f, 1.0f)};
        }
    }
    return canvas;
}

}  // namespace

bool makeLoadingTexture(const std::string& dir, std::string& error) {
    return savePng(drawLoading(), 3, dir + "/loading.png", error);
}
bool makeRistiTexture(const std::string& dir, std::string& error) {
    return savePng(drawRisti(), 3, dir + "/risti.png", error);
}
bool makeOverlayTexture(const std::string& dir, std::string& error) {
    return savePng(drawOverlay(), 4, dir + "/overlay.png", error);
}
