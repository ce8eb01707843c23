// Whole-run settings of the shell, the buffer swap and the resize projection.
#include "app/App.h"

#include "core/GL.h"
#include "platform/Platform.h"

int screenWidth = 800;
int screenHeight = 600;
int viewportWidth = 0;
int viewportHeight = 0;
const char* windowTitle = "Vornekka";
std::string musicFile = "data/sorvan.mp3";

ScreenCapture screenCapture;

void swapBuffers() { platformSwapBuffers(); }

void resizeView(int width, int height) {
    // A zero-height client area (some window managers send one) would divide by zero.
    if (height <= 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, static_cast<double>(width) / height, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
