// The demo clock: the music's play position, read once per frame, and the keys that
// move it. Seeks and pauses go to the stream; `time` follows at the next frame.
#include "app/DemoContext.h"

#include "app/App.h"
#include "core/GL.h"
#include "effects/Engine.h"
#include "platform/Platform.h"

#include <cmath>
#include <cstdlib>

DemoContext demoContext;

void DemoContext::updateClock() { time = music ? music->positionMs() * 0.001f : 0.0f; }

void DemoContext::seek(float seconds) {
    // Negative (and NaN) targets start the track; beyond int milliseconds is past any end.
    if (!(seconds > 0.0f)) seconds = 0.0f;
    int ms = seconds >= 2147483.0f ? 2147483647 : static_cast<int>(seconds * 1000.0f);
    if (music) music->setPositionMs(ms);
}

void DemoContext::togglePause() {
    paused = !paused;
    if (music) music->setPaused(paused);
}

float DemoContext::beatPulse() const {
    float beats = (time - 11.841f) * (tempo * 0.016666668f);
    float phase = beats - std::trunc(beats);
    float pulse = (pulseLength - phase * (60.0f / tempo)) / pulseLength;
    return pulse < 0.0f ? 0.0f : pulse;
}

void DemoContext::setAspect(float widthRatio, float heightRatio) {
    float aspect = widthRatio / heightRatio;
    float width, height;
    if (aspect >= 1.0f) {
        width = static_cast<float>(viewportWidth);
        height = viewportWidth / aspect;
    } else {
        height = static_cast<float>(viewportHeight);
        width = viewportHeight * aspect;
    }
    float x = (viewportWidth - width) * 0.5f;
    float y = (viewportHeight - height) * 0.5f;
    glViewport(static_cast<GLint>(x), static_cast<GLint>(y), static_cast<GLsizei>(width),
               static_cast<GLsizei>(height));
}

void onKeyDown(int virtualKey) {
    DemoContext& demo = demoContext;
    switch (virtualKey) {
    case 27: std::exit(0);
    case 33: demo.seek(demo.time - 30.0f); break;
    case 34: demo.seek(demo.time + 30.0f); break;
    case 37: demo.seek(demo.time - 1.0f); break;
    case 38: demo.seek(demo.time + 5.0f); break;
    case 39: demo.seek(demo.time + 1.0f); break;
    case 40: demo.seek(demo.time - 5.0f); break;
    case 76: loadMaterials(); break;
    case 80: demo.togglePause(); break;
    case 122: screenCapture.requested = true; break;
    default: break;
    }
}
