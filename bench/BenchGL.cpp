#include "BenchGL.h"

#include "core/GL.h"
#include "platform/Platform.h"

#include <cstdlib>
#include <malloc.h>
#include <string>

bool haveGLContext() {
    static const bool ok = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        // As the demo does: llvmpipe's per-flush buffers would otherwise be trimmed
        // from the heap and faulted back in after every glFinish.
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
        PlatformWindowRequest request;
        request.fullScreen = false;
        request.hidden = true;
        request.vsync = false;
        std::string error;
        return platformOpenWindow(request) != PlatformWindowResult::Failed && platformInitGL(error);
    }();
    return ok;
}

void resetBenchView() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 4.0 / 3.0, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_FOG);
    glDisable(GL_TEXTURE_2D);
    glLineWidth(3.0f);
}
