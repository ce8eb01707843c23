// GLSL programs through the ARB shader-object entry points. Shader and program
// objects are never deleted: a re-created name abandons its old program.
#include "materials/ShaderManager.h"

#include "core/Fatal.h"

void ShaderManager::onUse(const std::string& name) { glUseProgramObjectARB(get(name)); }

void ShaderManager::onUnuse() { glUseProgramObjectARB(0); }

GLhandleARB ShaderManager::compileShader(GLenum stage, const std::string& programName,
                                         const std::string& source) {
    GLhandleARB shader = glCreateShaderObjectARB(stage);
    // The length is passed, so the text is taken exactly as stored, with no terminator.
    const GLcharARB* text = source.data();
    GLint length = static_cast<GLint>(source.size());
    glShaderSourceARB(shader, 1, &text, &length);
    glCompileShaderARB(shader);
    GLint status = 0;
    glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
    if (status) return shader;
    compileLog_[0] = '\0';
    glGetInfoLogARB(shader, sizeof compileLog_, nullptr, compileLog_);
    compileLog_[sizeof compileLog_ - 1] = '\0';
    fatalError("Error compiling %s shader '%s':\n%s",
               stage == GL_VERTEX_SHADER_ARB ? "vertex" : "fragment", programName.c_str(),
               compileLog_);
}

void ShaderManager::createProgram(const std::string& name, const std::string& vertexSource,
                                  const std::string& fragmentSource) {
    GLhandleARB program = glCreateProgramObjectARB();
    if (!vertexSource.empty()) {
        glAttachObjectARB(program, compileShader(GL_VERTEX_SHADER_ARB, name, vertexSource));
    }
    if (!fragmentSource.empty()) {
        glAttachObjectARB(program, compileShader(GL_FRAGMENT_SHADER_ARB, name, fragmentSource));
    }
    glLinkProgramARB(program);
    GLint status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
    if (!status) {
        linkLog_[0] = '\0';
        glGetInfoLogARB(program, sizeof linkLog_, nullptr, linkLog_);
        linkLog_[sizeof linkLog_ - 1] = '\0';
        fatalError("Error linking shader '%s':\n%s", name.c_str(), linkLog_);
    }
    entry(name) = program;
}

void ShaderManager::setUniformInt(const char* uniformName, int value) {
    GLhandleARB program = get(current_);
    // A sampler the linker dropped gives -1, which GL ignores without an error.
    glUniform1iARB(glGetUniformLocationARB(program, uniformName), value);
}
