// Data several scenes share, prepared once at start-up: the stereo camera, the two
// line-field curves and the text bitmap.
#pragma once

#include "core/Vec3.h"

#include <cstddef>

class StereoCamera;

extern StereoCamera* sharedCamera;
extern Vec3 curveA[2000];
extern Vec3 curveB[2000];
extern unsigned char textBitmap[16000];  // 20 rows of 800 bytes, row by row

// Creates the camera, builds both curves and reads text.bin of the data folder
// (missing: fatal).
void setupSceneData();

// Points 0 .. count - 1 of the two line-field curves.
void buildCurves(Vec3* a, Vec3* b, int count);
// Reads up to `size` bytes of `path` into `bitmap`; a shorter file fills only the
// beginning. A file that cannot be opened or read is fatal, naming it.
void loadTextBitmap(const char* path, unsigned char* bitmap, size_t size);
