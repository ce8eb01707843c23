// The fixed schedule: picks the scene of the demo time and draws the frame; ends the
// process after the last scene.
#pragma once

#include <cstdint>

void EffectSetup();
void ModelPreload();
void drawTimeline(float time, float delta);
// A stereo frame with no content through the same glow and screen quad as the scenes:
// the floor the benchmark compares every scene with.
void drawFloorFrame(float time);

// Leaves the GL state and the clips as an uninterrupted play from 0 s at `fps` frames
// per second has them just before its frame at `ms` demo milliseconds: what earlier
// scenes switched on and never off, and every clip the schedule has started showing
// its picture and running since its first use. `clipNow` is what the clip clock reads
// at that frame. A still, a render or a play that begins late starts from here.
void catchUpWithSchedule(int fps, int64_t ms, uint32_t clipNow);

// Index 1..8 of the scene that plays at `time`, or 0 when the production is over.
int sceneIndexAt(float time);

// Scene 4 replaces its plain screen quad with a zoom-out of n x n tiles from 65.55 s.
bool tilingActiveAt(float time);
int tileCountAt(float time);  // tiles per row and column; meaningful while tiling is active
