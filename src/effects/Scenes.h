// The content of the eight scenes. The *Content functions draw one eye and are run
// twice per frame by the stereo skeleton; LaserScene and TunnelScene draw a whole
// frame themselves. All read the demo time from sceneState.
#pragma once

#include "core/Vec3.h"

void StrokeIntroScene();                  // scene 1 content
void PuolipalloScene();                   // scene 2 content
void LineFieldScene();                    // scene 3 content
void VideoFlagScene();                    // scene 4 content
void RistiScene();                        // scene 5 content
void LaserScene();                        // scene 6, whole frame
void BoxScrollerScene(float startTime);   // scene 7 content
void TunnelScene();                       // scene 8, whole frame

// Where the laser scene's camera stands at `time`: on a circle of radius 16.5 round the
// y axis at height 13.2 (where it looks is the scene's own business).
Vec3 laserCameraPosition(float time);

// A fixed cloud of `count` points in a cube of side `size` around the origin.
void PointField(float size, float pointSize, int count);

// The end of a whole-frame scene: leave the scene target, glow it and show the glow,
// fading to black from fadeStart at fadeRate per second.
void presentWholeFrameScene(int glowCount, float time, float fadeStart, float fadeRate);
