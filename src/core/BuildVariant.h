// Which of the two builds this executable is. demo-2d has no eye offset, draws no
// loading frame in the material set-up and keeps the higher anisotropy for all
// textures it loads after the effect set-up (no "overlay" texture).
#pragma once

extern const bool kSecondBuild;
