// The table of GL features the program uses and the entry points it calls through each.
// GLEW's own flags cannot tell: loaded experimentally they follow the entry points,
// which Mesa hands out for any name, so the driver's strings decide what is offered.
#include "app/GLFeatures.h"

#include "core/GL.h"

#include <cstdio>

namespace {

bool versionAtLeast(int major, int minor) {
    const char* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int haveMajor = 0, haveMinor = 0;
    if (!text || std::sscanf(text, "%d.%d", &haveMajor, &haveMinor) != 2) return false;
    return haveMajor > major || (haveMajor == major && haveMinor >= minor);
}

bool extension(const char* name) { return glewGetExtension(name) == GL_TRUE; }

// Entry points are GLEW's function pointers, null where the driver gave none.
template <typename... Functions>
bool loaded(Functions... functions) {
    return ((functions != nullptr) && ...);
}

}  // namespace

std::vector<GLFeature> queryGLFeatures(bool readsFramesBack) {
    std::vector<GLFeature> features = {
        {"framebuffer objects (GL_EXT_framebuffer_object)",
         extension("GL_EXT_framebuffer_object"),
         loaded(glGenFramebuffersEXT, glBindFramebufferEXT, glDeleteFramebuffersEXT,
                glFramebufferTexture2DEXT, glCheckFramebufferStatusEXT, glGenRenderbuffersEXT,
                glBindRenderbufferEXT, glRenderbufferStorageEXT, glFramebufferRenderbufferEXT)},
        {"buffer objects (GL_ARB_vertex_buffer_object and OpenGL 1.5)",
         extension("GL_ARB_vertex_buffer_object") && versionAtLeast(1, 5),
         loaded(glGenBuffersARB, glBindBufferARB, glBufferDataARB, glDeleteBuffersARB,
                glMapBufferARB, glUnmapBufferARB, glGenBuffers, glBindBuffer, glBufferData)},
        {"range draws (GL_EXT_draw_range_elements and OpenGL 1.2)",
         extension("GL_EXT_draw_range_elements") && versionAtLeast(1, 2),
         loaded(glDrawRangeElementsEXT, glDrawRangeElements)},
        {"BGR pixel data (OpenGL 1.2)", versionAtLeast(1, 2), true},
        {"multitexture and cube maps (OpenGL 1.3)", versionAtLeast(1, 3),
         loaded(glActiveTexture, glClientActiveTexture)},
        {"secondary colour arrays (OpenGL 1.4)", versionAtLeast(1, 4),
         loaded(glSecondaryColorPointer)},
        {"generic vertex attributes (OpenGL 2.0)", versionAtLeast(2, 0),
         loaded(glGetAttribLocation, glEnableVertexAttribArray, glDisableVertexAttribArray,
                glVertexAttribPointer)},
        {"shading language (GL_ARB_shading_language_100)",
         extension("GL_ARB_shading_language_100"), true},
        {"shader objects (GL_ARB_shader_objects)", extension("GL_ARB_shader_objects"),
         loaded(glCreateShaderObjectARB, glShaderSourceARB, glCompileShaderARB,
                glCreateProgramObjectARB, glAttachObjectARB, glLinkProgramARB,
                glUseProgramObjectARB, glGetObjectParameterivARB, glGetInfoLogARB,
                glGetUniformLocationARB, glUniform1iARB)},
        {"vertex and fragment shaders (GL_ARB_vertex_shader, GL_ARB_fragment_shader)",
         extension("GL_ARB_vertex_shader") && extension("GL_ARB_fragment_shader"), true},
        {"blend colour (GL_EXT_blend_color)", extension("GL_EXT_blend_color"),
         loaded(glBlendColorEXT)},
    };
    if (readsFramesBack) {
        features.push_back({"pixel buffer objects (GL_ARB_pixel_buffer_object)",
                            extension("GL_ARB_pixel_buffer_object"), true});
    }
    return features;
}

std::string missingGLFeatures(const std::vector<GLFeature>& features) {
    std::string missing;
    for (const GLFeature& feature : features) {
        if (feature.offered && feature.loaded) continue;
        if (!missing.empty()) missing += ", ";
        missing += feature.name;
    }
    return missing;
}
