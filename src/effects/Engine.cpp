#include "effects/Engine.h"

#include "core/BuildVariant.h"
#include "core/Progress.h"
#include "resources/DataFolder.h"

#include <cstring>

Engine engine;

Engine::Engine() : materials(textures, shaders) { std::memset(keys, 0, sizeof keys); }

void loadMaterials() {
    if (!kSecondBuild) reportLoadingStep();
    engine.materials.loadMaterialFile("test", dataPath("materials/test.mat"));
    engine.materials.loadMaterialFile("show_normals", dataPath("materials/show_normals.mat"));
    engine.materials.loadMaterialFile("pp.invert", dataPath("materials/pp_invert.mat"));
}

void setLineWidth(float pixels) { glLineWidth(pixels * engine.pictureScale); }

void setPointSize(float pixels) { glPointSize(pixels * engine.pictureScale); }
