// Stroke intro, line field and the fixed point clouds. Content lands with the scene work;
// until then the scenes draw nothing and the timeline shows an empty stereo frame.
#include "effects/Scenes.h"

void StrokeIntroScene() {}
void LineFieldScene() {}
void PointField(float, float, int) {}
