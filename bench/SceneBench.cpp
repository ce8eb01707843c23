// Per-frame CPU work of the scenes, one benchmark per scene step. Figures only: the
// frame budget on the target machine is about 16 ms for everything, GL included, so
// each of these should stay far below a millisecond. Other files in bench/ add their
// scenes' benchmarks; this one holds the entry point.
#include "effects/Tunnel.h"

#include <benchmark/benchmark.h>

namespace {

// A frame time that moves on like the demo clock, so nothing can be hoisted.
float frameTime(int64_t frame, float start) { return start + 0.016f * static_cast<float>(frame % 1000); }

void BM_TunnelRadii(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        benchmark::DoNotOptimize(tunnel.radius);
    }
}
BENCHMARK(BM_TunnelRadii);

void BM_TunnelCells(benchmark::State& state) {
    tunnel.updateRadii(130.0f);
    for (auto _ : state) {
        tunnel.buildCells();
        benchmark::DoNotOptimize(tunnel.cells);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TunnelCells);

// Both tables, as the tunnel scene rebuilds them each frame.
void BM_TunnelFrameTables(benchmark::State& state) {
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        tunnel.buildCells();
        benchmark::DoNotOptimize(tunnel.cells);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TunnelFrameTables);

}  // namespace

BENCHMARK_MAIN();
