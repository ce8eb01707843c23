// Materials on llvmpipe: programs and textures from material files, units and
// samplers when a material is used, reloading, and the texture-loading reports.
#include "TestSupport.h"
#include "effects/Engine.h"
#include "materials/MaterialManager.h"
#include "resources/ImageFile.h"

#include <gtest/gtest.h>

#include <array>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* kVertex = "void main() { gl_Position = gl_Vertex; gl_TexCoord[0] = vec4(0.5); }\n";

// Each test runs in a fresh folder with "data/materials", on the shared GL context.
class Materials : public ::testing::Test {
protected:
    void SetUp() override {
        requireGLContext();
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        previous_ = cwd;
        std::string folder = makeTempDir("materials");
        ASSERT_EQ(mkdir((folder + "/data").c_str(), 0755), 0);
        ASSERT_EQ(mkdir((folder + "/data/materials").c_str(), 0755), 0);
        ASSERT_EQ(chdir(folder.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

    static std::string write(const std::string& name, const std::string& text) {
        std::string path = "data/materials/" + name;
        writeFileBytes(path, text);
        return path;
    }
    // A 1 x 1 RGB texture registered under `name` (so no file is read for it).
    static GLuint solidTexture(const std::string& name, uint8_t r, uint8_t g, uint8_t b) {
        const uint8_t pixel[] = {r, g, b};
        engine.textures.createTexture(name, 1, 1, pixel, GL_RGB, GL_RGB);
        return engine.textures.get(name).glName;
    }
    static void writePng(const std::string& base, uint8_t r, uint8_t g, uint8_t b) {
        Image image;
        make_image(image, 2, 2, 3);
        for (int i = 0; i < 4; ++i) {
            image.pixels[i * 3] = r;
            image.pixels[i * 3 + 1] = g;
            image.pixels[i * 3 + 2] = b;
        }
        ASSERT_TRUE(write_png(("data/" + base + ".png").c_str(), image));
        delete[] image.pixels;
    }
    static std::array<int, 3> drawnColour() {
        glViewport(0, 0, 16, 16);
        glClear(GL_COLOR_BUFFER_BIT);
        glBegin(GL_QUADS);
        glVertex2f(-1, -1);
        glVertex2f(1, -1);
        glVertex2f(1, 1);
        glVertex2f(-1, 1);
        glEnd();
        std::vector<uint8_t> rgb = readPixelsRGB(8, 8, 1, 1);
        return {rgb[0], rgb[1], rgb[2]};
    }

    std::string previous_;
};

class MaterialsDeathTest : public Materials {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");  // the GL context runs threads
        Materials::SetUp();
    }
};

TEST_F(Materials, FiveTexturesGoToUnitsInFileOrder) {
    const uint8_t colours[5][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}};
    GLuint names[5];
    std::string text = "%VERTEX_SHADER\n" + std::string(kVertex) + "%FRAGMENT_SHADER\n";
    for (int i = 0; i < 5; ++i) {
        std::string n = std::to_string(i);
        names[i] = solidTexture("five" + n, colours[i][0], colours[i][1], colours[i][2]);
        text += "uniform sampler2D s" + n + ";\n%TEX2D s" + n + " = five" + n + "\n";
    }
    // `others` is 0 when drawn, but unknown to the compiler, so every sampler stays live.
    text += "uniform float others;\n"
            "void main() { gl_FragColor = texture2D(s3, gl_TexCoord[0].xy) + others *\n"
            "  (texture2D(s0, vec2(0.5)) + texture2D(s1, vec2(0.5)) + texture2D(s2, vec2(0.5)) +\n"
            "   texture2D(s4, vec2(0.5))); }\n";
    engine.materials.loadMaterialFile("five", write("five.mat", text));
    const Material& material = engine.materials.get("five");
    EXPECT_EQ(material.shaderName, "SHD$five");
    ASSERT_EQ(material.textures.size(), 5u);

    engine.materials.use("five");
    EXPECT_EQ(engine.shaders.current(), "SHD$five");
    GLhandleARB program = engine.shaders.get("SHD$five");
    for (int i = 0; i < 5; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(static_cast<GLuint>(bound), names[i]) << "unit " << i;
        GLint unit = -1;
        glGetUniformivARB(program, glGetUniformLocationARB(program, ("s" + std::to_string(i)).c_str()), &unit);
        EXPECT_EQ(unit, i) << "sampler s" << i;
    }
    glActiveTexture(GL_TEXTURE0);
    engine.materials.use("five");  // using it again leaves unit 0 active
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{255, 255, 0}));

    engine.materials.unuse();
    EXPECT_EQ(engine.shaders.current(), "");
    EXPECT_EQ(engine.materials.current(), "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Materials, SharedTexturesLoadOnceAndReloadTakesNewText) {
    writePng("shared_tile", 0, 0, 255);
    std::string text = "%TEX2D tile = shared_tile\n%FRAGMENT_SHADER\nuniform sampler2D tile;\n"
                       "void main() { gl_FragColor = texture2D(tile, vec2(0.5)); }\n";
    size_t before = engine.textures.size();
    engine.materials.loadMaterialFile("one", write("one.mat", text));
    GLuint loaded = engine.textures.get("shared_tile").glName;
    engine.materials.loadMaterialFile("two", write("two.mat", text));
    EXPECT_EQ(engine.textures.size(), before + 1);
    EXPECT_EQ(engine.textures.get("shared_tile").glName, loaded);
    engine.materials.use("two");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 0, 255}));
    engine.materials.unuse();

    // The file edited: a new program under the same name and a new slot list; the
    // texture file changed on disk is not read again.
    writePng("shared_tile", 255, 0, 0);
    GLhandleARB oldProgram = engine.shaders.get("SHD$two");
    engine.materials.loadMaterialFile(
        "two", write("two.mat", "%FRAGMENT_SHADER\nvoid main() { gl_FragColor = vec4(0, 1, 0, 1); }\n"));
    EXPECT_NE(engine.shaders.get("SHD$two"), oldProgram);
    EXPECT_TRUE(engine.materials.get("two").textures.empty());
    engine.materials.use("two");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 255, 0}));
    engine.materials.unuse();
    engine.materials.use("one");
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 0, 255}));
    engine.materials.unuse();
}

TEST_F(Materials, RegisteredOneAndThreeDimensionalTexturesBindWithTheirTarget) {
    GLuint volume;
    glGenTextures(1, &volume);
    glBindTexture(GL_TEXTURE_3D, volume);
    const uint8_t texel[] = {0, 255, 0};
    glTexImage3D(GL_TEXTURE_3D, 0, GL_RGB, 1, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_3D, 0);
    engine.textures.entry("cloud").glName = volume;

    engine.materials.loadMaterialFile(
        "volume", write("volume.mat", "%TEX3D cloud = cloud\n%FRAGMENT_SHADER\nuniform sampler3D cloud;\n"
                                      "void main() { gl_FragColor = texture3D(cloud, vec3(0.5)); }\n"));
    engine.materials.use("volume");
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_3D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), volume);
    EXPECT_EQ(drawnColour(), (std::array<int, 3>{0, 255, 0}));
    engine.materials.unuse();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Materials, SetUpLoadsTheThreeMaterials) {
    solidTexture("loading", 255, 255, 255);
    solidTexture("rt1", 1, 2, 3);
    const std::string fragment = "%FRAGMENT_SHADER\nuniform sampler2D frame;\n"
                                 "void main() { gl_FragColor = texture2D(frame, vec2(0.5)); }\n";
    write("test.mat", "%TEX2D frame = rt1\n" + fragment);
    write("show_normals.mat", "%VERTEX_SHADER\n" + std::string(kVertex));
    write("pp_invert.mat", "%TEX2D frame = rt1\n" + fragment);
    loadMaterials();
    EXPECT_EQ(engine.materials.get("test").shaderName, "SHD$test");
    EXPECT_EQ(engine.materials.get("show_normals").shaderName, "SHD$show_normals");
    EXPECT_EQ(engine.materials.get("pp.invert").shaderName, "SHD$pp.invert");
    EXPECT_EQ(engine.materials.get("pp.invert").textures.size(), 1u);
}

TEST_F(MaterialsDeathTest, FailuresAreReported) {
    EXPECT_EXIT(engine.materials.loadMaterialFile("cube", write("cube.mat", "%TEXcube sky = sky\n")),
                ::testing::ExitedWithCode(1), "Invalid texture type 'cube' in line '%TEXcube sky = sky");
    EXPECT_EXIT(engine.materials.loadMaterialFile("vol", write("vol.mat", "%TEX3D v = nowhere3d\n")),
                ::testing::ExitedWithCode(1),
                "Loading 3D texture files not supported!\nTexture \"nowhere3d\"\n\\[MaterialManager.cpp, "
                "line [0-9]+\\]");
    EXPECT_EXIT(engine.materials.loadMaterialFile("line", write("line.mat", "%TEX1D v = nowhere1d\n")),
                ::testing::ExitedWithCode(1), "Unhandled type 3552 in MaterialManager.cpp, line [0-9]+!");
    EXPECT_EXIT(engine.materials.loadMaterialFile("missing", write("missing.mat", "%TEX2D t = nowhere2d\n")),
                ::testing::ExitedWithCode(1), "nowhere2d");
    EXPECT_EXIT(engine.materials.loadMaterialFile(
                    "test", write("bad.mat", "%FRAGMENT_SHADER\nvoid main() { nonsense }\n")),
                ::testing::ExitedWithCode(1), "Error compiling fragment shader 'SHD\\$test':\n.+");
    EXPECT_EXIT(engine.materials.loadMaterialFile("absent", "data/materials/absent.mat"),
                ::testing::ExitedWithCode(1), "Could not open material file 'data/materials/absent.mat'\\.");
    EXPECT_EXIT(engine.materials.use("absent"), ::testing::ExitedWithCode(1), "No such material: 'absent'\\.");
    EXPECT_EXIT(engine.materials.unuse(), ::testing::ExitedWithCode(1), "Cannot unuse: No material in use\\.");
}

}  // namespace
