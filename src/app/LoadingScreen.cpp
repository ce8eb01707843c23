// The loading screen: the "loading" picture with a randomly tinted, slightly larger
// copy added on top, one presented frame per call. It never reads the demo time.
#include "app/LoadingScreen.h"

#include "app/App.h"
#include "app/DemoContext.h"
#include "core/GL.h"
#include "effects/Engine.h"

#include <cmath>
#include <cstdlib>

void loadingStep() {
    const float r = static_cast<float>(std::rand());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glDisable(GL_DEPTH_TEST);
    demoContext.drawTextureQuad("loading", 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor3f((std::sin(3 * r) + 1) * 0.5f, (std::sin(4 * r) + 1) * 0.5f,
              (std::sin(5 * r) + 1) * 0.5f);
    demoContext.drawTextureQuad("loading", 1.02f);
    glDisable(GL_BLEND);
    glFlush();
    glEnable(GL_DEPTH_TEST);
    swapBuffers();
}

// The quad spans (-1, -1) to (2u - 1, 2u - 1) one unit in front of the eye, with
// u = picture width / storage width: a picture narrower than its storage shrinks the
// quad towards its lower-left corner.
void DemoContext::drawTextureQuad(const std::string& textureName, float scale) {
    glPushAttrib(GL_LIGHTING_BIT);
    glDisable(GL_LIGHTING);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glScalef(scale, scale, 1);
    const TextureRecord& record = engine.textures.get(textureName);
    const float u = static_cast<float>(record.width) / static_cast<float>(record.storageWidth);
    const float v =
        static_cast<float>(record.storageHeight) / static_cast<float>(record.storageWidth);
    const float edge = 2 * u - 1;
    glBindTexture(GL_TEXTURE_2D, record.glName);
    glEnable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-1, -1, 0);
    glTexCoord2f(1, 0);
    glVertex3f(edge, -1, 0);
    glTexCoord2f(1, v);
    glVertex3f(edge, edge, 0);
    glTexCoord2f(0, v);
    glVertex3f(-1, edge, 0);
    glEnd();
    glPopMatrix();
    glPopAttrib();
}
