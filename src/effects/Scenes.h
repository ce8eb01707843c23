// The content of the eight scenes. The *Content functions draw one eye and are run
// twice per frame by the stereo skeleton; LaserScene and TunnelScene draw a whole
// frame themselves. All read the demo time from sceneState.
#pragma once

void StrokeIntroScene();                  // scene 1 content
void PuolipalloScene();                   // scene 2 content
void LineFieldScene();                    // scene 3 content
void VideoFlagScene();                    // scene 4 content
void RistiScene();                        // scene 5 content
void LaserScene();                        // scene 6, whole frame
void BoxScrollerScene(float startTime);   // scene 7 content
void TunnelScene();                       // scene 8, whole frame

// A fixed cloud of `count` points in a cube of side `size` around the origin.
void PointField(float size, float pointSize, int count);

// The end of a whole-frame scene: leave the scene target, glow it and show the glow,
// fading to black from fadeStart at fadeRate per second.
void presentWholeFrameScene(int glowCount, float time, float fadeStart, float fadeRate);
