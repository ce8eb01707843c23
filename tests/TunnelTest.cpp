#include "TestSupport.h"
#include "core/GL.h"
#include "effects/LaserTrace.h"
#include "effects/Tunnel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const double kPi = 3.14159265358979323846;

const Vec3& cornerAt(const Tunnel& tube, int index) {
    return (&tube.cells[0][0].c0)[index];
}

// Rays from points near the axis out towards the wall, spread over angles, slopes and
// depths by a low-discrepancy sequence (never exactly through an edge). Returns how
// many pass the wall without meeting any quad; only quads where `drawn` says so count.
template <typename Filter>
int leakingRays(const Tunnel& tube, int rayCount, Filter drawn) {
    int leaks = 0;
    for (int n = 1; n <= rayCount; ++n) {
        const double u = std::fmod(n * 0.6180339887498949, 1.0);
        const double v = std::fmod(n * 0.7548776662466927, 1.0);
        const double w = std::fmod(n * 0.5698402909980532, 1.0);
        const double angle = 2 * kPi * u;
        // Depths and slopes keep every ray inside rows 1 to 38 until it is well past
        // the largest radius, so only the side walls can stop it.
        const Vec3 origin{0.05f, -0.03f, static_cast<float>(-1.0 - 2.0 * w)};
        const Vec3 direction{static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)),
                             static_cast<float>(0.9 * v - 0.45)};
        bool hit = false;
        for (int q = 0; q < Tunnel::kQuadCount && !hit; ++q) {
            if (!drawn(q)) continue;
            const uint16_t* c = &tube.quadCorners[q * 4];
            float t;
            Vec3 normal;
            hit = rayTriangle(cornerAt(tube, c[0]), cornerAt(tube, c[1]), cornerAt(tube, c[2]), origin,
                              direction, 0.0f, 100.0f, t, normal) ||
                  rayTriangle(cornerAt(tube, c[0]), cornerAt(tube, c[2]), cornerAt(tube, c[3]), origin,
                              direction, 0.0f, 100.0f, t, normal);
        }
        if (!hit) ++leaks;
    }
    return leaks;
}

}  // namespace

TEST(TunnelTables, RadiiPulseWithTheirOwnPhaseAndCellsSitOnThem) {
    static Tunnel tube;
    for (float t : {126.89f, 140.25f, 158.5f}) {
        tube.updateRadii(t);
        tube.buildCells();
        for (int r = 0; r < Tunnel::kRows; ++r) {
            for (int k = 0; k < Tunnel::kColumns; ++k) {
                const double phase = (71551.0 * r + 7919.0 * k) * 0.002989146197516454;
                const float expected = static_cast<float>(0.8 + 0.3 * std::sin(t + phase));
                ASSERT_NEAR(tube.radius[r][k], expected, 2e-7) << r << "," << k << " at " << t;

                const TunnelCell& cell = tube.cells[r][k];
                const float R = tube.radius[r][k];
                const double a0 = k * kPi / 20, a1 = (k + 1) * kPi / 20;
                const float z0 = -0.1f * r, z1 = -0.1f * (r + 1);
                EXPECT_NEAR(cell.c0.x, R * std::cos(a0), 1e-6);
                EXPECT_NEAR(cell.c0.y, R * std::sin(a0), 1e-6);
                EXPECT_NEAR(cell.c1.x, R * std::cos(a1), 1e-6);
                EXPECT_NEAR(cell.c1.y, R * std::sin(a1), 1e-6);
                EXPECT_NEAR(cell.c2.x, cell.c0.x, 0.0);
                EXPECT_NEAR(cell.c3.y, cell.c1.y, 0.0);
                EXPECT_NEAR(cell.c0.z, z0, 1e-6);
                EXPECT_NEAR(cell.c1.z, z0, 1e-6);
                EXPECT_NEAR(cell.c2.z, z1, 1e-6);
                EXPECT_NEAR(cell.c3.z, z1, 1e-6);
            }
        }
    }
    // The tube runs from z = 0 to z = -4 and closes on itself around the axis.
    EXPECT_FLOAT_EQ(tube.cells[39][39].c3.z, -4.0f);
    EXPECT_NEAR(tube.cells[5][39].c1.y, 0.0f, 1e-6);
}

TEST(TunnelTables, QuadListDrawsRowsOneToThirtyNineWithTwoWallsEach) {
    static Tunnel tube;
    auto rowOf = [](int corner) { return corner / 4 / Tunnel::kColumns; };
    auto columnOf = [](int corner) { return corner / 4 % Tunnel::kColumns; };
    auto cornerOf = [](int corner) { return corner % 4; };
    int quad = 0;
    for (int r = 1; r < Tunnel::kRows; ++r) {
        for (int k = 0; k < Tunnel::kColumns; ++k, quad += 3) {
            const uint16_t* face = &tube.quadCorners[quad * 4];
            const uint16_t* wallL = face + 4;
            const uint16_t* wallF = face + 8;
            for (int n = 0; n < 4; ++n) {
                EXPECT_EQ(rowOf(face[n]), r);
                EXPECT_EQ(columnOf(face[n]), k);
            }
            EXPECT_EQ(cornerOf(face[0]), 0);
            EXPECT_EQ(cornerOf(face[1]), 1);
            EXPECT_EQ(cornerOf(face[2]), 3);
            EXPECT_EQ(cornerOf(face[3]), 2);
            // The side wall runs from this cell's a0 edge to the a1 edge of its neighbour.
            EXPECT_EQ(columnOf(wallL[2]), (k + 39) % 40);
            EXPECT_EQ(cornerOf(wallL[2]), 3);
            EXPECT_EQ(cornerOf(wallL[3]), 1);
            // The front wall runs from this cell's z0 edge to the z1 edge of the row before.
            EXPECT_EQ(rowOf(wallF[2]), r - 1);
            EXPECT_EQ(cornerOf(wallF[2]), 3);
            EXPECT_EQ(cornerOf(wallF[3]), 2);
        }
    }
    EXPECT_EQ(quad, Tunnel::kQuadCount);
}

TEST(TunnelTables, NeighbourWallsCloseEveryGap) {
    static Tunnel tube;
    for (float t : {130.0f, 147.7f}) {
        tube.updateRadii(t);
        tube.buildCells();
        EXPECT_EQ(leakingRays(tube, 400, [](int) { return true; }), 0) << "at " << t;
        // Without either kind of wall the same rays find gaps, so the check can see one.
        EXPECT_GT(leakingRays(tube, 400, [](int q) { return q % 3 != 1; }), 0);
        EXPECT_GT(leakingRays(tube, 400, [](int q) { return q % 3 != 2; }), 0);
    }
}

namespace {

// The tube vertex by vertex, in the order drawTube's quad list gives.
void drawTubeImmediate(const Tunnel& tube) {
    glBegin(GL_QUADS);
    for (int n = 0; n < Tunnel::kQuadCount * 4; ++n) {
        const Vec3& v = cornerAt(tube, tube.quadCorners[n]);
        glVertex3f(v.x, v.y, v.z);
    }
    glEnd();
}

// Both passes of one eye, as the scene draws them, with `draw` sending the tube.
template <typename Draw>
std::vector<uint8_t> renderTube(Draw draw) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0.1, -0.05, -0.5, 0.6, 0.3, -1.5, 0, 1, 0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glFogi(GL_FOG_MODE, GL_EXP2);
    glFogf(GL_FOG_DENSITY, 1.0f);
    glEnable(GL_FOG);
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
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_FOG);
    glFinish();
    return readPixelsRGB(0, 0, 800, 600);
}

}  // namespace

TEST(TunnelDrawing, BufferedTubeDrawsTheSamePixelsAsVertexByVertex) {
    requireGLContext();
    static Tunnel tube;
    tube.updateRadii(137.5f);
    tube.buildCells();
    tube.upload();
    const std::vector<uint8_t> buffered = renderTube([] { tube.drawTube(); });
    const std::vector<uint8_t> immediate = renderTube([] { drawTubeImmediate(tube); });
    ASSERT_EQ(buffered.size(), immediate.size());
    size_t lit = 0, differing = 0;
    for (size_t i = 0; i < buffered.size(); ++i) {
        lit += buffered[i] > 8;
        differing += buffered[i] != immediate[i];
    }
    EXPECT_GT(lit, buffered.size() / 50) << "the wireframe should light part of the view";
    EXPECT_EQ(differing, 0u);

    // drawTube leaves no buffer bound and no array enabled behind it.
    GLint arrayBuffer = -1, elementBuffer = -1;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    EXPECT_EQ(arrayBuffer, 0);
    EXPECT_EQ(elementBuffer, 0);
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
