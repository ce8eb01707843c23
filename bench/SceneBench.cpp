// Per-frame CPU work of the scenes, one benchmark per scene step. Figures only: the
// frame budget on the target machine is about 16 ms for everything, GL included, so
// each of these should stay far below a millisecond. Other files in bench/ add their
// scenes' benchmarks; this one holds the entry point.
#include "BenchGL.h"
#include "core/GL.h"
#include "effects/LaserTrace.h"
#include "effects/Tunnel.h"
#include "models/Model.h"
#include "platform/Platform.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <malloc.h>
#include <string>

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

// A closed room of mirrors, each wall split into n x n squares of two triangles, so
// every beam reflects the full ten times: the tracer's worst case for that count.
Model mirrorRoom(int n) {
    Model model;
    model.meshes.emplace_back();
    Mesh& mesh = model.meshes.back();
    mesh.attributeCount = 1;
    mesh.attributeTypes[0] = 0;
    mesh.attributeComponents[0] = 3;
    mesh.updateLayout();
    const float h = 30.0f;  // encloses the beams' start at (-0.5, 18.5, -1.3)
    for (int axis = 0; axis < 3; ++axis) {
        for (float side : {-h, h}) {
            const int first = mesh.vertexCount;
            for (int i = 0; i <= n; ++i) {
                for (int j = 0; j <= n; ++j) {
                    float p[3];
                    p[axis] = side;
                    p[(axis + 1) % 3] = -h + 2 * h * i / n;
                    p[(axis + 2) % 3] = -h + 2 * h * j / n;
                    mesh.vertexData.insert(mesh.vertexData.end(), p, p + 3);
                    ++mesh.vertexCount;
                }
            }
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    const int a = first + i * (n + 1) + j;
                    for (int index : {a, a + n + 1, a + n + 2, a, a + n + 2, a + 1}) {
                        mesh.indices.push_back(static_cast<uint16_t>(index));
                    }
                    mesh.triangleCount += 2;
                }
            }
        }
    }
    return model;
}

// The laser scene's per-frame trace (five beams, up to ten reflections each) against
// mirror rooms of growing triangle count.
void BM_LaserBeams(benchmark::State& state) {
    const Model room = mirrorRoom(static_cast<int>(state.range(0)));
    RayScene scene;
    scene.addInstance(room);
    LaserPath paths[kLaserBeamCount];
    int64_t frame = 0;
    for (auto _ : state) {
        traceLaserBeams(scene, frameTime(frame++, 87.87f), paths);
        benchmark::DoNotOptimize(paths[0].hits.data());
    }
    state.counters["triangles"] = static_cast<double>(room.meshes[0].triangleCount);
}
BENCHMARK(BM_LaserBeams)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMicrosecond);

// The same against the production's own "laser" model, when the data folder is here.
void BM_LaserBeamsDataModel(benchmark::State& state) {
    static Model model;
    static const bool loaded = [] {
        if (!FileInputStream("data/laser.aml").isOpen()) return false;
        readAml(model, "data/laser.aml");
        for (Mesh& mesh : model.meshes) mesh.resolvePositions();
        return true;
    }();
    if (!loaded) {
        state.SkipWithError("no data/laser.aml in the working directory");
        return;
    }
    RayScene scene;
    scene.addInstance(model);
    LaserPath paths[kLaserBeamCount];
    int64_t frame = 0;
    int64_t records = 0;
    for (auto _ : state) {
        traceLaserBeams(scene, frameTime(frame++, 87.87f), paths);
        for (const LaserPath& path : paths) records += static_cast<int64_t>(path.hits.size());
    }
    int triangles = 0;
    for (const Mesh& mesh : model.meshes) triangles += mesh.triangleCount;
    state.counters["triangles"] = triangles;
    state.counters["records/beam"] =
        static_cast<double>(records) / (static_cast<double>(state.iterations()) * kLaserBeamCount);
}
BENCHMARK(BM_LaserBeamsDataModel)->Unit(benchmark::kMicrosecond);

// The tube's two passes of one eye with the scene's state (fog, smooth lines, blending),
// sent through `draw`; glFinish makes the figure the rasteriser's whole cost.
template <typename Draw>
void tunnelEye(benchmark::State& state, Draw draw) {
    if (!haveGLContext()) {
        state.SkipWithError("no GL context");
        return;
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.1, -0.05, -0.5, 0.6, 0.3, -1.5, 0, 1, 0);
    glDepthFunc(GL_LEQUAL);
    glFogi(GL_FOG_MODE, GL_EXP2);
    glFogf(GL_FOG_DENSITY, 1.0f);
    int64_t frame = 0;
    for (auto _ : state) {
        tunnel.updateRadii(frameTime(frame++, 126.89f));
        tunnel.buildCells();
        tunnel.upload();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_FOG);
        glEnable(GL_DEPTH_TEST);
        glColor3f(0, 0, 0);
        draw();
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLineWidth(1.5f);
        glColor3f(0.6f, 0.5f, 1.0f);
        draw();
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_BLEND);
        glDisable(GL_FOG);
        glFinish();
    }
}

void BM_TunnelEyeBuffered(benchmark::State& state) {
    tunnelEye(state, [] { tunnel.drawTube(); });
}
BENCHMARK(BM_TunnelEyeBuffered)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same picture vertex by vertex, for comparison.
void BM_TunnelEyeImmediate(benchmark::State& state) {
    tunnelEye(state, [] {
        const Vec3* corners = &tunnel.cells[0][0].c0;
        glBegin(GL_QUADS);
        for (uint16_t index : tunnel.quadCorners) glVertex3fv(&corners[index].x);
        glEnd();
    });
}
BENCHMARK(BM_TunnelEyeImmediate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
