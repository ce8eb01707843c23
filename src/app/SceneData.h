// Data several scenes share, prepared once at start-up: the stereo camera, the two
// line-field curves and the text bitmap.
#pragma once

#include "Vec3.h"

class StereoCamera;

extern StereoCamera* sharedCamera;
extern Vec3 curveA[2000];
extern Vec3 curveB[2000];
extern unsigned char textBitmap[16000];  // 20 rows of 800 bytes, row by row

void setupSceneData();
