// Off-screen targets: a framebuffer object whose colour buffer is a named texture and
// whose depth buffer is shared by all targets of the same storage size.
#pragma once

#include "core/GL.h"
#include "resources/Registry.h"
#include "resources/TextureManager.h"

#include <cstdint>
#include <map>

struct RenderTargetRecord {
    GLuint framebuffer = 0xFFFFFFFFu;  // all bits set: none
    TextureRecord colour;              // copy taken when the texture was attached

    void attachTexture(TextureManager& textures, const std::string& textureName, GLenum attachment,
                       GLenum textureTarget);
};

// A framebuffer of width x height with a colour renderbuffer, drawn into in place of
// the window; fatal when the driver cannot make it.
GLuint createScreenFramebuffer(int width, int height);

// Renderbuffer per (storageWidth << 16) + storageHeight; never deleted.
extern std::map<uint32_t, GLuint> depthBuffers;

class RenderTargetPool : public UsableRegistry<RenderTargetRecord> {
public:
    std::string kindName() const override { return "FBO"; }
    void addTarget(const std::string& name, const RenderTargetRecord& record);

    // Where unuse() returns drawing: 0 for the window, or a framebuffer that stands in
    // for it (a capture larger than the window).
    GLuint screenFramebuffer = 0;

protected:
    void onUse(const std::string& name) override;
    void onUnuse() override;
};
