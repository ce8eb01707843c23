// Scene computations without GL: the lettering, sparks, lit segments, point clouds,
// flag heights, ring-stack placement and box depths.
#include "effects/SceneGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

// V O R N on the top row (y 1..5), E K K A below (y -4..0). Strokes that cannot be
// drawn in one line go back over a short piece of themselves.
const int kStrokePointCounts[kStrokeCount] = {6, 6, 8, 5, 7, 7, 6, 7};
const StrokePoint kStrokePoints[kStrokePointTotal] = {
    // V
    {-7, 5}, {-7, 4}, {-6, 1}, {-5, 1}, {-4, 4}, {-4, 5},
    // O, closed, starting at the middle of its top
    {-2, 5}, {-3, 5}, {-3, 1}, {-1, 1}, {-1, 5}, {-2, 5},
    // R: stem in two pieces, the bowl back to the stem, then the leg
    {0, 1}, {0, 3}, {0, 5}, {2, 5}, {3, 4}, {2, 3}, {0, 3}, {3, 1},
    // N
    {4, 1}, {4, 3}, {4, 5}, {7, 1}, {7, 5},
    // E, the middle bar out and back
    {-5, 0}, {-7, 0}, {-7, -2}, {-6, -2}, {-7, -2}, {-7, -4}, {-5, -4},
    // K: stem, the arm from low on the stem, the leg from the arm
    {-4, 0}, {-4, -2}, {-4, -4}, {-4, -3}, {-1, 0}, {-2, -1}, {-1, -4},
    // K
    {0, 0}, {0, -4}, {0, -3}, {3, 0}, {2, -1}, {3, -4},
    // A with a flat top and the bar drawn last
    {4, -4}, {4, -1}, {5, 0}, {6, -1}, {6, -4}, {6, -2}, {4, -2},
};

int strokeVisiblePoints(float t, int pointCount) {
    float shown = t - 3.5f;
    int visible = 0;
    while (visible < pointCount && shown > static_cast<float>(visible)) ++visible;
    return visible;
}

int sparkSegmentCount(float t, float startTime, int steps) {
    float h = std::trunc((t - startTime) * 22.222221f);
    if (!(h > 0.0f)) return 0;
    return h >= static_cast<float>(steps - 1) ? steps - 1 : static_cast<int>(h);
}

void sparkPoints(float sign, float phase, const Vec3& origin, int steps, Vec3* points) {
    Vec3 p = origin;
    points[0] = p;
    for (int o = 1; o < steps; ++o) {
        float angle = 0.6666667f * static_cast<float>(o) * sign + phase;
        float length = 50.0f / (1.5f * static_cast<float>(o) + 1.0f);
        float c = std::cos(angle), s = std::sin(angle);
        p += Vec3(c, s, s) * length;
        points[o] = p;
    }
}

bool fieldSegmentLit(float t, int n) {
    float s = 0.05f * static_cast<float>(n);
    return s < t && t < s + 5.0f;
}

void litFieldSegments(float t, int& first, int& last) {
    first = kFieldSegments;
    last = -1;
    for (int n = 0; n < kFieldSegments; ++n) {
        if (fieldSegmentLit(t, n)) {
            first = std::min(first, n);
            last = n;
        }
    }
}

void generatePointField(float size, int count, float* xyz) {
    std::srand(static_cast<unsigned>(static_cast<int>(size) * 1000));
    const float half = size * 0.5f;
    for (int i = 0; i < 3 * count; ++i) {
        int r = std::rand() & 0x7FFF;
        xyz[i] = -half + size * static_cast<float>(r) / 32767.0f;
    }
}

float puolipalloOffset(float t, float beatPulse) {
    return beatPulse * -7.5f - (t - 11.841f) * 1.7f;
}

FlagClip flagClipAt(float t) {
    // Single-precision bounds: the switch happens at the float nearest each time.
    if (t < 61.67f) return FlagClip::Heilu;
    if (t < 65.59f) return FlagClip::Dance;
    if (t < 69.33f) return FlagClip::Heilu;
    return FlagClip::Dance;
}

void flagHeights(float t, float* z) {
    // The wave is a product of a row term and a column term: 82 sines instead of 1681.
    float rowWave[kFlagSide], columnWave[kFlagSide];
    for (int i = 0; i < kFlagSide; ++i) {
        rowWave[i] = 20.0f * std::cos(0.2f * static_cast<float>(i) + 1.96f * t);
        columnWave[i] = std::sin(0.25f * static_cast<float>(i) + 3.4f * t);
    }
    for (int r = 0; r < kFlagSide; ++r) {
        for (int k = 0; k < kFlagSide; ++k) z[kFlagSide * r + k] = rowWave[r] * columnWave[k];
    }
}

const RingStackPlace kRingStackPlaces[kRingStacks] = {
    {0, -100},   {100, 200},  {300, -130}, {420, 420}, {204, -204},
    {145, -45},  {340, 340},  {456, -156}, {256, -256}, {450, -40},
};

void ringStackPosition(float t, int i, float& x, float& z) {
    const RingStackPlace& place = kRingStackPlaces[i];
    float d = 75.0f * (-3.0f * t);
    float u = d - place.depthOffset;
    float e = 700.0f * std::trunc(u * 0.0014285714f);
    x = place.x;
    z = (e - d) - (500.0f - place.depthOffset);
}

float boxWallTilt(float localTime) { return std::min(30.0f * localTime, 90.0f); }

void boxDepths(float localTime, const unsigned char* bitmap, float* depths) {
    const float growth = std::clamp(localTime - 3.0f, 0.0f, 4.0f) / 4.0f;
    const float scrollTime = std::max(localTime - 4.0f, 0.0f);
    // Past this point the window would read beyond the last row.
    const bool outside = 20.0f * scrollTime > 700.0f;
    const int scroll = outside ? 0 : static_cast<int>(22.0f * scrollTime);
    const float scale = growth * 0.2f;
    for (int r = 0; r < kBoxSide; ++r) {
        for (int k = 0; k < kBoxSide; ++k) {
            int byte = outside ? 0 : kBitmapWidth * r + k + scroll;
            depths[kBoxSide * kBoxSide - 1 - (kBoxSide * r + k)] = bitmap[byte] * scale;
        }
    }
}
