// The schedule of the eight scenes and the stereo skeleton most of them share: both
// eyes into "rt0", glow into a second target, then the screen quad with fades and
// video overlays. Also the start-up steps that prepare what the scenes share.
#include "effects/Timeline.h"

#include "core/BuildVariant.h"
#include "core/Fatal.h"
#include "core/Progress.h"
#include "effects/AviTexture.h"
#include "effects/Camera.h"
#include "effects/Engine.h"
#include "effects/SceneData.h"
#include "effects/SceneState.h"
#include "effects/Scenes.h"
#include "resources/DataFolder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

namespace {

// Names handed to the post-processing passes every frame; kept as strings so no
// frame builds one.
const std::string kRt0 = "rt0";
const std::string kRt1 = "rt1";
const std::string kRt2 = "rt2";
const std::string kRtGlow = "rt.glow";
const std::string kRtBlur = "rt.blur";

// Scene 7 is told when its window opens; the value is the float nearest 103.38.
const float kBoxScrollerStart = 103.38f;

enum class DrawMode { Additive, Opaque, Fog };

// One scene drawn by the stereo skeleton: where the camera looks, what each eye
// draws, and how the glowing picture reaches the screen (fades, overlays).
struct StereoScenePass {
    void (*placeCamera)(StereoCamera& camera, float t);
    void (*content)();
    DrawMode mode;
    float separation;             // eye separation handed to setStereo
    const std::string* glowTarget;
    int glowCount;
    float glowGain;
    void (*present)(const std::string& glowTarget, float t);
};

// ---- Cameras ----------------------------------------------------------------------

void lookAtOrigin(StereoCamera& camera, const Vec3& position) {
    camera.setPosition(position);
    camera.setTarget(Vec3{0, 0, 0});
}

void strokeIntroCamera(StereoCamera& camera, float t) {
    lookAtOrigin(camera, Vec3{0, 35 * std::sin(1.1f * t), 150});
}

void puolipalloCamera(StereoCamera& camera, float t) {
    lookAtOrigin(camera, Vec3{150 * std::sin(t), 35 * std::cos(0.7f * t), 150 * std::cos(t)});
}

void lineFieldCamera(StereoCamera& camera, float t) {
    const float x = t * 5 * 20 - 200;
    Vec3 position{x, 60 * std::sin(0.5f * t), 100};
    if (t > 35.5f) position = Vec3{x, 60 * std::sin(0.5f * t), -100};
    if (t > 43.3f) position = Vec3{t * 5 * 20 - 150, 60 * std::sin(0.5f * t), 120};
    if (t > 50.9f) position = Vec3{x, 40 * std::cos(0.12f * t), -70};
    camera.setPosition(position);
    camera.setTarget(Vec3{x, 0, 0});
}

void videoFlagCamera(StereoCamera& camera, float t) {
    lookAtOrigin(camera, Vec3{0, 35 * std::sin(1.1f * t), 80});
}

void ristiCamera(StereoCamera& camera, float t) {
    camera.setPosition(Vec3{150 * std::sin(t), 105, 150});
    camera.setDirection(Vec3{0, -0.5f, -1});
}

void boxScrollerCamera(StereoCamera& camera, float t) {
    lookAtOrigin(camera, Vec3{40 * std::sin(1.3f * t), 15 * std::sin(0.7f * t),
                              40 * std::sin(t) + 130});
}

void boxScrollerContent() { BoxScrollerScene(kBoxScrollerStart); }

// ---- Presenting the glow target -----------------------------------------------------

// The clip multiplies the frame beneath it.
void overlay(AviTexture* clip) {
    if (!clip) return;
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    clip->advance();
    clip->draw();
    glDisable(GL_BLEND);
}

// The screen quad is modulated by the current colour: grey darkens the frame.
void fadeTo(float brightness) { glColor3f(brightness, brightness, brightness); }

void presentPlain(const std::string& glowTarget, float) { engine.ScreenQuad(glowTarget, 1.0f); }

void presentPuolipallo(const std::string& glowTarget, float t) {
    engine.ScreenQuad(glowTarget, 1.0f);
    if (t > 15.7f && t < 19.53f) overlay(sceneState.heilu);
    if (t > 23.36f) overlay(sceneState.dance);
}

// From 65.55 s the frame is shown as n x n tiles, one more per row and column about
// every 0.95 s; at n = 1 the picture is the same as the plain screen quad.
void presentVideoFlag(const std::string& glowTarget, float t) {
    if (!tilingActiveAt(t)) {
        engine.ScreenQuad(glowTarget, 1.0f);
        return;
    }
    const TextureRecord& record = engine.textures.get(glowTarget);
    glBindTexture(GL_TEXTURE_2D, record.glName);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glTranslatef(0, 0, -1);
    const float n = static_cast<float>(tileCountAt(t));
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1.33334f, -1);
    glTexCoord2f(0, n);
    glVertex2f(-1.33334f, 1);
    glTexCoord2f(n, n);
    glVertex2f(1.33334f, 1);
    glTexCoord2f(n, 0);
    glVertex2f(1.33334f, -1);
    glEnd();
}

void presentRisti(const std::string& glowTarget, float t) {
    engine.ScreenQuad(glowTarget, 1.0f);
    if (t > 76.53f && t < 80.36f) overlay(sceneState.heilu);
    if (t > 84.3f) overlay(sceneState.vispi);
}

void presentBoxScroller(const std::string& glowTarget, float t) {
    if (t > 125.3f) fadeTo(1 - (t - 125.3f) * 0.6289308f);
    engine.ScreenQuad(glowTarget, 1.0f);
}

const StereoScenePass kStrokeIntro{strokeIntroCamera, StrokeIntroScene, DrawMode::Additive,
                                   -4.0f, &kRt1, 2, 1.05f, presentPlain};
const StereoScenePass kPuolipallo{puolipalloCamera, PuolipalloScene, DrawMode::Opaque,
                                  -5.0f, &kRt1, 2, 1.05f, presentPuolipallo};
const StereoScenePass kLineField{lineFieldCamera, LineFieldScene, DrawMode::Additive,
                                 -3.0f, &kRt1, 2, 1.05f, presentPlain};
const StereoScenePass kVideoFlag{videoFlagCamera, VideoFlagScene, DrawMode::Additive,
                                 -5.0f, &kRt1, 2, 1.05f, presentVideoFlag};
const StereoScenePass kRisti{ristiCamera, RistiScene, DrawMode::Fog,
                             4.0f, &kRt2, 2, 1.05f, presentRisti};
const StereoScenePass kBoxScroller{boxScrollerCamera, boxScrollerContent, DrawMode::Additive,
                                   4.0f, &kRt1, 2, 0.9f, presentBoxScroller};

void noContent() {}

// The cost every stereo scene pays before drawing anything: both eyes, glow and quad.
const StereoScenePass kFloor{strokeIntroCamera, noContent, DrawMode::Additive,
                             -4.0f, &kRt1, 2, 1.05f, presentPlain};

void enableSceneFog() {
    static const GLfloat black[4] = {0, 0, 0, 1};
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogfv(GL_FOG_COLOR, black);
    glFogf(GL_FOG_DENSITY, 0.003f);
    glHint(GL_FOG_HINT, GL_NICEST);
    glFogf(GL_FOG_START, 500.0f);
    glFogf(GL_FOG_END, 700.0f);
    glEnable(GL_FOG);
}

void runStereoScenePass(const StereoScenePass& pass, float t) {
    if (pass.mode == DrawMode::Fog) enableSceneFog();

    engine.renderTargets.use(kRt0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);

    StereoCamera& camera = *sceneState.camera;
    pass.placeCamera(camera, t);

    if (pass.mode == DrawMode::Additive) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE);
        glDisable(GL_DEPTH_TEST);
    }

    camera.setStereo(pass.separation, true);
    camera.apply();
    pass.content();
    glClear(GL_DEPTH_BUFFER_BIT);
    camera.setStereo(pass.separation, false);
    camera.apply();
    pass.content();

    glColorMask(1, 1, 1, 1);
    if (pass.mode == DrawMode::Additive) {
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    } else if (pass.mode == DrawMode::Fog) {
        glDisable(GL_FOG);
    }
    engine.renderTargets.unuse();

    glColor3f(1, 1, 1);
    engine.GlowPass(kRt0, *pass.glowTarget, pass.glowCount, pass.glowGain);
    pass.present(*pass.glowTarget, t);
}

// ---- Start-up ------------------------------------------------------------------------

struct ModelPreloadEntry {
    const char* name;  // null ends the table
    int bits;          // 1 normals, 2 tangents, 4 upload to buffer objects
};

const ModelPreloadEntry kModelPreload[] = {
    {"puolipallo", 4},
    {"laser", 4},
    {nullptr, 0},
};

struct RenderTargetSize {
    const std::string* name;
    int width;
    int height;
};

const RenderTargetSize kRenderTargets[] = {
    {&kRt0, 1024, 512}, {&kRt1, 1024, 512}, {&kRt2, 1024, 512},
    {&kRtGlow, 256, 128}, {&kRtBlur, 256, 256},
};

// ---- What a play from the start leaves behind ------------------------------------------

// Where each clip is advanced for the first time in a play from the start; from then
// on its frame depends only on the clip time elapsed since.
struct ClipFirstUse {
    AviTexture* SceneState::*clip;
    int scene;
    float after;  // demo time the clip's window opens (exclusive)
};
const ClipFirstUse kClipFirstUses[] = {
    {&SceneState::heilu, 2, 15.7f},
    {&SceneState::dance, 2, 23.36f},
    {&SceneState::vispi, 5, 84.3f},
};

// GL state a scene switches on and no scene switches off: a play draws every later
// frame with it (the box wall's lines are smooth only after the laser scene).
struct LastingState {
    int scene;
    GLenum capability;
};
const LastingState kLastingStates[] = {
    {6, GL_LINE_SMOOTH},
    {8, GL_LINE_SMOOTH},
};

AviTexture* openClip(const char* fileName) {
    AviTexture* clip = new (std::nothrow) AviTexture;
    if (clip) clip->open(fileName);
    return clip;
}

}  // namespace

void ModelPreload() {
    for (const ModelPreloadEntry* entry = kModelPreload; entry->name; ++entry) {
        engine.models.load(entry->name);
        Model& model = engine.models.get(entry->name);
        if (entry->bits & 1) model.computeNormals();
        if (entry->bits & 2) model.computeTangents();
        if (entry->bits & 4) model.upload();
        reportLoadingStep();
    }
}

void EffectSetup() {
    // A capture drawn k times larger gets k times the pixels in every target; the
    // passes read each target whole, so its storage is exactly its picture.
    const float k = engine.pictureScale;
    for (const RenderTargetSize& target : kRenderTargets) {
        engine.textures.createTexture(*target.name, static_cast<int>(std::lround(target.width * k)),
                                      static_cast<int>(std::lround(target.height * k)), nullptr,
                                      GL_RGBA8, GL_RGBA, true);
    }
    RenderTargetRecord record;
    for (const RenderTargetSize& target : kRenderTargets) {
        glGenFramebuffersEXT(1, &record.framebuffer);
        record.attachTexture(engine.textures, *target.name, GL_COLOR_ATTACHMENT0_EXT,
                             GL_TEXTURE_2D);
        engine.renderTargets.addTarget(*target.name, record);
    }

    engine.textures.setFilter(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    engine.textures.setAnisotropy(2.0f);
    engine.textures.loadTexture("risti", -1, -1);
    reportLoadingStep();

    // The second build keeps the higher anisotropy for every later load.
    if (!kSecondBuild) {
        engine.textures.setAnisotropy(1.0f);
        engine.textures.loadTexture("overlay", -1, -1);
        reportLoadingStep();
    }

    sceneState.dance = openClip(dataPath("dance.avi").c_str());
    sceneState.heilu = openClip(dataPath("heilu.avi").c_str());
    sceneState.vispi = openClip(dataPath("vispi.avi").c_str());
}

void catchUpWithSchedule(int fps, int64_t ms, uint32_t clipNow) {
    constexpr int kClips = sizeof kClipFirstUses / sizeof kClipFirstUses[0];
    bool drawn[9] = {};            // scenes that drew a frame before `ms`
    int64_t firstUse[kClips];      // demo ms of each clip's first advance; -1 for none yet
    std::fill(firstUse, firstUse + kClips, -1);
    for (int64_t k = 0;; ++k) {
        const int64_t frameMs = std::llround(static_cast<double>(k) * 1000.0 / fps);
        if (frameMs >= ms) break;
        const float t = static_cast<float>(frameMs) * 0.001f;
        const int scene = sceneIndexAt(t);
        drawn[scene] = true;
        for (int i = 0; i < kClips; ++i) {
            if (firstUse[i] < 0 && scene == kClipFirstUses[i].scene && t > kClipFirstUses[i].after)
                firstUse[i] = frameMs;
        }
    }

    for (const LastingState& state : kLastingStates) glDisable(state.capability);
    for (const LastingState& state : kLastingStates) {
        if (drawn[state.scene]) glEnable(state.capability);
    }

    for (int i = 0; i < kClips; ++i) {
        AviTexture* clip = sceneState.*(kClipFirstUses[i].clip);
        if (!clip) continue;
        if (firstUse[i] < 0) {
            // Not used yet: its first advance starts it, as in the play.
            clip->started = false;
            clip->currentFrame = clip->firstFrame;
        } else {
            clip->startAt(clipNow - static_cast<uint32_t>(ms - firstUse[i]));
        }
    }
}

void drawFloorFrame(float time) {
    sceneState.time = time;
    if (!sceneState.camera) sceneState.camera = sharedCamera;
    if (!sceneState.camera) fatalError("The scene camera does not exist: scene data not set up.");
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    runStereoScenePass(kFloor, time);
}

void drawTimeline(float time, float delta) {
    (void)delta;  // offered to the scenes; none of this production's reads it
    sceneState.time = time;
    // Every scene, the whole-frame ones included, looks through the one shared camera.
    if (!sceneState.camera) sceneState.camera = sharedCamera;
    if (!sceneState.camera) fatalError("The scene camera does not exist: scene data not set up.");

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    setLineWidth(3.0f);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);

    switch (sceneIndexAt(time)) {
        case 1: runStereoScenePass(kStrokeIntro, time); break;
        case 2: runStereoScenePass(kPuolipallo, time); break;
        case 3: runStereoScenePass(kLineField, time); break;
        case 4: runStereoScenePass(kVideoFlag, time); break;
        case 5: runStereoScenePass(kRisti, time); break;
        case 6: LaserScene(); break;
        case 7: runStereoScenePass(kBoxScroller, time); break;
        case 8: TunnelScene(); break;
        default: std::exit(0);  // the last scene is over: the production ends here
    }
}
