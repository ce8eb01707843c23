// Materials: one GLSL program plus textures bound to its samplers, read from the
// material files under data/materials.
#pragma once

#include "core/GL.h"
#include "materials/ShaderManager.h"
#include "resources/Registry.h"
#include "resources/TextureManager.h"

#include <string>
#include <vector>

struct TextureSlot {
    GLenum target = GL_TEXTURE_2D;  // 1D, 2D, 3D or cube map
    std::string samplerName;        // sampler uniform in the material's shaders
    std::string textureName;        // TextureManager name, also the file's base name
};

struct Material {
    std::string shaderName;             // "SHD$" + material name
    std::vector<TextureSlot> textures;  // slot i uses texture unit i
};

// What a material file says, before anything is compiled or loaded.
struct MaterialSource {
    std::string vertexText;
    std::string fragmentText;
    std::vector<TextureSlot> textures;
};

class MaterialManager : public UsableRegistry<Material> {
public:
    // The registries a material's program and textures live in; they outlive it.
    MaterialManager(TextureManager& textures, ShaderManager& shaders)
        : textures_(textures), shaders_(shaders) {}
    std::string kindName() const override { return "material"; }

    void loadMaterialFile(const std::string& name, const std::string& path);
    void createMaterial(const std::string& name, const std::string& vertexText,
                        const std::string& fragmentText, const std::vector<TextureSlot>& textures);

protected:
    void onUse(const std::string& name) override;
    void onUnuse() override;

private:
    TextureManager& textures_;
    ShaderManager& shaders_;
};

// Splits a material file into its shader texts and texture slots. A missing file or a
// malformed texture line is fatal.
MaterialSource readMaterialFile(const std::string& path);
// Writes a file that readMaterialFile reads back as `source`; false when the source
// cannot be expressed (a marker inside shader text, a section not ending its last
// line, a blank or over-long word, an unknown target) or the file cannot be written.
bool writeMaterialFile(const std::string& path, const MaterialSource& source);
