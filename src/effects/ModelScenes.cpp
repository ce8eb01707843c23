// Model, video flag, ground and box-wall scenes. Content lands with the scene work.
#include "effects/Scenes.h"

void PuolipalloScene() {}
void VideoFlagScene() {}
void RistiScene() {}
void BoxScrollerScene(float) {}
