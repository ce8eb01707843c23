// make-data, run as the real program: the folder it writes is complete, deterministic
// and readable by the demo's own readers.
#include "TestSupport.h"

#include "effects/Engine.h"
#include "effects/LaserTrace.h"
#include "effects/Scenes.h"
#include "materials/MaterialManager.h"
#include "models/Model.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string makeDataCommand(const std::string& arguments) {
    return buildDir() + "/make-data " + arguments;
}

// One generated folder for all the read-only checks. ctest runs every test in its own
// process, so the folder is made once per build of make-data and shared under a lock.
std::string generatedDir(std::string& log, int& status) {
    const std::string dir = buildDir() + "/make-data-test";
    const int lock = open((dir + ".lock").c_str(), O_CREAT | O_RDWR, 0644);
    if (lock >= 0) flock(lock, LOCK_EX);
    struct stat tool {};
    stat((buildDir() + "/make-data").c_str(), &tool);
    const std::string stamp = std::to_string(tool.st_size) + " " + std::to_string(tool.st_mtime);
    status = 0;
    if (readFileBytes(dir + ".stamp") != stamp) {
        std::error_code ec;
        fs::remove_all(dir, ec);  // files an older make-data wrote must not linger
        status = runCommand(makeDataCommand("--verbose --output " + dir), log);
        writeFileBytes(dir + ".log", log);
        writeFileBytes(dir + ".stamp", status == 0 ? stamp : "");
    }
    log = readFileBytes(dir + ".log");
    if (lock >= 0) close(lock);
    return dir;
}

class MakeData : public ::testing::Test {
protected:
    void SetUp() override {
        int status = -1;
        dir_ = generatedDir(log_, status);
        ASSERT_EQ(status, 0) << log_;
    }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
    std::string log_;
};

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
        "sorvan.mp3", "dance.avi", "heilu.avi", "vispi.avi", "puolipallo.aml", "laser.aml", "loading.png", "risti.png", "overlay.png", "sky_c00.jpg", "sky_c01.jpg",
        "sky_c02.jpg", "sky_c03.jpg", "sky_c04.jpg", "sky_c05.jpg", "text.bin",
        "materials/test.mat", "materials/show_normals.mat", "materials/pp_invert.mat"};
    const std::set<std::string> written = filesUnder(dir_);
    for (const std::string& name : expected) {
        EXPECT_TRUE(written.count(name)) << name;
        EXPECT_NE(log_.find(name + " "), std::string::npos) << "--verbose times " << name;
    }
    EXPECT_NE(log_.find("total"), std::string::npos) << log_;
}

TEST_F(MakeData, RunsAreByteIdenticalAndReplaceOldFiles) {
    const std::string second = makeTempDir("make-data-b");
    // A stale, longer file must be replaced, not appended to or left behind in part.
    writeFileBytes(second + "/text.bin", std::string(20000, 'x'));
    std::string output;
    ASSERT_EQ(runCommand(makeDataCommand("--output " + second), output), 0) << output;
    const std::set<std::string> names = filesUnder(dir_);
    EXPECT_EQ(names, filesUnder(second));
    for (const std::string& name : names) {
        EXPECT_TRUE(readFileBytes(dir_ + "/" + name) == readFileBytes(second + "/" + name))
            << name << " differs between two runs";
    }
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

TEST(MakeDataRuns, FuzzSeedsAreTinyFilesOurReadersTakeOrRefuse) {
    const std::string dir = makeTempDir("make-data-seeds");
    std::string output;
    ASSERT_EQ(runCommand(makeDataCommand("--fuzz-seeds " + dir), output), 0) << output;
    const std::pair<const char*, int> pictures[] = {
        {"png/grey.png", 1}, {"png/grey-alpha.png", 2}, {"png/rgb.png", 3},
        {"png/rgba.png", 4}, {"jpeg/grey.jpg", 1},      {"jpeg/colour.jpg", 3}};
    for (const auto& [name, channels] : pictures) {
        LoadedImage picture(dir + "/" + name);
        EXPECT_EQ(picture.status, 0) << name;
        EXPECT_EQ(picture.image.channels, channels) << name;
        EXPECT_LE(fs::file_size(dir + "/" + name), 1024u) << name;
    }
    const std::pair<const char*, int> clips[] = {
        {"clip/mjpeg.avi", 3}, {"clip/one-frame.avi", 1}, {"clip/ntsc.avi", 2}};
    for (const auto& [name, frames] : clips) {
        VideoDecoder clip;
        std::string error;
        ASSERT_TRUE(clip.open((dir + "/" + name).c_str(), error)) << name << ": " << error;
        EXPECT_EQ(clip.frameCount(), frames) << name;
    }
    VideoDecoder ntsc;
    std::string error;
    ASSERT_TRUE(ntsc.open((dir + "/clip/ntsc.avi").c_str(), error));
    EXPECT_EQ(ntsc.frameDurationMs(), 33);
    VideoDecoder audio;
    EXPECT_FALSE(audio.open((dir + "/clip/audio-only.avi").c_str(), error));
    EXPECT_NE(error.find("audio-only.avi"), std::string::npos) << error;
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

TEST_F(MakeData, MaterialsReadBackWithTheirSlots) {
    const MaterialSource test = readMaterialFile(path("materials/test.mat"));
    ASSERT_EQ(test.textures.size(), 2u);
    EXPECT_EQ(test.textures[0].target, static_cast<GLenum>(GL_TEXTURE_2D));
    EXPECT_EQ(test.textures[0].textureName, "risti");
    EXPECT_EQ(test.textures[1].target, static_cast<GLenum>(GL_TEXTURE_CUBE_MAP));
    EXPECT_EQ(test.textures[1].textureName, "sky");
    const MaterialSource normals = readMaterialFile(path("materials/show_normals.mat"));
    EXPECT_TRUE(normals.textures.empty());
    const MaterialSource invert = readMaterialFile(path("materials/pp_invert.mat"));
    ASSERT_EQ(invert.textures.size(), 1u);
    EXPECT_EQ(invert.textures[0].textureName, "rt1") << "a render target's texture";
    for (const MaterialSource* source : {&test, &normals, &invert}) {
        EXPECT_EQ(source->vertexText.rfind("#version 110\n", 0), 0u);
        EXPECT_EQ(source->fragmentText.rfind("#version 110\n", 0), 0u);
        for (const TextureSlot& slot : source->textures) {
            EXPECT_NE(source->fragmentText.find(" " + slot.samplerName + ";"), std::string::npos)
                << "sampler " << slot.samplerName << " is declared";
        }
    }
}

// The demo's own start-up path over the generated folder: textures, the cube map, both
// models, and the three materials compiled on the GL driver.
TEST_F(MakeData, TheDemoLoadsTheFolder) {
    requireGLContext();
    const std::string root = makeTempDir("make-data-run");
    ASSERT_EQ(symlink(dir_.c_str(), (root + "/data").c_str()), 0);
    ASSERT_EQ(chdir(root.c_str()), 0);
    engine.textures.loadTexture("loading", -1, -1);
    const TextureRecord& loading = engine.textures.get("loading");
    EXPECT_NE(loading.width, loading.storageWidth) << "a picture padded into its storage";
    engine.textures.createTexture("rt1", 1024, 512, nullptr, GL_RGBA8, GL_RGBA);
    engine.models.load("puolipallo");
    engine.models.load("laser");
    loadMaterials();
    EXPECT_NE(engine.textures.find("risti"), nullptr);
    EXPECT_NE(engine.textures.find("sky"), nullptr);
    for (const char* name : {"test", "show_normals", "pp.invert"}) {
        engine.materials.use(name);
        engine.materials.unuse();
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    ASSERT_EQ(chdir(buildDir().c_str()), 0);
    fs::remove_all(root);
}

namespace {

constexpr double kBeatZero = 11.841;
constexpr double kBeat = 60.0 / 126.0;
constexpr int kRate = 44100;
constexpr int kHop = 88;  // 2 ms

// Rise of the low band (the kick drum) per 2 ms hop, from the decoded stereo samples.
std::vector<float> kickOnsets(const std::vector<int16_t>& stereo) {
    const float a = 1.0f - std::exp(-6.2831853f * 200.0f / kRate);
    float low1 = 0, low2 = 0;
    std::vector<float> envelope(stereo.size() / 2 / kHop, 0.0f);
    for (size_t i = 0; i + 1 < stereo.size() && i / 2 / kHop < envelope.size(); i += 2) {
        const float mono = (stereo[i] + stereo[i + 1]) * 0.5f;
        low1 += a * (mono - low1);
        low2 += a * (low1 - low2);
        envelope[i / 2 / kHop] += std::fabs(low2);
    }
    std::vector<float> onset(envelope.size(), 0.0f);
    for (size_t h = 2; h < envelope.size(); ++h) onset[h] = std::max(0.0f, envelope[h] - envelope[h - 2]);
    return onset;
}

double rms(const std::vector<int16_t>& stereo, double from, double to) {
    double sum = 0;
    const size_t a = static_cast<size_t>(from * kRate) * 2, b = static_cast<size_t>(to * kRate) * 2;
    for (size_t i = a; i < b && i < stereo.size(); ++i) sum += double(stereo[i]) * stereo[i];
    return std::sqrt(sum / double(b - a));
}

}  // namespace

TEST_F(MakeData, MusicBeatsFallOnTheGridWithoutClipping) {
    std::vector<int16_t> pcm;
    std::string error;
    ASSERT_TRUE(platformDecodeAudio(path("sorvan.mp3").c_str(), kRate, 2, pcm, error)) << error;
    const double seconds = pcm.size() / 2.0 / kRate;
    EXPECT_GE(seconds, 160.0);

    int peak = 0;
    for (int16_t s : pcm) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32700) << "clipped";
    EXPECT_GT(peak, 16000) << "far too quiet";

    // The strongest kick onset near each beat of the drum sections lies on the beat.
    const std::vector<float> onset = kickOnsets(pcm);
    std::vector<double> errors;
    for (int beat = 0; beat < 284; ++beat) {
        if (beat >= 97 && beat < 129) continue;  // the breakdown has no kick
        const double t = kBeatZero + beat * kBeat;
        const long centre = std::lround(t * kRate / kHop);
        long best = centre;
        for (long h = centre - 50; h <= centre + 50; ++h) {  // +-100 ms, a fifth of a beat
            if (onset[h] > onset[best]) best = h;
        }
        errors.push_back(std::fabs((best + 0.5) * kHop / kRate - t));
    }
    std::sort(errors.begin(), errors.end());
    EXPECT_LT(errors[errors.size() / 2], 0.008) << "median distance of kicks from the grid";
    EXPECT_LT(errors[errors.size() * 9 / 10], 0.015);

    // Without knowing the grid: every strong onset of the drum stretch (the largest
    // within a quarter beat around it) sits on a beat, none between beats.
    const float strongest = *std::max_element(onset.begin(), onset.end());
    int peaks = 0, onGrid = 0;
    for (long h = 60; h + 60 < static_cast<long>(onset.size()); ++h) {
        const double t = (h + 0.5) * kHop / kRate;
        if (t < kBeatZero - 0.1 || t > 57.0 || onset[h] < 0.4f * strongest) continue;
        if (*std::max_element(&onset[h - 60], &onset[h + 60]) > onset[h]) continue;
        ++peaks;
        const double phase = std::fmod(t - kBeatZero + kBeat, kBeat);
        onGrid += std::min(phase, kBeat - phase) < 0.015;
    }
    EXPECT_GT(peaks, 80);
    EXPECT_GE(onGrid, peaks * 9 / 10) << onGrid << " of " << peaks << " onsets on the grid";

    // A quiet intro, a breakdown between 57.841 and 73.048 s, silence before 159 s.
    EXPECT_LT(rms(pcm, 0.0, 11.5), 0.35 * rms(pcm, 12.0, 26.5));
    EXPECT_LT(rms(pcm, 58.5, 72.5), 0.6 * rms(pcm, 44.0, 57.0));
    EXPECT_LT(rms(pcm, 58.5, 72.5), 0.6 * rms(pcm, 74.0, 87.0));
    int tail = 0;
    for (size_t i = static_cast<size_t>(156.0 * kRate) * 2; i < pcm.size(); ++i) {
        tail = std::max(tail, std::abs(static_cast<int>(pcm[i])));
    }
    EXPECT_LE(tail, 8) << "the music must have faded out before the demo ends at 159 s";
}

TEST_F(MakeData, ClipsAreLoopingDarkFiguresOnWhite) {
    const int width = 320, height = 240;
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> first(rowBytes * height), later(rowBytes * height), last(rowBytes * height);
    auto darkPixels = [&](const std::vector<uint8_t>& frame) {
        int dark = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) dark += frame[y * rowBytes + x * 3 + 1] < 80;
        return dark;
    };
    auto difference = [&](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
        long sum = 0;
        for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
        return static_cast<double>(sum) / a.size();
    };
    for (const char* name : {"dance.avi", "heilu.avi", "vispi.avi"}) {
        VideoDecoder clip;
        std::string error;
        ASSERT_TRUE(clip.open(path(name).c_str(), error)) << error;
        EXPECT_EQ(clip.width(), width) << name;
        EXPECT_EQ(clip.height(), height) << name;
        EXPECT_EQ(clip.frameDurationMs(), 40) << name << ": 25 frames per second";
        const int frames = clip.frameCount();
        EXPECT_GE(frames, 50) << name << ": a few seconds";
        EXPECT_LE(frames, 250) << name;
        ASSERT_TRUE(clip.decodeFrame(0, first.data(), width, height)) << name;
        ASSERT_TRUE(clip.decodeFrame(13, later.data(), width, height)) << name;
        ASSERT_TRUE(clip.decodeFrame(frames - 1, last.data(), width, height)) << name;

        // Multiplied over the picture: mostly white, with a dark figure.
        const int dark = darkPixels(first);
        EXPECT_GT(dark, width * height / 50) << name;
        EXPECT_LT(dark, width * height / 3) << name;
        // It moves, and the unseen last frame repeats the first, so the loop is seamless.
        EXPECT_GT(difference(first, later), 2.0) << name;
        EXPECT_LT(difference(first, last), 0.5) << name;
    }
}

namespace {

// What ModelManager::load does after finding the file: read, then resolve positions.
Model loadModel(const std::string& file) {
    Model model;
    readAml(model, file.c_str());
    for (Mesh& mesh : model.meshes) mesh.resolvePositions();
    return model;
}

}  // namespace

TEST_F(MakeData, PuolipalloIsAHemisphereShellWithSharedPositions) {
    Model stored;
    readAml(stored, path("puolipallo.aml").c_str());
    ASSERT_EQ(stored.meshes.size(), 1u);
    const Mesh& file = stored.meshes[0];
    EXPECT_LT(file.positionCount, file.vertexCount) << "seams, pole and rim share positions";
    EXPECT_GE(file.slotOfType[2], 0) << "normals";
    EXPECT_GE(file.slotOfType[6], 0) << "texture coordinates of unit 0";

    const Model model = loadModel(path("puolipallo.aml"));
    const Mesh& mesh = model.meshes[0];
    const int normal = 3, uv = 6;  // after resolving: position, normal, texture coordinates
    ASSERT_EQ(mesh.stride, 8);
    int outward = 0, inward = 0, rim = 0;
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const float* r = &mesh.vertexData[v * mesh.stride];
        const Vec3 p(r[0], r[1], r[2]), n(r[normal], r[normal + 1], r[normal + 2]);
        EXPECT_GE(p.z, -1e-4f) << "one half of a ball: nothing below the rim";
        EXPECT_NEAR(n.length(), 1.0f, 1e-3f);
        EXPECT_TRUE(r[uv] >= 0 && r[uv] <= 1 && r[uv + 1] >= 0 && r[uv + 1] <= 1);
        const float along = n.dot(p.normalized());
        outward += along > 0.99f;
        inward += along < -0.99f;
        rim += n.z < -0.99f;
    }
    EXPECT_GT(outward, 100);
    EXPECT_GT(inward, 100) << "a shell has an inner surface";
    EXPECT_GT(rim, 10);
}

// The scene's own beams and camera path over its whole window, every 50 ms. The share
// counted is of each beam's length up to its last reflection (the escape leg runs off
// into the fog) that the camera sees with no mirror in between: beams shut inside a
// mirror box show through its gaps only.
TEST_F(MakeData, LaserMirrorsReflectEveryBeamInSightOfTheCamera) {
    const Model model = loadModel(path("laser.aml"));
    int triangles = 0;
    float widestSpan = 0;  // of texture coordinates across one triangle
    for (const Mesh& mesh : model.meshes) {
        ASSERT_GE(mesh.slotOfType[6], 0) << "texture coordinates of unit 0 for the risti texture";
        triangles += mesh.triangleCount;
        for (int n = 0; n < mesh.triangleCount * 3; n += 3) {
            for (int c = 0; c < 2; ++c) {
                float low = 1e9f, high = -1e9f;
                for (int corner = 0; corner < 3; ++corner) {
                    const float value = mesh.vertexData[mesh.indices[n + corner] * mesh.stride + mesh.offsetOf(6) + c];
                    low = std::min(low, value);
                    high = std::max(high, value);
                }
                widestSpan = std::max(widestSpan, high - low);
            }
        }
    }
    EXPECT_LE(triangles, 300) << "every reflection tests every triangle, every frame";
    EXPECT_GT(widestSpan, 1.0f) << "the texture repeats across a mirror";

    RayScene scene;
    scene.addInstance(model);
    LaserPath paths[kLaserBeamCount];
    int beams = 0, reflections = 0;
    double traced = 0, seen = 0;
    for (double t = 87.87; t < 103.38; t += 0.05) {
        traceLaserBeams(scene, static_cast<float>(t), paths);
        const Vec3 camera = laserCameraPosition(static_cast<float>(t));
        for (const LaserPath& beam : paths) {
            const std::vector<LaserHit>& hits = beam.hits;
            const size_t end = hits.size() - (hits.back().distance == 1000.0f ? 1 : 0);
            ++beams;
            reflections += static_cast<int>(end) - 1;
            for (size_t k = 1; k < end; ++k) {
                const int samples = static_cast<int>(hits[k].distance * 2.0f) + 1;
                for (int q = 0; q < samples; ++q) {
                    const Vec3 p = hits[k - 1].point + (hits[k].point - hits[k - 1].point) * ((q + 0.5f) / samples);
                    const float distance = (p - camera).length();
                    LaserHit blocker;
                    const bool hidden = scene.intersect(camera, (p - camera) * (1.0f / distance), blocker) &&
                                        blocker.distance < distance - 0.01f;
                    traced += hits[k].distance / samples;
                    if (!hidden) seen += hits[k].distance / samples;
                }
            }
        }
    }
    EXPECT_GE(static_cast<double>(reflections) / beams, 2.0) << "reflections per beam";
    EXPECT_GE(seen / traced, 0.6) << "share of the beams' length in sight of the camera";
}
