// GLSL programs compiled and linked on llvmpipe: stage combinations, replacing a name,
// integer uniforms, and the compile and link reports.
#include "TestSupport.h"
#include "materials/ShaderManager.h"

#include <gtest/gtest.h>

#include <array>

namespace {

const char* kVertex = "void main() { gl_Position = gl_Vertex; }\n";
const char* kRed = "void main() { gl_FragColor = vec4(1.0, 0.0, 0.0, 1.0); }\n";
const char* kBlue = "void main() { gl_FragColor = vec4(0.0, 0.0, 1.0, 1.0); }\n";

class Shaders : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        glViewport(0, 0, 16, 16);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    // The colour a full-view quad gets under whatever program is current.
    static std::array<int, 3> drawnColour() {
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(0, 1, 0);
        glBegin(GL_QUADS);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(1, 1);
        glVertex2f(-1, 1);
        glEnd();
        std::vector<uint8_t> rgb = readPixelsRGB(8, 8, 1, 1);
        return {rgb[0], rgb[1], rgb[2]};
    }
    static GLint attachedCount(GLhandleARB program) {
        GLint count = -1;
        glGetObjectParameterivARB(program, GL_OBJECT_ATTACHED_OBJECTS_ARB, &count);
        return count;
    }
    ShaderManager shaders;
};

// The context's rasteriser threads make a plain fork unsafe: children re-run the binary.
class ShadersDeathTest : public Shaders {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        Shaders::SetUp();
    }
};

TEST_F(Shaders, ProgramsBindAndNamesTakeNewPrograms) {
    shaders.createProgram("SHD$red", kVertex, kRed);
    EXPECT_EQ(attachedCount(shaders.get("SHD$red")), 2);
    shaders.use("SHD$red");
    EXPECT_EQ(shaders.current(), "SHD$red");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{255, 0, 0}));
    shaders.unuse();
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 255, 0}));

    GLhandleARB first = shaders.get("SHD$red");
    shaders.createProgram("SHD$red", kVertex, kBlue);
    EXPECT_NE(shaders.get("SHD$red"), first);
    EXPECT_EQ(shaders.size(), 1u);
    shaders.use("SHD$red");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 0, 255}));
    shaders.unuse();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Shaders, EmptyTextsLeaveTheirStageFixedFunction) {
    shaders.createProgram("SHD$fragmentOnly", "", kBlue);
    EXPECT_EQ(attachedCount(shaders.get("SHD$fragmentOnly")), 1);
    shaders.use("SHD$fragmentOnly");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 0, 255}));
    shaders.unuse();

    shaders.createProgram("SHD$none", "", "");
    EXPECT_EQ(attachedCount(shaders.get("SHD$none")), 0);
}

TEST_F(Shaders, IntegerUniformsReachTheCurrentProgram) {
    shaders.createProgram("SHD$select", kVertex,
                          "uniform int choice;\n"
                          "void main() { gl_FragColor = choice == 2 ? vec4(1.0) : vec4(0.0); }\n");
    shaders.use("SHD$select");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 0, 0}));
    shaders.setUniformInt("choice", 2);
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{255, 255, 255}));
    shaders.setUniformInt("neverDeclared", 1);  // ignored, no GL error
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    shaders.unuse();
}

TEST_F(ShadersDeathTest, FailuresAreReportedWithStageAndProgram) {
    EXPECT_EXIT(shaders.createProgram("SHD$test", kVertex, "void main() { syntax error }\n"),
                ::testing::ExitedWithCode(1), "Error compiling fragment shader 'SHD\\$test':\n.+");
    // Both stages broken: the vertex shader is compiled first and reported.
    EXPECT_EXIT(shaders.createProgram("SHD$both", "broken", "broken"),
                ::testing::ExitedWithCode(1), "Error compiling vertex shader 'SHD\\$both':\n.+");
    EXPECT_EXIT(shaders.createProgram("SHD$link", kVertex,
                                      "void helper();\nvoid main() { helper(); }\n"),
                ::testing::ExitedWithCode(1), "Error linking shader 'SHD\\$link':\n.+");
    EXPECT_EXIT(shaders.setUniformInt("choice", 0), ::testing::ExitedWithCode(1),
                "No such shader: ''\\.");
    EXPECT_EXIT(shaders.use("SHD$absent"), ::testing::ExitedWithCode(1),
                "No such shader: 'SHD\\$absent'\\.");
    EXPECT_EXIT(shaders.unuse(), ::testing::ExitedWithCode(1), "Cannot unuse: No shader in use\\.");
}

TEST_F(ShadersDeathTest, LongInfoLogIsCutNotOverflowed) {
    // Hundreds of errors give a log far beyond both the log buffer and the report.
    std::string source = "void main() {\n";
    for (int i = 0; i < 400; ++i) source += "  undeclared" + std::to_string(i) + " = 1;\n";
    source += "}\n";
    EXPECT_EXIT(shaders.createProgram("SHD$noisy", source, kRed), ::testing::ExitedWithCode(1),
                "Error compiling vertex shader 'SHD\\$noisy':\n.*undeclared");
}

}  // namespace
