// Framebuffer-object render targets. A target's completeness is checked once, when it
// is added to the pool during set-up; drawing never queries the driver.
#include "resources/RenderTargets.h"

#include "core/Fatal.h"
#include "platform/Platform.h"

std::map<uint32_t, GLuint> depthBuffers;

namespace {

const char* framebufferStatusName(GLenum status) {
    switch (status) {
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT:
        return "GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT";
    case GL_FRAMEBUFFER_UNSUPPORTED_EXT:
        return "GL_FRAMEBUFFER_UNSUPPORTED_EXT";
    case 0:
        return "no status (a GL error occurred)";
    default:
        return "unknown status";
    }
}

}  // namespace

GLuint createScreenFramebuffer(int width, int height) {
    // Colour only: what reaches the screen is flat quads over a cleared picture, which
    // the depth test passes with or without a depth buffer, and at 3840 x 2160 one
    // would hold 33 MB.
    GLuint framebuffer = 0;
    GLuint colour = 0;
    glGenFramebuffersEXT(1, &framebuffer);
    glGenRenderbuffersEXT(1, &colour);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                 GL_RENDERBUFFER_EXT, colour);
    const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT)
        fatalError("The %d x %d picture cannot be drawn: %s.", width, height,
                   framebufferStatusName(status));
    return framebuffer;
}

void RenderTargetRecord::attachTexture(TextureManager& textures, const std::string& textureName,
                                       GLenum attachment, GLenum textureTarget) {
    colour = textures.get(textureName);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, textureTarget, colour.glName, 0);

    const uint32_t key = (static_cast<uint32_t>(colour.storageWidth) << 16) +
                         static_cast<uint32_t>(colour.storageHeight);
    auto found = depthBuffers.find(key);
    if (found == depthBuffers.end()) {
        GLuint renderbuffer = 0;
        glGenRenderbuffersEXT(1, &renderbuffer);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, renderbuffer);
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, colour.storageWidth,
                                 colour.storageHeight);
        found = depthBuffers.emplace(key, renderbuffer).first;
    }
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                 found->second);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, platformScreenFramebuffer());
}

void RenderTargetPool::addTarget(const std::string& name, const RenderTargetRecord& record) {
    if (record.framebuffer == 0xFFFFFFFFu)
        fatalError("Render target '%s' has no framebuffer object.", name.c_str());
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previous);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, record.framebuffer);
    const GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previous));
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT)
        fatalError("Render target '%s' is incomplete: %s.", name.c_str(),
                   framebufferStatusName(status));

    // Storing a target's own record again must not delete the framebuffer it keeps.
    RenderTargetRecord* old = find(name);
    if (old && old->framebuffer != record.framebuffer) {
        glDeleteFramebuffersEXT(1, &old->framebuffer);
        old->framebuffer = 0xFFFFFFFFu;
    }
    entry(name) = record;
}

void RenderTargetPool::onUse(const std::string& name) {
    const RenderTargetRecord& record = get(name);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, record.framebuffer);
    glPushAttrib(GL_VIEWPORT_BIT);
    glViewport(0, 0, record.colour.width, record.colour.height);
}

void RenderTargetPool::onUnuse() {
    get(current());
    // Back to what stands for the window: a large capture's picture, else the window
    // itself or the canvas that scales it.
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT,
                         screenFramebuffer ? screenFramebuffer : platformScreenFramebuffer());
    glPopAttrib();
}
