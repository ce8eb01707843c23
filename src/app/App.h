// The application shell's globals and the calls other subsystems make into it.
#pragma once

#include "resources/ImageFile.h"

#include <string>

extern int screenWidth;      // 800: window and display mode width
extern int screenHeight;     // 600
extern int viewportWidth;    // copies made once at start; never follow resizes
extern int viewportHeight;
extern const char* windowTitle;  // "Vornekka"
extern std::string musicFile;    // sorvan.mp3 of the data folder, set at start-up

// Presents the back buffer of the demo window.
void swapBuffers();
// Viewport to the whole client area, 90 degree projection with near plane 1.0.
void resizeView(int width, int height);

// F11 captures: one request gives one numbered PNG of the viewport, written at the
// end of the frame. The image is allocated on the first capture and then reused.
struct ScreenCapture {
    bool requested = false;  // set by the key handler, cleared after each capture
    int counter = 0;         // number of the next file; advances even when writing fails
    const char* folder = "w:/shots";  // where the files go (--shots); created when missing
    char path[4200] = {};    // the formatted file name: folder (under 4096) + "/shotNNNN.png"
    Image image;             // viewport-sized RGB, bottom row first until flipped
    bool allocated = false;  // image holds its pixel buffer
};

extern ScreenCapture screenCapture;

// Writes the requested capture, if any, from the current read buffer.
void captureFrame();

struct PlatformEvent;

// GL entry points, render state and every resource set-up, with loading frames between
// the slow steps; fatal, naming them, when GL features it draws with are missing (with
// `readsFramesBack` also those of the offline modes). Always true.
bool startUp(bool readsFramesBack = false);
// One frame at the music's time; the caller swaps buffers.
void drawFrame();
// The same frame at a given demo time, for the offline modes' frame clock.
void drawFrameAt(float time);
// Key-state table, key handler, window close (ends the run) and resizes.
void handleEvent(const PlatformEvent& event);
// Handles every waiting event.
void dispatchEvents();
