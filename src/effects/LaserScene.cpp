// Laser beams traced against the mirror model. Content lands with the scene work.
#include "effects/Scenes.h"

void LaserScene() {}
