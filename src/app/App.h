// The application shell's globals and the calls other subsystems make into it.
#pragma once

extern int screenWidth;      // 800: window and display mode width
extern int screenHeight;     // 600
extern int viewportWidth;    // copies made once at start; never follow resizes
extern int viewportHeight;

// Presents the back buffer of the demo window.
void swapBuffers();
// Viewport to the whole client area, 90 degree projection with near plane 1.0.
void resizeView(int width, int height);
