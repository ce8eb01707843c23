// The material file parser: sections, texture lines, long lines and every report,
// plus the writer's files read back.
#include "TestSupport.h"
#include "materials/MaterialManager.h"

#include <gtest/gtest.h>

namespace {

class MaterialFiles : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        writeFileBytes(path, text);
        return path;
    }
    MaterialSource parse(const std::string& text) { return readMaterialFile(write("m.mat", text)); }
    std::string dir_ = makeTempDir("material");
};

using MaterialFilesDeathTest = MaterialFiles;

TEST_F(MaterialFiles, LinesWithoutMarkersAreAllVertexText) {
    const std::string text = "\nvoid main() {\r\n\n  gl_Position = ftransform();\n}";
    MaterialSource source = parse(text);
    EXPECT_EQ(source.vertexText, text);
    EXPECT_EQ(source.fragmentText, "");
    EXPECT_TRUE(source.textures.empty());
    EXPECT_EQ(parse("").vertexText, "");
}

TEST_F(MaterialFiles, SectionsAlternateAndTextureLinesStandAnywhere) {
    MaterialSource source = parse(
        "\n"
        "%VERTEX_SHADER anything after the marker is dropped\n"
        "uniform sampler2D baseMap;\n"
        "%TEX2D baseMap = rock\n"
        "void main() {}\r\n"
        "%FRAGMENT_SHADER\n"
        "// fragment one\n"
        "%TEX   CUBE sky\t=sky_map trailing words\n"
        "%VERTEX_SHADER\n"
        "// vertex again\n"
        "%FRAGMENT_SHADER\n"
        "// fragment two\n"
        "  %TEX1D  line =line\n"
        "%TEX3D volume = cloud\n");
    EXPECT_EQ(source.vertexText,
              "\nuniform sampler2D baseMap;\nvoid main() {}\r\n// vertex again\n");
    EXPECT_EQ(source.fragmentText, "// fragment one\n// fragment two\n");
    ASSERT_EQ(source.textures.size(), 4u);
    const GLenum targets[] = {GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_1D, GL_TEXTURE_3D};
    const char* samplers[] = {"baseMap", "sky", "line", "volume"};
    const char* names[] = {"rock", "sky_map", "line", "cloud"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(source.textures[i].target, targets[i]) << "slot " << i;
        EXPECT_EQ(source.textures[i].samplerName, samplers[i]) << "slot " << i;
        EXPECT_EQ(source.textures[i].textureName, names[i]) << "slot " << i;
    }
}

TEST_F(MaterialFiles, LongLinesArriveInPiecesOf510) {
    // A 1200-character shader line survives whole; a marker in its third piece still
    // switches the section (pieces are classified on their own).
    std::string longLine = "// " + std::string(1197, 'x') + "\n";
    EXPECT_EQ(parse(longLine).vertexText, longLine);

    std::string hidden = std::string(1020, 'y') + "%FRAGMENT_SHADER\nvoid main() {}\n";
    MaterialSource source = parse(hidden);
    EXPECT_EQ(source.vertexText, std::string(1020, 'y'));
    EXPECT_EQ(source.fragmentText, "void main() {}\n");

    // A name may reach its limit exactly (both at once would not fit one piece).
    std::string words = "%TEX2D " + std::string(255, 's') + " = " + std::string(240, 't') + "\n";
    ASSERT_LE(words.size(), 510u);
    MaterialSource longest = parse(words);
    ASSERT_EQ(longest.textures.size(), 1u);
    EXPECT_EQ(longest.textures[0].samplerName, std::string(255, 's'));
    EXPECT_EQ(longest.textures[0].textureName, std::string(240, 't'));
}

TEST_F(MaterialFilesDeathTest, EveryReportNamesTheFileOrLine) {
    EXPECT_EXIT(readMaterialFile(dir_ + "/absent.mat"), ::testing::ExitedWithCode(1),
                "Could not open material file '.*/absent.mat'\\.");
    EXPECT_EXIT(readMaterialFile(dir_), ::testing::ExitedWithCode(1),
                "Could not open material file '.*material-.*'\\.");
    EXPECT_EXIT(parse("%TEX2D baseMap= rock\n"), ::testing::ExitedWithCode(1),
                "Read error in material file, line:\n'%TEX2D baseMap= rock\n'");
    EXPECT_EXIT(parse("%TEX2D baseMap=rock\n"), ::testing::ExitedWithCode(1),
                "Read error in material file, line:\n'%TEX2D baseMap=rock");
    EXPECT_EXIT(parse("%TEX2D baseMap =\n"), ::testing::ExitedWithCode(1),
                "Read error in material file, line:\n'%TEX2D baseMap =");
    EXPECT_EXIT(parse("%TEX\n"), ::testing::ExitedWithCode(1),
                "Read error in material file, line:\n'%TEX\n'");
    EXPECT_EXIT(parse("void main() {}\n// uses %TEX2D a = b\n"), ::testing::ExitedWithCode(1),
                "Read error in material file, line:\n'// uses %TEX2D a = b");
    EXPECT_EXIT(parse("%TEXcube sky = sky\n"), ::testing::ExitedWithCode(1),
                "Invalid texture type 'cube' in line '%TEXcube sky = sky\n'");
    EXPECT_EXIT(parse("%TEX" + std::string(80, 'T') + " s = t\n"), ::testing::ExitedWithCode(1),
                "Word too long in material file \\(type at most 79 characters, names at most "
                "255\\)");
    EXPECT_EXIT(parse("%TEX2D " + std::string(256, 's') + " = t\n"), ::testing::ExitedWithCode(1),
                "Word too long in material file");
    EXPECT_EXIT(parse("%TEX2D s = " + std::string(256, 't') + "\n"), ::testing::ExitedWithCode(1),
                "Word too long in material file");
}

TEST_F(MaterialFiles, WriterOutputReadsBack) {
    MaterialSource source;
    source.vertexText = "void main() {\n  gl_Position = ftransform();\n}\n";
    source.fragmentText = "uniform samplerCube sky;\nvoid main() {}\n";
    source.textures = {{GL_TEXTURE_2D, "baseMap", "risti"},
                       {GL_TEXTURE_CUBE_MAP, "sky", "sky"},
                       {GL_TEXTURE_1D, "ramp", "rt1"}};
    std::string path = dir_ + "/written.mat";
    ASSERT_TRUE(writeMaterialFile(path, source));
    MaterialSource back = readMaterialFile(path);
    EXPECT_EQ(back.vertexText, source.vertexText);
    EXPECT_EQ(back.fragmentText, source.fragmentText);
    ASSERT_EQ(back.textures.size(), source.textures.size());
    for (size_t i = 0; i < back.textures.size(); ++i) {
        EXPECT_EQ(back.textures[i].target, source.textures[i].target);
        EXPECT_EQ(back.textures[i].samplerName, source.textures[i].samplerName);
        EXPECT_EQ(back.textures[i].textureName, source.textures[i].textureName);
    }

    MaterialSource marker = source;
    marker.fragmentText = "// see %TEX lines\n";
    EXPECT_FALSE(writeMaterialFile(path, marker));
    MaterialSource open = source;
    open.vertexText = "void main() {}";
    EXPECT_FALSE(writeMaterialFile(path, open));
    MaterialSource blank = source;
    blank.textures[0].samplerName = "base map";
    EXPECT_FALSE(writeMaterialFile(path, blank));
    MaterialSource target = source;
    target.textures[0].target = GL_TEXTURE_RECTANGLE;
    EXPECT_FALSE(writeMaterialFile(path, target));
}

}  // namespace
