#include "effects/Engine.h"
#include "resources/RenderTargets.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

std::array<GLint, 4> currentViewport() {
    std::array<GLint, 4> viewport{};
    glGetIntegerv(GL_VIEWPORT, viewport.data());
    return viewport;
}

GLint boundFramebuffer() {
    GLint name = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &name);
    return name;
}

GLint attachedDepthBuffer(GLuint framebuffer) {
    GLint name = -1;
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glGetFramebufferAttachmentParameterivEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                             GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &name);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    return name;
}

class RenderTargets : public testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        requireGLContext();
    }

    // A texture of that picture size and a target of the same name, as the effect
    // set-up makes them.
    static void makeTarget(const std::string& name, int width, int height) {
        engine.textures.createTexture(name, width, height, nullptr, GL_RGBA8, GL_RGBA);
        RenderTargetRecord record;
        glGenFramebuffersEXT(1, &record.framebuffer);
        record.attachTexture(engine.textures, name, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
        engine.renderTargets.addTarget(name, record);
    }

    RenderTargetPool& pool = engine.renderTargets;
};

TEST_F(RenderTargets, NewRecordHasNoFramebuffer) {
    RenderTargetRecord record;
    EXPECT_EQ(record.framebuffer, 0xFFFFFFFFu);
    EXPECT_EQ(record.colour.storageWidth, 1);
    EXPECT_EQ(record.colour.width, 1);
    EXPECT_EQ(record.colour.glName, 0u);
    EXPECT_EQ(pool.kindName(), "FBO");
}

TEST_F(RenderTargets, UseSetsThePictureViewportAndUnuseRestoresIt) {
    makeTarget("vp.glow", 256, 128);
    makeTarget("vp.tall", 1024, 768);
    glViewport(0, 75, 800, 450);

    pool.use("vp.glow");
    EXPECT_EQ(pool.current(), "vp.glow");
    EXPECT_EQ(boundFramebuffer(), static_cast<GLint>(pool.get("vp.glow").framebuffer));
    EXPECT_EQ(currentViewport(), (std::array<GLint, 4>{0, 0, 256, 128}));
    pool.unuse();
    EXPECT_EQ(pool.current(), "");
    EXPECT_EQ(boundFramebuffer(), 0);
    EXPECT_EQ(currentViewport(), (std::array<GLint, 4>{0, 75, 800, 450}));

    // Storage 1024 x 1024, but only the picture is drawn into.
    const RenderTargetRecord& tall = pool.get("vp.tall");
    EXPECT_EQ(tall.colour.storageHeight, 1024);
    pool.use("vp.tall");
    EXPECT_EQ(currentViewport(), (std::array<GLint, 4>{0, 0, 1024, 768}));
    pool.unuse();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RenderTargets, DrawingLandsInTheTargetsTexture) {
    makeTarget("draw.target", 64, 32);
    glViewport(0, 0, 800, 600);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    pool.use("draw.target");
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    pool.unuse();
    glClearColor(0, 0, 0, 1);

    EXPECT_EQ(readPixelsRGB(10, 10, 1, 1), (std::vector<uint8_t>{0, 0, 0}));
    glBindTexture(GL_TEXTURE_2D, engine.textures.get("draw.target").glName);
    std::vector<uint8_t> texels(64 * 32 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    EXPECT_EQ(texels[0], 0);
    EXPECT_EQ(texels[1], 255);
    EXPECT_EQ(texels[texels.size() - 2], 255);
}

TEST_F(RenderTargets, TargetsOfOneStorageSizeShareTheirDepthBuffer) {
    const size_t before = depthBuffers.size();
    makeTarget("depth.a", 1024, 512);
    makeTarget("depth.b", 1000, 500);  // same storage, 1024 x 512
    const size_t afterPair = depthBuffers.size();
    makeTarget("depth.c", 128, 64);
    const GLuint a = pool.get("depth.a").framebuffer;
    const GLuint b = pool.get("depth.b").framebuffer;
    const GLuint c = pool.get("depth.c").framebuffer;
    EXPECT_NE(a, b);
    EXPECT_LE(afterPair, before + 1);
    EXPECT_EQ(depthBuffers.size(), afterPair + 1);

    const GLint depthA = attachedDepthBuffer(a);
    EXPECT_NE(depthA, 0);
    EXPECT_EQ(depthA, static_cast<GLint>(depthBuffers.at((1024u << 16) + 512u)));
    EXPECT_EQ(attachedDepthBuffer(b), depthA);
    EXPECT_EQ(attachedDepthBuffer(c), static_cast<GLint>(depthBuffers.at((128u << 16) + 64u)));
    EXPECT_NE(attachedDepthBuffer(c), depthA);
}

TEST_F(RenderTargets, ReplacingATargetDeletesItsOldFramebuffer) {
    makeTarget("again", 64, 64);
    const GLuint first = pool.get("again").framebuffer;
    ASSERT_TRUE(glIsFramebufferEXT(first));
    makeTarget("again", 64, 64);
    const GLuint second = pool.get("again").framebuffer;
    EXPECT_NE(second, first);
    EXPECT_FALSE(glIsFramebufferEXT(first));
    EXPECT_TRUE(glIsFramebufferEXT(second));

    // Storing the target's own record again keeps its framebuffer alive.
    RenderTargetRecord copy = pool.get("again");
    pool.addTarget("again", copy);
    EXPECT_TRUE(glIsFramebufferEXT(second));
    EXPECT_EQ(pool.get("again").framebuffer, second);
}

TEST_F(RenderTargets, ResizedTextureTakesEffectWhenAttachedAgain) {
    makeTarget("resize", 256, 128);
    engine.textures.createTexture("resize", 512, 300, nullptr, GL_RGBA8, GL_RGBA);
    pool.use("resize");
    EXPECT_EQ(currentViewport()[2], 256);
    EXPECT_EQ(currentViewport()[3], 128);
    pool.unuse();

    RenderTargetRecord& stored = pool.get("resize");
    stored.attachTexture(engine.textures, "resize", GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
    EXPECT_EQ(stored.colour.storageHeight, 512);
    EXPECT_EQ(attachedDepthBuffer(stored.framebuffer),
              static_cast<GLint>(depthBuffers.at((512u << 16) + 512u)));
    pool.use("resize");
    EXPECT_EQ(currentViewport()[2], 512);
    EXPECT_EQ(currentViewport()[3], 300);
    pool.unuse();
}

TEST_F(RenderTargets, BadTargetsEndTheRunNamingThem) {
    EXPECT_EXIT(
        {
            RenderTargetRecord bare;
            glGenFramebuffersEXT(1, &bare.framebuffer);
            pool.addTarget("bare", bare);
        },
        testing::ExitedWithCode(1), "Render target 'bare' is incomplete: GL_FRAMEBUFFER_");
    EXPECT_EXIT(pool.addTarget("nothing", RenderTargetRecord()), testing::ExitedWithCode(1),
                "Render target 'nothing' has no framebuffer");
    EXPECT_EXIT(
        {
            RenderTargetRecord record;
            glGenFramebuffersEXT(1, &record.framebuffer);
            record.attachTexture(engine.textures, "no.such.texture", GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D);
        },
        testing::ExitedWithCode(1), "No such texture: 'no.such.texture'\\.");
    EXPECT_EXIT(pool.use("no.such.target"), testing::ExitedWithCode(1),
                "No such FBO: 'no.such.target'\\.");
    EXPECT_EXIT(pool.unuse(), testing::ExitedWithCode(1), "Cannot unuse: No FBO in use\\.");
}

}  // namespace
