// The desktop icon: a "V" seen through red/cyan glasses, the red stroke left of the
// cyan one and white where they overlap, on a dark rounded square. 256 x 256 RGBA.
#include "DataSet.h"
#include "Pictures.h"

#include <algorithm>
#include <cmath>

namespace {

float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    const float dx = bx - ax, dy = by - ay;
    const float along = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
    const float t = std::clamp(along, 0.0f, 1.0f);
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// Coverage (0..1) of the letter's two strokes, 1 pixel of anti-aliasing at the edge.
float letterCoverage(float x, float y) {
    const float d = std::min(segmentDistance(x, y, 72, 66, 128, 196),
                             segmentDistance(x, y, 128, 196, 184, 66));
    return std::clamp(13.0f - d + 0.5f, 0.0f, 1.0f);
}

Canvas drawIcon() {
    const int size = 256;
    Canvas canvas(size, size, {0, 0, 0, 0});
    const float half = 118, radius = 44, shift = 9;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const float px = x + 0.5f, py = y + 0.5f;
            // Signed distance to the rounded square centred in the picture.
            const float qx = std::fabs(px - size / 2.0f) - (half - radius);
            const float qy = std::fabs(py - size / 2.0f) - (half - radius);
            const float box = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f)) +
                              std::min(std::max(qx, qy), 0.0f) - radius;
            const float inside = std::clamp(0.5f - box, 0.0f, 1.0f);
            if (inside <= 0) continue;
            const float red = letterCoverage(px + shift, py);
            const float cyan = letterCoverage(px - shift, py);
            // The ground darkens towards the bottom; the eyes' images add up.
            const float ground = 0.10f - 0.05f * py / size;
            canvas.at(x, y) = {std::min(1.0f, ground + red), std::min(1.0f, ground + cyan * 0.9f),
                               std::min(1.0f, ground + 0.03f + cyan), inside};
        }
    }
    return canvas;
}

}  // namespace

bool makeIcon(const std::string& path, std::string& error) {
    return savePng(drawIcon(), 4, path, error);
}
