// Tunnel tables and the tube's vertex arrays.
#include "effects/Tunnel.h"

#include <cmath>

Tunnel tunnel;

namespace {

const double kAngleStep = 0.15707963267948966;  // pi / 20
const double kDepthStep = 0.1;
const double kPhaseFactor = 0.002989146197516454;
const int kRowPhase = 71551;
const int kColumnPhase = 7919;

static_assert(sizeof(Vec3) == 12, "cells are sent to GL as packed float triples");
static_assert(sizeof(TunnelCell) == 48, "cells are sent to GL as packed float triples");
static_assert(Tunnel::kCornerCount <= 65536, "corner indices are 16-bit");

}  // namespace

Tunnel::Tunnel() {
    for (int r = 0; r < kRows; ++r) {
        for (int k = 0; k < kColumns; ++k) {
            const double phase = (kRowPhase * r + kColumnPhase * k) * kPhaseFactor;
            phaseSin_[r][k] = std::sin(phase);
            phaseCos_[r][k] = std::cos(phase);
            radius[r][k] = 0.8f;
        }
    }
    for (int k = 0; k <= kColumns; ++k) {
        angleCos_[k] = static_cast<float>(std::cos(k * kAngleStep));
        angleSin_[k] = static_cast<float>(std::sin(k * kAngleStep));
    }
    buildCells();

    uint16_t* out = quadCorners;
    auto corner = [](int r, int k, int n) { return static_cast<uint16_t>((r * kColumns + k) * 4 + n); };
    for (int r = 1; r < kRows; ++r) {
        for (int k = 0; k < kColumns; ++k) {
            const int left = (k + kColumns - 1) % kColumns;
            const uint16_t quads[12] = {
                corner(r, k, 0), corner(r, k, 1), corner(r, k, 3), corner(r, k, 2),           // face
                corner(r, k, 0), corner(r, k, 2), corner(r, left, 3), corner(r, left, 1),     // wall to L
                corner(r, k, 0), corner(r, k, 1), corner(r - 1, k, 3), corner(r - 1, k, 2)};  // wall to F
            for (uint16_t index : quads) *out++ = index;
        }
    }
}

void Tunnel::updateRadii(float time) {
    // sin(t + p) by the angle sum, with sin p and cos p taken once at start-up.
    const double sinT = std::sin(static_cast<double>(time));
    const double cosT = std::cos(static_cast<double>(time));
    for (int r = 0; r < kRows; ++r) {
        for (int k = 0; k < kColumns; ++k) {
            const double wave = sinT * phaseCos_[r][k] + cosT * phaseSin_[r][k];
            radius[r][k] = static_cast<float>(0.8 + 0.3 * wave);
        }
    }
}

void Tunnel::buildCells() {
    for (int r = 0; r < kRows; ++r) {
        const float z0 = static_cast<float>(-kDepthStep * r);
        const float z1 = static_cast<float>(-kDepthStep * (r + 1));
        for (int k = 0; k < kColumns; ++k) {
            const float R = radius[r][k];
            const float x0 = R * angleCos_[k], y0 = R * angleSin_[k];
            const float x1 = R * angleCos_[k + 1], y1 = R * angleSin_[k + 1];
            TunnelCell& cell = cells[r][k];
            cell.c0 = {x0, y0, z0};
            cell.c1 = {x1, y1, z0};
            cell.c2 = {x0, y0, z1};
            cell.c3 = {x1, y1, z1};
        }
    }
}

void Tunnel::upload() {
    if (vertexBuffer_ == 0) {
        glGenBuffers(1, &vertexBuffer_);
        glGenBuffers(1, &indexBuffer_);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof quadCorners, quadCorners, GL_STATIC_DRAW);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof cells, cells, GL_STREAM_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void Tunnel::drawTube() const {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glDrawRangeElements(GL_QUADS, 0, kCornerCount - 1, kQuadCount * 4, GL_UNSIGNED_SHORT, nullptr);
    glDisableClientState(GL_VERTEX_ARRAY);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
