// The glow: a four-tap diagonal blur ping-ponged between two small targets, added
// back on top of the sharp picture. Fixed-function only; nothing is allocated per call.
// ScreenQuad relies on the start-up projection (90 degrees vertical, 4:3): at z = -1
// the view spans +-1.33334 by +-1.
#include "effects/Engine.h"

#include <string_view>

namespace {

constexpr float kQuadHalfWidth = 1.33334f;
constexpr int kGlowBlurPasses = 6;
constexpr float kGlowTapScale = 0.75f;
constexpr float kTapGrowth = 1.5f;

// One quad over (0, 0)-(w, h) with texture coordinates shifted by (du, dv); inside a
// glBegin(GL_QUADS) of the caller.
void shiftedQuad(float w, float h, float du, float dv) {
    glTexCoord2f(du, dv);
    glVertex2f(0, 0);
    glTexCoord2f(1 + du, dv);
    glVertex2f(w, 0);
    glTexCoord2f(1 + du, 1 + dv);
    glVertex2f(w, h);
    glTexCoord2f(du, 1 + dv);
    glVertex2f(0, h);
}

}  // namespace

void Engine::ScreenQuad(const std::string& textureName, float scale) {
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glScalef(scale, scale, 1);
    glBindTexture(GL_TEXTURE_2D, textures.get(textureName).glName);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-kQuadHalfWidth, -1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(kQuadHalfWidth, -1, 0);
    glTexCoord2f(1, 1);
    glVertex3f(kQuadHalfWidth, 1, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-kQuadHalfWidth, 1, 0);
    glEnd();
    glPopMatrix();
    glPopAttrib();
}

void Engine::BlurPass(const std::string& source, const std::string& destination, int passCount,
                      float verticalScale, float horizontalScale, float gain) {
    static constexpr std::string_view kBlurTarget = "rt.blur";
    const TextureRecord& sourceRecord = textures.get(source);
    const int width = sourceRecord.storageWidth;
    const int height = sourceRecord.storageHeight;
    TextureRecord& destinationRecord = textures.get(destination);
    destinationRecord.storageWidth = width;
    destinationRecord.storageHeight = height;

    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, sourceRecord.glName);
    glEnable(GL_TEXTURE_2D);
    std::string_view input = source;
    glBlendColorEXT(1, 1, 1, gain * 0.25f);

    // Taps are measured in texels of the 800 x 600 picture's targets, so the glow
    // reaches as far across a larger capture.
    const float du = pictureScale / static_cast<float>(width);
    const float dv = pictureScale / static_cast<float>(height);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    for (int pass = 0; pass < passCount; ++pass) {
        const bool even = pass % 2 == 0;
        const std::string_view target = even ? std::string_view(destination) : input;
        const std::string_view sampled = even ? input : std::string_view(destination);
        renderTargets.use(target);
        glBindTexture(GL_TEXTURE_2D, textures.get(sampled).glName);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        const float u = du * horizontalScale;
        const float v = dv * verticalScale;

        glBlendFunc(GL_CONSTANT_ALPHA, GL_ZERO);
        glBegin(GL_QUADS);
        shiftedQuad(w, h, u, v);
        glEnd();

        glBlendFunc(GL_CONSTANT_ALPHA, GL_ONE);
        glBegin(GL_QUADS);
        shiftedQuad(w, h, -u, -v);
        shiftedQuad(w, h, u, -v);
        shiftedQuad(w, h, -u, v);
        glEnd();

        verticalScale *= kTapGrowth;
        horizontalScale *= kTapGrowth;
        renderTargets.unuse();
        if (pass == 0) input = kBlurTarget;
    }

    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void Engine::GlowPass(const std::string& source, const std::string& destination,
                      int compositeCount, float gain) {
    static const std::string kGlowTarget = "rt.glow";
    glDisable(GL_DEPTH_TEST);
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    BlurPass(source, kGlowTarget, kGlowBlurPasses, kGlowTapScale, kGlowTapScale, gain);

    glColor3f(1, 1, 1);
    renderTargets.use(destination);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    ScreenQuad(source, 1.0f);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_BLEND);
    for (int i = 0; i < compositeCount; ++i) ScreenQuad(kGlowTarget, 1.0f);

    glDisable(GL_BLEND);
    glPopAttrib();
    glEnable(GL_DEPTH_TEST);
    renderTargets.unuse();
}
