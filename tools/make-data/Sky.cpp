// The cube map "sky": six JPEG faces, sky_c00 .. sky_c05 in the order +X, -X, +Y, -Y,
// +Z, -Z. Every texel is coloured from its direction, so the faces meet without seams.
#include "DataSet.h"
#include "Pictures.h"
#include "core/Vec3.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr int kFace = 128;

// The direction of a texel of a face. (s, t) run 0..1; t = 1 is the file's top row,
// since the loader turns rows bottom-up before uploading.
Vec3 faceDirection(int face, float s, float t) {
    const float sc = 2 * s - 1, tc = 2 * t - 1;
    switch (face) {
        case 0: return {1, -tc, -sc};
        case 1: return {-1, -tc, sc};
        case 2: return {sc, 1, tc};
        case 3: return {sc, -1, -tc};
        case 4: return {sc, -tc, 1};
        default: return {-sc, -tc, -1};
    }
}

// Sparse stars from a hash of the direction quantised to small cells.
float starLight(const Vec3& d) {
    const int cells = 90;
    const int32_t ix = static_cast<int32_t>(std::floor(d.x * cells));
    const int32_t iy = static_cast<int32_t>(std::floor(d.y * cells));
    const int32_t iz = static_cast<int32_t>(std::floor(d.z * cells));
    uint32_t h = static_cast<uint32_t>(ix) * 73856093u ^ static_cast<uint32_t>(iy) * 19349663u ^
                 static_cast<uint32_t>(iz) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h % 97u == 0) ? 0.4f + (h >> 24) / 255.0f * 0.6f : 0.0f;
}

Colour skyColour(Vec3 d) {
    d.normalize();
    const Colour zenith = {0.05f, 0.07f, 0.25f, 1};
    const Colour horizon = {0.85f, 0.45f, 0.55f, 1};
    const Colour below = {0.03f, 0.02f, 0.06f, 1};
    Colour c = d.y >= 0 ? mix(horizon, zenith, smoothStep(0.0f, 0.55f, d.y))
                        : mix(horizon, below, smoothStep(0.0f, 0.12f, -d.y));
    const float star = d.y > 0.15f ? starLight(d) : 0.0f;
    c = mix(c, {1, 1, 1, 1}, star);
    // A low sun with a wide halo.
    const Vec3 sun = Vec3(0.55f, 0.12f, -0.83f).normalized();
    const float facing = std::max(0.0f, d.dot(sun));
    c = mix(c, {1.0f, 0.85f, 0.6f, 1}, std::pow(facing, 400.0f) + 0.35f * std::pow(facing, 12.0f));
    return c;
}

}  // namespace

bool makeSkyFace(const std::string& dir, int face, std::string& error) {
    Canvas canvas(kFace, kFace, {0, 0, 0, 1});
    for (int y = 0; y < kFace; ++y) {
        for (int x = 0; x < kFace; ++x) {
            const float s = (x + 0.5f) / kFace, t = 1.0f - (y + 0.5f) / kFace;
            canvas.at(x, y) = skyColour(faceDirection(face, s, t));
        }
    }
    return saveJpeg(canvas, 90, dir + "/sky_c0" + std::to_string(face) + ".jpg", error);
}
