// The one global object: key states and the registries of every resource kind, plus
// the post-processing passes that work on its textures and render targets.
#pragma once

#include "materials/MaterialManager.h"
#include "materials/ShaderManager.h"
#include "models/Model.h"
#include "resources/RenderTargets.h"
#include "resources/TextureManager.h"

#include <string>

class Engine {
public:
    Engine();

    unsigned char keys[256];            // 1 while the virtual key is down
    TextureManager textures;
    ShaderManager shaders;
    MaterialManager materials;
    ModelManager models;
    RenderTargetPool renderTargets;
    // Pixels of the drawn picture per pixel of the 800 x 600 original: 1 when playing,
    // k for a capture drawn k times larger. Set before start-up; render targets, stroke
    // widths and the glow's tap distances follow it.
    float pictureScale = 1.0f;

    // Post-processing (fixed-function): a texture filling the view, a ping-pong blur
    // between two small targets, and the glow that adds the blur back on top.
    void ScreenQuad(const std::string& textureName, float scale);
    void BlurPass(const std::string& source, const std::string& destination, int passCount,
                  float verticalScale, float horizontalScale, float gain);
    void GlowPass(const std::string& source, const std::string& destination, int compositeCount,
                  float gain);
};

extern Engine engine;

// Loads "test", "show_normals" and "pp.invert"; at start-up and on the reload key.
void loadMaterials();

// Line width and point size in pixels of the 800 x 600 picture: a larger capture widens
// them by the picture scale, so strokes keep their weight in the picture.
void setLineWidth(float pixels);
void setPointSize(float pixels);
