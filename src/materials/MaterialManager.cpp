// Materials: a program from the ShaderManager plus textures on units 0, 1, ... in the
// order of the file's texture lines. Reloading re-creates every material; textures
// already registered are not read again. Reports of unsupported targets name this
// file without its folder, the same in every build tree.
#include "materials/MaterialManager.h"

#include "core/Fatal.h"

void MaterialManager::loadMaterialFile(const std::string& name, const std::string& path) {
    MaterialSource source = readMaterialFile(path);
    createMaterial(name, source.vertexText, source.fragmentText, source.textures);
}

void MaterialManager::createMaterial(const std::string& name, const std::string& vertexText,
                                     const std::string& fragmentText,
                                     const std::vector<TextureSlot>& textures) {
    std::string programName = "SHD$" + name;
    shaders_.createProgram(programName, vertexText, fragmentText);
    Material& material = entry(name);
    material.shaderName = programName;
    material.textures = textures;
    for (const TextureSlot& slot : textures) {
        if (textures_.find(slot.textureName)) continue;
        switch (slot.target) {
            case GL_TEXTURE_2D:
                textures_.loadTexture(slot.textureName, -1, -1);
                break;
            case GL_TEXTURE_CUBE_MAP:
                textures_.loadCubeMap(slot.textureName, -1, -1);
                break;
            case GL_TEXTURE_3D:
                fatalError("Loading 3D texture files not supported!\nTexture \"%s\"\n[%s, line %d]\n",
                           slot.textureName.c_str(), __FILE_NAME__, __LINE__);
            default:
                fatalError("Unhandled type %d in %s, line %d!\n", static_cast<int>(slot.target),
                           __FILE_NAME__, __LINE__);
        }
    }
}

void MaterialManager::onUse(const std::string& name) {
    const Material& material = get(name);
    shaders_.use(material.shaderName);
    for (size_t unit = 0; unit < material.textures.size(); ++unit) {
        const TextureSlot& slot = material.textures[unit];
        glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(unit));
        glBindTexture(slot.target, textures_.get(slot.textureName).glName);
        shaders_.setUniformInt(slot.samplerName.c_str(), static_cast<int>(unit));
    }
    glActiveTexture(GL_TEXTURE0);
}

// Textures stay bound and enabled targets stay as they are: the next material rebinds
// the units it uses.
void MaterialManager::onUnuse() { shaders_.unuse(); }

