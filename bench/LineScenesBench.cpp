// Per-frame CPU work of the stroke intro and the line field: which points, segments and
// spark pieces to draw. The geometry itself is built once; these are what remains.
#include "effects/SceneGeometry.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

float frameTime(int64_t frame, float start, float length) {
    return start + length * static_cast<float>(frame % 1000) / 1000.0f;
}

void BM_StrokeVisibility(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 0.0f, 11.8f);
        int shown = 0;
        for (int i = 0; i < kStrokeCount; ++i) shown += strokeVisiblePoints(t, kStrokePointCounts[i]);
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_StrokeVisibility);

// The lit run of both curves and the segment count of every spark on it.
void BM_LineFieldFrame(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        float t = frameTime(frame++, 26.92f, 30.9f);
        int first, last, pieces = 0;
        litFieldSegments(t, first, last);
        for (int n = first; n <= last; ++n) {
            if (n % 23 == 0 || n % 35 == 0) {
                pieces += sparkSegmentCount(t, 0.05f * static_cast<float>(n) + 0.1f, kSparkSteps);
            }
        }
        benchmark::DoNotOptimize(pieces);
    }
}
BENCHMARK(BM_LineFieldFrame);

// Set-up cost of the largest point cloud, paid once on the first frame that draws it.
void BM_PointFieldBuild(benchmark::State& state) {
    std::vector<float> xyz(3 * 4000);
    for (auto _ : state) {
        generatePointField(400.0f, 4000, xyz.data());
        benchmark::DoNotOptimize(xyz.data());
    }
}
BENCHMARK(BM_PointFieldBuild)->Unit(benchmark::kMicrosecond);

}  // namespace
