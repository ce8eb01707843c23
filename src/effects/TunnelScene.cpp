// The closing wireframe tunnel. Content lands with the scene work.
#include "effects/Scenes.h"

void TunnelScene() {}
