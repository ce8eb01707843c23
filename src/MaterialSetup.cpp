// The material set-up run at start-up and on the reload key. Kept apart from the
// registry so that code using the materials does not pull in the loading screen.
#include "MaterialManager.h"

#include "app/BuildVariant.h"
#include "app/LoadingScreen.h"
#include "resources/Engine.h"

void loadMaterials() {
    if (!kSecondBuild) loadingStep();
    engine.materials.loadMaterialFile("test", "data/materials/test.mat");
    engine.materials.loadMaterialFile("show_normals", "data/materials/show_normals.mat");
    engine.materials.loadMaterialFile("pp.invert", "data/materials/pp_invert.mat");
}
