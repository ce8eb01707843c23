#include "effects/Engine.h"
#include "resources/ImageFile.h"
#include "resources/TextureManager.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Runs each test inside a fresh folder holding an empty "data" folder, since texture
// files are looked up relative to the working directory.
class InDataFolder : public testing::Test {
protected:
    void SetUp() override {
        char buffer[4096];
        ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
        previous_ = buffer;
        dir_ = makeTempDir("textures");
        ASSERT_EQ(mkdir((dir_ + "/data").c_str(), 0755), 0);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

    // A picture whose every pixel is `colour`, written as data/<name>.
    static void writeSolid(const std::string& name, int width, int height,
                           const std::vector<uint8_t>& colour) {
        Image image;
        make_image(image, width, height, static_cast<int>(colour.size()));
        for (int i = 0; i < width * height; ++i)
            std::copy(colour.begin(), colour.end(), image.pixels + i * colour.size());
        const std::string path = "data/" + name;
        bool written = name.size() > 4 && name.substr(name.size() - 4) == ".jpg"
                           ? write_jpeg(path.c_str(), image, 95)
                           : write_png(path.c_str(), image);
        delete[] image.pixels;
        ASSERT_TRUE(written) << path;
    }

private:
    std::string previous_;
    std::string dir_;
};

// Level 0 of the bound texture on `target`, as `format` bytes.
std::vector<uint8_t> readLevel(GLenum target, GLenum format, int components, int width,
                               int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return pixels;
}

GLint levelParameter(GLenum target, int level, GLenum name) {
    GLint value = -1;
    glGetTexLevelParameteriv(target, level, name, &value);
    return value;
}

GLint textureParameter(GLenum target, GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(target, name, &value);
    return value;
}

TEST(NextPowerOfTwo, RoundsUpAndKeepsPowers) {
    EXPECT_EQ(nextPowerOfTwo(0), 0);
    EXPECT_EQ(nextPowerOfTwo(1), 1);
    EXPECT_EQ(nextPowerOfTwo(2), 2);
    EXPECT_EQ(nextPowerOfTwo(3), 4);
    EXPECT_EQ(nextPowerOfTwo(5), 8);
    EXPECT_EQ(nextPowerOfTwo(600), 1024);
    EXPECT_EQ(nextPowerOfTwo(768), 1024);
    EXPECT_EQ(nextPowerOfTwo(1024), 1024);
    EXPECT_EQ(nextPowerOfTwo(1025), 2048);
    EXPECT_EQ(nextPowerOfTwo(1 << 30), 1 << 30);
    EXPECT_EQ(nextPowerOfTwo((1 << 29) + 1), 1 << 30);
}

using FindResourceFile = InDataFolder;

TEST_F(FindResourceFile, TriesExtensionsInOrder) {
    writeFileBytes("data/both.png", "p");
    writeFileBytes("data/both.jpg", "j");
    writeFileBytes("data/onlyjpg.jpg", "j");
    writeFileBytes("data/dot.", "d");
    EXPECT_EQ(findResourceFile("data", "both", "png", "jpg"), "data/both.png");
    EXPECT_EQ(findResourceFile("data", "both", "jpg", "png"), "data/both.jpg");
    EXPECT_EQ(findResourceFile("data", "onlyjpg", "png", "jpg"), "data/onlyjpg.jpg");
    // An empty extension before a non-empty one is tried and ends in the dot.
    EXPECT_EQ(findResourceFile("data", "dot", "png", "", "jpg"), "data/dot.");
}

TEST_F(FindResourceFile, ReportsEveryTriedExtension) {
    EXPECT_EXIT(findResourceFile("data", "absent", "png", "jpg", "", "", "", "", "", ""),
                testing::ExitedWithCode(1),
                "Could not find file: \"data/absent\\.\\{png jpg \\}\"!");
    EXPECT_EXIT(findResourceFile("data", "model", "aml"), testing::ExitedWithCode(1),
                "Could not find file: \"data/model\\.\\{aml \\}\"!");
    EXPECT_EXIT(findResourceFile("data", "gap", "png", "", "jpg"), testing::ExitedWithCode(1),
                "Could not find file: \"data/gap\\.\\{png  jpg \\}\"!");
    EXPECT_EXIT(findResourceFile("data", "none", "", "", "", "", "", "", "", ""),
                testing::ExitedWithCode(1), "Could not find file: \"data/none\\.\\{\\}\"!");
    // Percent signs in names are text, not formatting.
    EXPECT_EXIT(findResourceFile("data", "%s%n%s", "png"), testing::ExitedWithCode(1),
                "Could not find file: \"data/%s%n%s\\.\\{png \\}\"!");
}

class Textures : public InDataFolder {
protected:
    void SetUp() override {
        // Fatal paths run in a fresh process, which opens its own context.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        InDataFolder::SetUp();
        requireGLContext();
    }
    void TearDown() override {
        textures.setFilter(GL_LINEAR, GL_LINEAR);
        textures.setAnisotropy(0);
        InDataFolder::TearDown();
    }
    TextureManager& textures = engine.textures;
};

TEST_F(Textures, EmptyTextureRecordsStorageAndPictureAndNeverMipmaps) {
    textures.setFilter(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    textures.createTexture("empty", 1024, 768, nullptr, GL_RGBA8, GL_RGBA);
    const TextureRecord& record = textures.get("empty");
    EXPECT_EQ(record.storageWidth, 1024);
    EXPECT_EQ(record.storageHeight, 1024);
    EXPECT_EQ(record.storageDepth, 1);
    EXPECT_EQ(record.width, 1024);
    EXPECT_EQ(record.height, 768);
    EXPECT_EQ(record.depth, 1);
    ASSERT_NE(record.glName, 0u);
    EXPECT_TRUE(glIsTexture(record.glName));

    glBindTexture(GL_TEXTURE_2D, record.glName);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 1024);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 1024);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T), GL_REPEAT);

    // Re-specifying keeps the name and takes the new size.
    const GLuint name = record.glName;
    textures.createTexture("empty", 256, 128, nullptr, GL_RGBA8, GL_RGBA);
    EXPECT_EQ(textures.get("empty").glName, name);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Textures, FileFormatsFollowTheChannelCount) {
    writeSolid("grey.png", 4, 4, {200});
    writeSolid("greyalpha.png", 4, 4, {100, 50});
    writeSolid("rgb.png", 4, 4, {10, 20, 30});
    writeSolid("rgba.png", 4, 4, {10, 20, 30, 40});
    const struct {
        const char* name;
        GLint internalFormat;
    } cases[] = {{"grey", GL_ALPHA8},
                 {"greyalpha", GL_LUMINANCE8_ALPHA8},
                 {"rgb", GL_RGB8},
                 {"rgba", GL_RGBA8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        textures.loadTexture(c.name, -1, -1);
        glBindTexture(GL_TEXTURE_2D, textures.get(c.name).glName);
        EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), c.internalFormat);
    }
    // The alpha texture carries the grey level as alpha.
    glBindTexture(GL_TEXTURE_2D, textures.get("grey").glName);
    EXPECT_EQ(readLevel(GL_TEXTURE_2D, GL_ALPHA, 1, 4, 4)[5], 200);
    glBindTexture(GL_TEXTURE_2D, textures.get("greyalpha").glName);
    std::vector<uint8_t> la = readLevel(GL_TEXTURE_2D, GL_LUMINANCE_ALPHA, 2, 4, 4);
    EXPECT_EQ(la[0], 100);
    EXPECT_EQ(la[1], 50);
    // Explicit formats win over the file's channels.
    textures.loadTexture("rgb", GL_RGBA8, GL_RGB);
    glBindTexture(GL_TEXTURE_2D, textures.get("rgb").glName);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA8);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Textures, PngIsPreferredAndReloadKeepsTheName) {
    writeSolid("pick.png", 8, 8, {255, 0, 0});
    writeSolid("pick.jpg", 8, 8, {0, 0, 255});
    textures.loadTexture("pick", -1, -1);
    const GLuint name = textures.get("pick").glName;
    glBindTexture(GL_TEXTURE_2D, name);
    std::vector<uint8_t> rgb = readLevel(GL_TEXTURE_2D, GL_RGB, 3, 8, 8);
    EXPECT_EQ(rgb[0], 255);
    EXPECT_EQ(rgb[2], 0);

    ASSERT_EQ(unlink("data/pick.png"), 0);
    textures.loadTexture("pick", -1, -1);
    EXPECT_EQ(textures.get("pick").glName, name);
    glBindTexture(GL_TEXTURE_2D, name);
    rgb = readLevel(GL_TEXTURE_2D, GL_RGB, 3, 8, 8);
    EXPECT_LT(rgb[0], 10);
    EXPECT_GT(rgb[2], 245);
}

TEST_F(Textures, OddSizedPictureIsPaddedIntoItsStorage) {
    // 3 x 5 RGB, every texel distinct; the file's top row is y = 0 here.
    Image image;
    make_image(image, 3, 5, 3);
    for (int i = 0; i < 3 * 5 * 3; ++i) image.pixels[i] = static_cast<uint8_t>(100 + i);
    ASSERT_TRUE(write_png("data/odd.png", image));

    textures.loadTexture("odd", -1, -1);
    const TextureRecord& record = textures.get("odd");
    EXPECT_EQ(record.storageWidth, 4);
    EXPECT_EQ(record.storageHeight, 8);
    EXPECT_EQ(record.width, 3);
    EXPECT_EQ(record.height, 5);
    glBindTexture(GL_TEXTURE_2D, record.glName);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 8);
    std::vector<uint8_t> texels = readLevel(GL_TEXTURE_2D, GL_RGB, 3, 4, 8);
    // The picture sits in the lower-left corner, bottom row first; the rest is black.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) {
                const int expected =
                    x < 3 && y < 5 ? image.pixels[(4 - y) * image.rowBytes + x * 3 + c] : 0;
                EXPECT_EQ(texels[(y * 4 + x) * 3 + c], expected) << x << "," << y << "," << c;
            }
    delete[] image.pixels;

    // Grey with alpha pads to transparent.
    writeSolid("oddalpha.png", 3, 3, {90, 255});
    textures.loadTexture("oddalpha", -1, -1);
    glBindTexture(GL_TEXTURE_2D, textures.get("oddalpha").glName);
    std::vector<uint8_t> la = readLevel(GL_TEXTURE_2D, GL_LUMINANCE_ALPHA, 2, 4, 4);
    EXPECT_EQ(la[(1 * 4 + 2) * 2 + 1], 255);
    EXPECT_EQ(la[(1 * 4 + 3) * 2 + 1], 0);
    EXPECT_EQ(la[(3 * 4 + 0) * 2 + 1], 0);
}

TEST_F(Textures, MipmapFilterBuildsMipmapsAndAnisotropyApplies) {
    writeSolid("mip.png", 16, 16, {1, 2, 3});
    textures.setFilter(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    textures.setAnisotropy(2.0f);
    textures.loadTexture("mip", -1, -1);
    glBindTexture(GL_TEXTURE_2D, textures.get("mip").glName);
    EXPECT_EQ(textureParameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 4, GL_TEXTURE_WIDTH), 1);
    GLfloat anisotropy = 0;
    glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &anisotropy);
    EXPECT_FLOAT_EQ(anisotropy, 2.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Textures, CubeMapTakesSixFacesInOrder) {
    const uint8_t shades[6] = {10, 50, 90, 130, 170, 210};
    for (int face = 0; face < 6; ++face)
        writeSolid("sky_c0" + std::to_string(face) + ".png", 8, 8, {shades[face], 0, 0});
    textures.loadCubeMap("sky", -1, -1);
    EXPECT_EQ(textures.bindTarget, static_cast<GLenum>(GL_TEXTURE_2D));
    EXPECT_EQ(textures.imageTarget, static_cast<GLenum>(GL_TEXTURE_2D));
    glBindTexture(GL_TEXTURE_CUBE_MAP, textures.get("sky").glName);
    for (int face = 0; face < 6; ++face) {
        std::vector<uint8_t> texels =
            readLevel(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, GL_RGB, 3, 8, 8);
        EXPECT_EQ(texels[0], shades[face]) << face;
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);

    // The next texture is an ordinary 2D one again.
    writeSolid("after.png", 4, 4, {1, 2, 3});
    textures.loadTexture("after", -1, -1);
    glBindTexture(GL_TEXTURE_2D, textures.get("after").glName);
    EXPECT_EQ(levelParameter(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 4);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Textures, MissingOrUndecodableFilesEndTheRun) {
    for (int face = 0; face < 3; ++face)
        writeSolid("gap_c0" + std::to_string(face) + ".png", 4, 4, {1, 2, 3});
    EXPECT_EXIT(textures.loadCubeMap("gap", -1, -1), testing::ExitedWithCode(1),
                "Could not find file: \"data/gap_c03\\.\\{png jpg \\}\"!");

    writeFileBytes("data/broken.png", "not a picture");
    EXPECT_EXIT(textures.loadTexture("broken", -1, -1), testing::ExitedWithCode(1),
                "data/broken\\.png");
    EXPECT_EQ(textures.find("broken"), nullptr);

    writeSolid("threes.png", 4, 4, {1, 2, 3});
    EXPECT_EXIT(textures.loadTexture("threes", GL_RGBA8, GL_RGBA), testing::ExitedWithCode(1),
                "data/threes\\.png.*3 channels");
    EXPECT_EXIT(textures.get("never"), testing::ExitedWithCode(1), "No such texture: 'never'\\.");
    // Pixel data is read at storage size: odd sides would be read past their end.
    const std::vector<uint8_t> nine(3 * 3 * 3, 0);
    EXPECT_EXIT(textures.createTexture("odd.pixels", 3, 3, nine.data(), GL_RGB8, GL_RGB),
                testing::ExitedWithCode(1), "'odd\\.pixels'.*3 x 3 must have power-of-two sides");
}

}  // namespace
