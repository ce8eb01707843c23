// Linked GLSL programs by name, built from source text handed in by the materials.
#pragma once

#include "core/GL.h"
#include "resources/Registry.h"

#include <string>

class ShaderManager : public UsableRegistry<GLhandleARB> {
public:
    std::string kindName() const override { return "shader"; }

    // Compiles both texts (an empty text is skipped), links, files under `name`.
    // Compile and link errors are fatal with the driver's log (cut to 1023 chars).
    void createProgram(const std::string& name, const std::string& vertexSource,
                       const std::string& fragmentSource);
    // Integer uniform of the current program; an unknown uniform is ignored.
    void setUniformInt(const char* uniformName, int value);

    GLhandleARB compileShader(GLenum stage, const std::string& programName,
                              const std::string& source);

protected:
    void onUse(const std::string& name) override;
    void onUnuse() override;

private:
    char compileLog_[1024] = {};
    char linkLog_[1024] = {};
};
