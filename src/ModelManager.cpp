// Loading a model by name: file lookup in "data", reading, position resolving.
#include "Model.h"

#include "resources/TextureManager.h"

void ModelManager::load(const std::string& name) {
    std::string path = findResourceFile("data", name.c_str(), "aml", "", "", "", "", "", "", "");
    // A name loaded again drops its old meshes before the new ones are read.
    entry(name) = Model();
    Model& model = get(name);
    readAml(model, path.c_str());
    for (Mesh& mesh : model.meshes) mesh.resolvePositions();
}
