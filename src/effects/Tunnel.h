// The closing tunnel's geometry: a tube of 40 rings of 40 flat cells around the z
// axis, from z = 0 to z = -4, each cell at its own pulsing radius, joined to its
// neighbours by wall quads. The tables are rebuilt every frame from the demo time.
#pragma once

#include "core/GL.h"
#include "core/Vec3.h"

#include <cstdint>

// Corners of one cell: c0 (angle a0, depth z0), c1 (a1, z0), c2 (a0, z1), c3 (a1, z1).
struct TunnelCell {
    Vec3 c0, c1, c2, c3;
};

class Tunnel {
public:
    static constexpr int kRows = 40;
    static constexpr int kColumns = 40;
    static constexpr int kCornerCount = kRows * kColumns * 4;
    // Rows 1..39, each cell drawn as its face and two walls; row 0 only closes row 1.
    static constexpr int kQuadCount = (kRows - 1) * kColumns * 3;

    Tunnel();  // the time-independent tables: angles, phases and the quad list

    void updateRadii(float time);
    void buildCells();
    // GL side: streams the cells into the vertex buffer once per frame, after
    // buildCells; drawTube then sends the whole tube with the current state.
    void upload();
    void drawTube() const;

    float radius[kRows][kColumns];    // [row][column], 0.8 +- 0.3
    TunnelCell cells[kRows][kColumns];
    // Four corners per quad, indexing the cells as one flat array of Vec3
    // (cell (r, k) corner n is 4 (40 r + k) + n); per cell: face, wall to the
    // smaller angle, wall towards z = 0.
    uint16_t quadCorners[kQuadCount * 4];

private:
    double phaseSin_[kRows][kColumns];  // sine and cosine of each cell's phase, so the
    double phaseCos_[kRows][kColumns];  // radii need one sine and cosine per frame
    float angleCos_[kColumns + 1];      // cell boundary k at angle k * pi / 20
    float angleSin_[kColumns + 1];
    GLuint vertexBuffer_ = 0;  // 0 until the first upload
    GLuint indexBuffer_ = 0;
};

extern Tunnel tunnel;
