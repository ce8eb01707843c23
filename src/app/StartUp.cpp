// The start-up sequence, one frame, the window events of the main loop and the F11
// capture written at the end of a frame.
#include "app/App.h"
#include "app/DemoContext.h"
#include "app/GLFeatures.h"
#include "app/LoadingScreen.h"
#include "core/Fatal.h"
#include "core/GL.h"
#include "core/Progress.h"
#include "effects/Engine.h"
#include "effects/SceneData.h"
#include "effects/SceneState.h"
#include "effects/Timeline.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {
float previousFrameTime = 0.0f;  // demo time of the last frame, for the timeline's delta

// What every frame leaves for the next. The box wall's point cloud takes its first
// eye's colour from here, so the first frame of a run must find it too.
void endFrameState() {
    glDisable(GL_BLEND);
    glColor3f(0.23f, 1.0f, 1.0f);
    // The stereo passes leave a partial colour mask and scenes may leave lights on.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDisable(GL_LIGHTING);
    for (int light = 0; light < 8; ++light) glDisable(GL_LIGHT0 + light);
}
}  // namespace

bool startUp(bool readsFramesBack) {
    // Reading the music and decoding its first seconds run beside the loading steps.
    platformDecodeMusicAhead(musicFile.c_str());
    loadingStepHook = loadingStep;
    std::string error;
    if (!platformInitGL(error)) fatalError("Could not init GLEW: %s", error.c_str());
    const std::string missing = missingGLFeatures(queryGLFeatures(readsFramesBack));
    if (!missing.empty())
        fatalErrorText(("This OpenGL driver lacks what the demo draws with: " + missing).c_str());

    demoContext.reset();
    demoContext.setPulseLength(0.4f);
    demoContext.setTempo(126.0f);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, static_cast<double>(viewportWidth) / viewportHeight, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    setLineWidth(2.0f);
    demoContext.setAspect(4.0f, 3.0f);

    engine.textures.loadTexture("loading", -1, -1);
    loadingStep();
    ModelPreload();
    loadingStep();
    EffectSetup();
    loadingStep();
    setupSceneData();
    loadingStep();
    loadMaterials();
    loadingStep();

    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClearDepth(1.0);
    endFrameState();
    return true;
}

void drawFrame() {
    demoContext.updateClock();
    drawFrameAt(demoContext.time);
}

void drawFrameAt(float time) {
    demoContext.time = time;
    sceneState.beatPulse = demoContext.beatPulse();
    float delta = time - previousFrameTime;
    previousFrameTime = time;
    drawTimeline(time, delta);
    endFrameState();
    glFlush();
    captureFrame();
}

void captureFrame() {
    ScreenCapture& capture = screenCapture;
    if (!capture.requested) return;
    if (!capture.allocated) {
        make_image(capture.image, viewportWidth, viewportHeight, 3);
        capture.allocated = true;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, capture.image.width, capture.image.height, GL_RGB, GL_UNSIGNED_BYTE,
                 capture.image.pixels);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    std::snprintf(capture.path, sizeof capture.path, "%s/shot%04d.png", capture.folder,
                  capture.counter);
    flip_image(capture.image, true, false);

    std::error_code failure;
    std::filesystem::path folder = std::filesystem::path(capture.path).parent_path();
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        std::fprintf(stderr, "Cannot create the capture folder %s: %s\n", folder.c_str(),
                     failure.message().c_str());
    }
    write_png(capture.path, capture.image);
    // A failed write still uses up its number, so later captures never overwrite it.
    ++capture.counter;
    capture.requested = false;
}

void handleEvent(const PlatformEvent& event) {
    const int key = event.virtualKey;
    switch (event.type) {
    case PlatformEventType::KeyDown:
        if (key > 0 && key <= 255) {
            engine.keys[key] = 1;
            onKeyDown(key);
        }
        break;
    case PlatformEventType::KeyUp:
        if (key > 0 && key <= 255) engine.keys[key] = 0;
        break;
    case PlatformEventType::Close:
        std::exit(0);
    case PlatformEventType::Resized:
        resizeView(event.width, event.height);
        break;
    case PlatformEventType::Minimized:
    case PlatformEventType::None:
        break;
    }
}

void dispatchEvents() {
    PlatformEvent event;
    while (platformPollEvent(event)) handleEvent(event);
}
