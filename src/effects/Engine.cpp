#include "effects/Engine.h"

#include "core/BuildVariant.h"
#include "core/Progress.h"

#include <cstring>

Engine engine;

Engine::Engine() : materials(textures, shaders) { std::memset(keys, 0, sizeof keys); }

void loadMaterials() {
    if (!kSecondBuild) reportLoadingStep();
    engine.materials.loadMaterialFile("test", "data/materials/test.mat");
    engine.materials.loadMaterialFile("show_normals", "data/materials/show_normals.mat");
    engine.materials.loadMaterialFile("pp.invert", "data/materials/pp_invert.mat");
}
