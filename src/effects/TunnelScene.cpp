// The closing scene: the camera drifts inside the pulsing tube, drawn once solid black
// (filling depth only, against the black background) and once as glowing smooth lines,
// in dense fog so that only the walls near the camera show. Two clips are multiplied
// over the result, and the frame fades to black at 155.9 s.
#include "core/GL.h"
#include "effects/AviTexture.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"
#include "effects/Tunnel.h"

#include <cmath>
#include <string>

namespace {

// Target names for the post-processing calls, built once rather than every frame.
const std::string kSceneTarget = "rt0";

// The clip multiplies the frame; depth is off so it covers the whole picture.
void multiplyClip(AviTexture* clip) {
    if (!clip) return;
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    clip->advance();
    clip->draw();
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

void TunnelScene() {
    const float t = sceneState.time;

    tunnel.updateRadii(t);
    tunnel.buildCells();
    tunnel.upload();

    engine.renderTargets.use(kSceneTarget);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Density 1 in EXP2 mode: at 2 units a wall keeps e^-4 of its colour.
    glFogi(GL_FOG_MODE, GL_EXP2);
    const GLfloat fogColour[4] = {0, 0, 0, 1};
    glFogfv(GL_FOG_COLOR, fogColour);
    glFogf(GL_FOG_DENSITY, 1.0f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogf(GL_FOG_START, 500.0f);
    glFogf(GL_FOG_END, 700.0f);
    glEnable(GL_FOG);

    StereoCamera& camera = *sceneState.camera;
    camera.setPosition({0.25f * std::sin(t), 0.25f * std::cos(1.2f * t), -0.5f});
    camera.setDirection({std::cos(1.4f * t), std::sin(0.9f * t), -1.0f});

    for (int eye = 0; eye < 2; ++eye) {
        camera.setStereo(-0.01f, eye == 1);
        camera.apply();
        glClear(GL_DEPTH_BUFFER_BIT);

        glEnable(GL_DEPTH_TEST);
        glColor3f(0, 0, 0);
        tunnel.drawTube();

        // Lines on the black faces pass the start-up depth test GL_LEQUAL.
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        setLineWidth(1.5f);
        glColor3f(0.6f, 0.5f, 1.0f);
        tunnel.drawTube();
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDisable(GL_BLEND);
    }

    presentWholeFrameScene(3, t, 148.9f, 0.14285715f);

    if (t > 134.42f && t < 142.0f) multiplyClip(sceneState.dance);
    if (t > 142.0f) multiplyClip(sceneState.vispi);
}
