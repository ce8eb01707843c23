// Per-frame CPU work of the flag, ground and box-wall scenes: the flag's wave, the ten
// ring-stack positions and the 400 box depths read from the text bitmap.
#include "effects/SceneGeometry.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

float frameTime(int64_t frame, float start, float length) {
    return start + length * static_cast<float>(frame % 1000) / 1000.0f;
}

void BM_FlagWave(benchmark::State& state) {
    std::vector<float> z(kFlagSide * kFlagSide);
    int64_t frame = 0;
    for (auto _ : state) {
        flagHeights(frameTime(frame++, 57.841f, 15.2f), z.data());
        benchmark::DoNotOptimize(z.data());
    }
}
BENCHMARK(BM_FlagWave);

void BM_RingStackPlaces(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 73.048f, 14.8f), sum = 0;
        for (int i = 0; i < kRingStacks; ++i) {
            float x, z;
            ringStackPosition(t, i, x, z);
            sum += x + z;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_RingStackPlaces);

void BM_BoxDepths(benchmark::State& state) {
    std::vector<unsigned char> bitmap(16000);
    for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<unsigned char>(i * 37);
    float depths[kBoxSide * kBoxSide];
    int64_t frame = 0;
    for (auto _ : state) {
        boxDepths(frameTime(frame++, 0.0f, 23.5f), bitmap.data(), depths);
        benchmark::DoNotOptimize(depths);
    }
}
BENCHMARK(BM_BoxDepths);

}  // namespace
