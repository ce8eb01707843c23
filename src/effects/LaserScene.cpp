// Laser beams traced against the mirror model "laser" and drawn as additive line
// strips that fade along their length, in fog, in both eyes. The beams are traced
// once per frame (they swing with time) and are the same for both eyes.
#include "core/GL.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/LaserTrace.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"

#include <cmath>
#include <string>

namespace {

// Target names for the post-processing calls, built once rather than every frame.
const std::string kSceneTarget = "rt0";
const std::string kGlowTarget = "rt1";

// Longest beam: the start vertex plus bounce limit + 1 records.
constexpr int kMaxBeamVertices = kLaserBounceLimit + 2;

struct BeamVertex {
    float r, g, b;
    float x, y, z;
};

struct LaserSceneState {
    bool ready = false;                     // the ray scene holds the model
    RayScene rays;                          // the "laser" model at identity
    const Model* model = nullptr;           // the same model, for drawing
    const TextureRecord* risti = nullptr;   // the model's texture
    LaserPath paths[kLaserBeamCount];       // this frame's beams
    BeamVertex vertices[kLaserBeamCount][kMaxBeamVertices];  // the beams as line strips
    int vertexCounts[kLaserBeamCount];     // vertices of each strip
};

LaserSceneState laser;

void prepareLaserScene() {
    laser.model = &engine.models.get("laser");
    laser.risti = &engine.textures.get("risti");
    laser.rays.addInstance(*laser.model);
    laser.ready = true;
}

// Full colour at the start, fading along the path down to 1/n of it at the last record.
void buildBeamVertices() {
    const float base[3] = {0.5f, 1.0f, 0.3f};
    for (int i = 0; i < kLaserBeamCount; ++i) {
        const std::vector<LaserHit>& hits = laser.paths[i].hits;
        const int n = static_cast<int>(hits.size());
        BeamVertex* out = laser.vertices[i];
        *out++ = {base[0], base[1], base[2], kLaserStart.x, kLaserStart.y, kLaserStart.z};
        for (int k = 0; k < n; ++k) {
            const float fade = static_cast<float>(n - k) / static_cast<float>(n);
            const Vec3& p = hits[k].point;
            *out++ = {base[0] * fade, base[1] * fade, base[2] * fade, p.x, p.y, p.z};
        }
        laser.vertexCounts[i] = n + 1;
    }
}

void drawBeams() {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (int i = 0; i < kLaserBeamCount; ++i) {
        const BeamVertex* strip = laser.vertices[i];
        glColorPointer(3, GL_FLOAT, sizeof(BeamVertex), &strip->r);
        glVertexPointer(3, GL_FLOAT, sizeof(BeamVertex), &strip->x);
        glDrawArrays(GL_LINE_STRIP, 0, laser.vertexCounts[i]);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

void LaserScene() {
    const float t = sceneState.time;

    glFogi(GL_FOG_MODE, GL_EXP);
    const GLfloat fogColour[4] = {0, 0, 0, 1};
    glFogfv(GL_FOG_COLOR, fogColour);
    glFogf(GL_FOG_DENSITY, 0.04f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogf(GL_FOG_START, 500.0f);
    glFogf(GL_FOG_END, 700.0f);

    if (!laser.ready) prepareLaserScene();
    traceLaserBeams(laser.rays, t, laser.paths);
    buildBeamVertices();

    engine.renderTargets.use(kSceneTarget);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_FOG);

    StereoCamera& camera = *sceneState.camera;
    camera.setPosition(laserCameraPosition(t));
    camera.setTarget({0.0f, 15.0f, 0.0f});
    if (t > 95.4) camera.setDirection({0.4f, -0.2f, 1.0f});
    if (t > 99.21) camera.setDirection({-0.4f, 0.2f, -1.0f});

    for (int eye = 0; eye < 2; ++eye) {
        camera.setStereo(-0.1f, eye == 1);
        camera.apply();
        glClear(GL_DEPTH_BUFFER_BIT);

        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, laser.risti->glName);
        glColor3f(0.4f, 0.4f, 1.0f);
        laser.model->draw();
        glDisable(GL_TEXTURE_2D);

        // Beams write no depth so that they never hide one another.
        glDepthMask(GL_FALSE);
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        drawBeams();
        glDisable(GL_BLEND);
        glDepthMask(GL_TRUE);
    }

    presentWholeFrameScene(4, t, 101.59f, 0.4524887f);
}

Vec3 laserCameraPosition(float time) {
    // A full turn every 10 s; at 91.64 s the camera jumps back and turns the other way.
    double angle = 0.6283185307179586 * time;
    if (time > 91.64) angle = 57.57911015499373 - angle;
    return {static_cast<float>(16.5 * std::cos(angle)), 13.2f, static_cast<float>(16.5 * std::sin(angle))};
}

void presentWholeFrameScene(int glowCount, float time, float fadeStart, float fadeRate) {
    glDisable(GL_FOG);
    engine.renderTargets.unuse();
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glColor3f(1, 1, 1);

    engine.GlowPass(kSceneTarget, kGlowTarget, glowCount, 1.02f);
    if (time > fadeStart) {
        const float b = 1.0f - (time - fadeStart) * fadeRate;
        glColor3f(b, b, b);
    }
    engine.ScreenQuad(kGlowTarget, 1.0f);
}
