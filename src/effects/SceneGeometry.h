// What the line, model, flag, ground and box-wall scenes compute before they draw:
// tables, visibility, placements and per-frame geometry, kept free of GL so tests and
// benchmarks can run them. Times are demo seconds; lengths are world units.
#pragma once

#include "core/Vec3.h"

#include <cstddef>

// ---- Stroke lettering ---------------------------------------------------------------

struct StrokePoint {
    int x, y;  // grid units, x in -7..7, y in -4..5; drawn 20 world units apart
};

constexpr int kStrokeCount = 8;
constexpr int kStrokePointTotal = 52;
extern const int kStrokePointCounts[kStrokeCount];      // 6, 6, 8, 5, 7, 7, 6, 7
extern const StrokePoint kStrokePoints[kStrokePointTotal];  // the strokes one after another

// Points of a stroke of `pointCount` points shown at time t: point i appears once
// t - 3.5 > i, so the visible points are always a prefix.
int strokeVisiblePoints(float t, int pointCount);

// ---- Sparks ---------------------------------------------------------------------------

// Segments a spark started at `startTime` shows at time t: one more every 0.045 s,
// at most steps - 1, none before it starts.
int sparkSegmentCount(float t, float startTime, int steps);
// The steps points of a spark's spiral; consecutive points form its segments.
void sparkPoints(float sign, float phase, const Vec3& origin, int steps, Vec3* points);

// ---- Line field -------------------------------------------------------------------

constexpr int kFieldSegments = 1999;  // segment n joins curve points n and n + 1
constexpr int kSparkSteps = 15;
// Segment n is lit strictly between 0.05 n and 0.05 n + 5 seconds.
bool fieldSegmentLit(float t, int n);
// The lit segments form one run; first > last when none is lit.
void litFieldSegments(float t, int& first, int& last);

// ---- Point clouds -----------------------------------------------------------------

// count points (x, y, z) in a cube of side `size` around the origin, from the runtime
// library's generator seeded with trunc(size) * 1000: the same cloud on every call.
// Leaves the generator in the seeded sequence; the caller reseeds it.
void generatePointField(float size, int count, float* xyz);

// ---- Model scene ------------------------------------------------------------------

// Offset of the model copies along their axis: each beat kicks them, time drifts them.
float puolipalloOffset(float t, float beatPulse);

// ---- Video flag -------------------------------------------------------------------

constexpr int kFlagSide = 41;  // grid points per side
enum class FlagClip { Heilu, Dance };
FlagClip flagClipAt(float t);
// Heights (z) of the flag grid at time t, row by row (index 41 r + k).
void flagHeights(float t, float* z);

// ---- Ground and ring stacks -------------------------------------------------------

constexpr int kRingStacks = 10;
struct RingStackPlace {
    float depthOffset;  // D
    float x;            // X
};
extern const RingStackPlace kRingStackPlaces[kRingStacks];
// Where stack i stands at time t: its x and its z (moving towards +z, jumping back by
// 700 units).
void ringStackPosition(float t, int i, float& x, float& z);

// ---- Box wall ---------------------------------------------------------------------

constexpr int kBoxSide = 20;  // boxes per row and per column
constexpr int kBitmapWidth = 800;
constexpr int kBitmapRows = 20;
// Tilt in degrees at local time L: 30 per second up to 90.
float boxWallTilt(float localTime);
// The 400 box depths at local time L from the 800 x 20 text bitmap: growth from L = 3
// to 7, scrolling 22 columns a second from L = 4; reads byte 0 once the scroll would
// leave the bitmap.
void boxDepths(float localTime, const unsigned char* bitmap, float* depths);
