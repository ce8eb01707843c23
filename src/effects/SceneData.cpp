// The shared stereo camera, the two line-field curves and the text bitmap. The curves
// advance 5 units along x per point, B 30 units ahead of A.
#include "effects/SceneData.h"

#include "core/Fatal.h"
#include "effects/Camera.h"
#include "resources/DataFolder.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

StereoCamera* sharedCamera = nullptr;
Vec3 curveA[2000];
Vec3 curveB[2000];
unsigned char textBitmap[16000];

void buildCurves(Vec3* a, Vec3* b, int count) {
    const double wobbleB = 60.0 * std::sin(0.2);
    for (int i = 0; i < count; ++i) {
        const double x0 = -130.0 + 5.0 * i;
        a[i] = Vec3(static_cast<float>(x0 + 50.0 * std::sin(0.1 * i)),
                    static_cast<float>(20.0 * std::sin(0.03 * i) * std::cos(0.2 * i) +
                                       std::sin(0.31 * i) * std::cos(0.2 * i)),
                    static_cast<float>(75.0 * std::sin(0.14 * i) * std::cos(0.25 * i)));
        b[i] = Vec3(static_cast<float>(x0 + 30.0 + wobbleB * std::cos(0.12 * i)),
                    static_cast<float>(20.0 * std::cos(0.13 * i) * std::sin(0.1 * i) +
                                       std::cos(0.3 * i)),
                    static_cast<float>(75.0 * std::cos(0.04 * i) * std::sin(0.15 * i)));
    }
}

void loadTextBitmap(const char* path, unsigned char* bitmap, size_t size) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) fatalError("Could not open %s: %s", path, std::strerror(errno));
    // A short file fills only the beginning; the rest keeps what it held (zero at start-up).
    size_t got = std::fread(bitmap, 1, size, file);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) fatalError("Could not read %s (%zu bytes read)", path, got);
}

void setupSceneData() {
    if (!sharedCamera) sharedCamera = new StereoCamera();
    buildCurves(curveA, curveB, 2000);
    loadTextBitmap(dataPath("text.bin").c_str(), textBitmap, sizeof textBitmap);
}
