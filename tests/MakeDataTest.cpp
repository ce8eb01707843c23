// make-data, run as the real program: the folder it writes is complete, deterministic
// and readable by the demo's own readers.
#include "TestSupport.h"

#include "resources/ImageFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string makeDataCommand(const std::string& arguments) {
    return buildDir() + "/make-data " + arguments;
}

// One generated folder shared by the read-only checks of this process.
class MakeData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new std::string(makeTempDir("make-data"));
        std::string output;
        status_ = runCommand(makeDataCommand("--verbose --output " + *dir_), output);
        log_ = new std::string(output);
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
        delete log_;
    }
    void SetUp() override { ASSERT_EQ(status_, 0) << *log_; }

    static std::string path(const std::string& name) { return *dir_ + "/" + name; }

    static std::string* dir_;
    static std::string* log_;
    static int status_;
};

std::string* MakeData::dir_ = nullptr;
std::string* MakeData::log_ = nullptr;
int MakeData::status_ = -1;

std::set<std::string> filesUnder(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), dir).string());
    }
    return names;
}

struct LoadedImage {
    Image image;
    int status = -1;
    explicit LoadedImage(const std::string& file) { status = load_image(file.c_str(), image, false); }
    ~LoadedImage() { delete[] image.pixels; }
    uint8_t at(int x, int y, int c) const {
        return image.pixels[y * image.rowBytes + x * image.channels + c];
    }
};

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

TEST_F(MakeData, WritesEveryFileAndReportsTimes) {
    const std::set<std::string> expected = {
        "loading.png", "risti.png", "overlay.png", "sky_c00.jpg", "sky_c01.jpg",
        "sky_c02.jpg", "sky_c03.jpg", "sky_c04.jpg", "sky_c05.jpg", "text.bin",
        "materials/test.mat", "materials/show_normals.mat", "materials/pp_invert.mat"};
    const std::set<std::string> written = filesUnder(*dir_);
    for (const std::string& name : expected) EXPECT_TRUE(written.count(name)) << name;
    EXPECT_NE(log_->find("total"), std::string::npos) << *log_;
    EXPECT_NE(log_->find("text.bin"), std::string::npos) << *log_;
}

TEST(MakeDataRuns, AreByteIdenticalAndReplaceOldFiles) {
    const std::string first = makeTempDir("make-data-a"), second = makeTempDir("make-data-b");
    // A stale, longer file must be replaced, not appended to or left behind in part.
    writeFileBytes(second + "/text.bin", std::string(20000, 'x'));
    std::string output;
    ASSERT_EQ(runCommand(makeDataCommand("--output " + first), output), 0) << output;
    ASSERT_EQ(runCommand(makeDataCommand("--output " + second), output), 0) << output;
    const std::set<std::string> names = filesUnder(first);
    EXPECT_EQ(names, filesUnder(second));
    for (const std::string& name : names) {
        EXPECT_TRUE(readFileBytes(first + "/" + name) == readFileBytes(second + "/" + name))
            << name << " differs between two runs";
    }
    fs::remove_all(first);
    fs::remove_all(second);
}

TEST(MakeDataRuns, CommandLine) {
    std::string output;
    EXPECT_EQ(runCommand(makeDataCommand("--help"), output), 0);
    EXPECT_NE(output.find("--output"), std::string::npos) << output;
    EXPECT_NE(output.find("--verbose"), std::string::npos) << output;

    EXPECT_EQ(runCommand(makeDataCommand("--colour"), output), 2);
    EXPECT_NE(output.find("--colour"), std::string::npos) << output;
    EXPECT_EQ(runCommand(makeDataCommand("--output"), output), 2);

    // A folder that cannot be made: the message names it and the run fails.
    const std::string dir = makeTempDir("make-data-bad");
    writeFileBytes(dir + "/plain", "not a folder");
    EXPECT_EQ(runCommand(makeDataCommand("--output " + dir + "/plain/data"), output), 1);
    EXPECT_NE(output.find(dir + "/plain/data"), std::string::npos) << output;
    fs::remove_all(dir);
}

TEST_F(MakeData, TexturesLoadThroughTheImageReaders) {
    LoadedImage loading(path("loading.png"));
    ASSERT_EQ(loading.status, 0);
    EXPECT_EQ(loading.image.channels, 3);
    EXPECT_FALSE(isPowerOfTwo(loading.image.width)) << "the loader's padding path must run";
    EXPECT_TRUE(isPowerOfTwo(loading.image.height));
    int lit = 0;
    for (int y = 0; y < loading.image.height; ++y)
        for (int x = 0; x < loading.image.width; ++x) lit += loading.at(x, y, 0) > 128;
    EXPECT_GT(lit, 500) << "the word is missing";
    EXPECT_LT(lit, loading.image.width * loading.image.height / 4) << "not a word on black";

    LoadedImage overlay(path("overlay.png"));
    ASSERT_EQ(overlay.status, 0);
    EXPECT_EQ(overlay.image.channels, 4);
    EXPECT_TRUE(isPowerOfTwo(overlay.image.width) && isPowerOfTwo(overlay.image.height));

    // The tile repeats without a seam: across the wrap the picture changes no more
    // than between neighbouring columns inside it.
    LoadedImage risti(path("risti.png"));
    ASSERT_EQ(risti.status, 0);
    ASSERT_EQ(risti.image.channels, 3);
    const int w = risti.image.width, h = risti.image.height;
    EXPECT_TRUE(isPowerOfTwo(w) && isPowerOfTwo(h));
    auto columnStep = [&](int a, int b) {
        long sum = 0;
        for (int y = 0; y < h; ++y) sum += std::abs(risti.at(a, y, 1) - risti.at(b, y, 1));
        return sum;
    };
    auto rowStep = [&](int a, int b) {
        long sum = 0;
        for (int x = 0; x < w; ++x) sum += std::abs(risti.at(x, a, 1) - risti.at(x, b, 1));
        return sum;
    };
    EXPECT_LE(columnStep(w - 1, 0), columnStep(1, 2) + h * 4);
    EXPECT_LE(rowStep(h - 1, 0), rowStep(1, 2) + w * 4);
    int bright = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bright += risti.at(x, y, 1) > 200;
    EXPECT_GT(bright, w * h / 20) << "no cross on the tile";
}

TEST_F(MakeData, SkyFacesAreSquareJpegsOfOneSize) {
    int size = 0;
    long brightnessUp = 0, brightnessDown = 0;
    for (int face = 0; face < 6; ++face) {
        const std::string name = "sky_c0" + std::to_string(face) + ".jpg";
        LoadedImage sky(path(name));
        ASSERT_EQ(sky.status, 0) << name;
        EXPECT_EQ(sky.image.channels, 3) << name;
        EXPECT_EQ(sky.image.width, sky.image.height) << name;
        if (face == 0) size = sky.image.width;
        EXPECT_EQ(sky.image.width, size) << name;
        EXPECT_TRUE(isPowerOfTwo(size));
        long sum = 0;
        for (int i = 0; i < sky.image.rowBytes * sky.image.height; ++i) sum += sky.image.pixels[i];
        if (face == 2) brightnessUp = sum;
        if (face == 3) brightnessDown = sum;
    }
    EXPECT_GT(brightnessUp, brightnessDown * 2) << "the +Y face is the sky, -Y the dark ground";
}

TEST_F(MakeData, TextBitmapHoldsLetteringInTheScrolledStretch) {
    const std::string bytes = readFileBytes(path("text.bin"));
    ASSERT_EQ(bytes.size(), 16000u);
    auto at = [&](int x, int y) { return static_cast<uint8_t>(bytes[y * 800 + x]); };
    int lit = 0, litEarly = 0, firstPicture = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 800; ++x) {
            if (at(x, y) < 200) continue;
            ++lit;
            if (x < 450) ++litEarly;
            if (x < 20) ++firstPicture;
        }
    }
    EXPECT_GT(lit, 1000);
    EXPECT_LT(lit, 16000 / 2);
    EXPECT_GT(litEarly, 600) << "the wall scrolls through about 450 columns";
    EXPECT_EQ(firstPicture, 0) << "the lettering scrolls in from the right";
    for (int x = 0; x < 800; ++x) {
        EXPECT_EQ(at(x, 0), 0) << "the top row frames the letters";
        EXPECT_EQ(at(x, 19), 0) << "the bottom row frames the letters";
    }
}

TEST_F(MakeData, MaterialsNameTheirTextureSlots) {
    const std::string test = readFileBytes(path("materials/test.mat"));
    const std::string normals = readFileBytes(path("materials/show_normals.mat"));
    const std::string invert = readFileBytes(path("materials/pp_invert.mat"));
    for (const std::string* text : {&test, &normals, &invert}) {
        EXPECT_NE(text->find("%VERTEX_SHADER\n#version 110\n"), std::string::npos);
        EXPECT_NE(text->find("%FRAGMENT_SHADER\n#version 110\n"), std::string::npos);
        EXPECT_EQ(text->find('\r'), std::string::npos);
    }
    EXPECT_NE(test.find("\n%TEX2D pattern = risti\n"), std::string::npos);
    EXPECT_NE(test.find("\n%TEXCUBE sky = sky\n"), std::string::npos);
    EXPECT_EQ(normals.find("%TEX"), std::string::npos);
    EXPECT_EQ(invert.find("%TEX2D frame = rt1\n"), 0u);
}
