// The real `demo` on a copy of the data folder with one thing broken: every bad file
// ends the run with a message naming it and a non-zero status, never a crash or a hang;
// the few harmless defects let the demo run to its end. Nothing is written into data/.
// Each run gets an X server of its own, so its window never takes the focus from
// another test's demo.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

bool haveDisplayAndData() {
    const char* display = std::getenv("DISPLAY");
    std::string output;
    return display && *display &&
           runCommand("test -f '" + buildDataDir() + "/sorvan.mp3'", output) == 0;
}

// Runs `script` in `folder` on an X server of its own and returns the status the script
// wrote to the file "status": xvfb-run's own status also tells of its clean-up, which
// can fail on a loaded machine after the demo has ended as it should. Without the file
// (no X server) xvfb-run's status stands.
int runOnOwnDisplay(const std::string& folder, const std::string& script,
                    const std::string& extraShell, std::string& output) {
    writeFileBytes(folder + "/run.sh", script);
    const int xvfbStatus = runCommand("cd '" + folder + "' || exit 9; " + extraShell +
                                          "xvfb-run -a sh run.sh",
                                      output);
    std::string written;
    if (runCommand("cat '" + folder + "/status'", written) != 0) return xvfbStatus;
    return std::atoi(written.c_str());
}

// Copies the data folder, lets `breakIt` damage the copy (given the copy's data path),
// runs the demo near the end of the programme and checks that data/ gained no file.
Outcome runBroken(const std::string& tag, const std::function<void(const std::string&)>& breakIt,
                  const std::string& extraShell = "") {
    const std::string folder = makeTempDir("bad-" + tag);
    std::string output;
    EXPECT_EQ(runCommand("cp -r '" + buildDataDir() + "' '" + folder + "/data'", output), 0)
        << output;
    const std::string data = folder + "/data";
    breakIt(data);
    runCommand("find '" + data + "' | sort > '" + folder + "/before.txt'", output);
    Outcome outcome;
    outcome.status = runOnOwnDisplay(
        folder,
        "timeout 90 '" + buildDir() + "/demo' --windowed --mute --start 158.6\n"
        "echo $? > status\n",
        extraShell, outcome.output);
    EXPECT_EQ(runCommand("find '" + data + "' | sort | diff '" + folder + "/before.txt' -", output),
              0)
        << "the demo wrote into its data folder:\n" << output;
    runCommand("rm -rf '" + folder + "'", output);
    return outcome;
}

void expectFatal(const Outcome& outcome, const std::string& message) {
    EXPECT_EQ(outcome.status, 1) << outcome.output;
    EXPECT_NE(outcome.output.find(message), std::string::npos)
        << "expected \"" << message << "\" in\n" << outcome.output;
}

void expectRunsToTheEnd(const Outcome& outcome) {
    EXPECT_EQ(outcome.status, 0) << outcome.output;
}

// A clip that cannot be played is reported by name, with the text its box shows, even
// unattended; it shows no picture and the demo goes on.
void expectClipReported(const Outcome& outcome, const std::string& clip) {
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("Failed To Open The AVI Stream\n" + clip + ": "),
              std::string::npos)
        << outcome.output;
}

std::string cut(const std::string& path, long keep) {
    std::string bytes = readFileBytes(path);
    return bytes.substr(0, keep < 0 ? bytes.size() / 2 : static_cast<size_t>(keep));
}

void replaceIn(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = readFileBytes(path);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from << " not in " << path;
    writeFileBytes(path, text.replace(at, from.size(), to));
}

// One of the data tool's seed clips in place of `path`.
void useSeedClip(const std::string& path, const std::string& seed) {
    const std::string folder = makeTempDir("seeds");
    std::string output;
    ASSERT_EQ(runCommand("'" + buildDir() + "/make-data' --fuzz-seeds '" + folder + "' && cp '" +
                             folder + "/clip/" + seed + "' '" + path + "'",
                         output),
              0)
        << output;
    runCommand("rm -rf '" + folder + "'", output);
}

class BadInput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveDisplayAndData())
            GTEST_SKIP() << "needs an X server and the data folder made by make-data";
    }
};

TEST_F(BadInput, MissingFilesAreNamed) {
    expectFatal(runBroken("no-model", [](const std::string& d) { std::remove((d + "/laser.aml").c_str()); }),
                "Could not find file: \"data/laser.{");
    expectFatal(runBroken("no-texture", [](const std::string& d) { std::remove((d + "/risti.png").c_str()); }),
                "Could not find file: \"data/risti.{");
    expectFatal(runBroken("no-face", [](const std::string& d) { std::remove((d + "/sky_c03.jpg").c_str()); }),
                "Could not find file: \"data/sky_c03.{");
    expectFatal(runBroken("no-material", [](const std::string& d) { std::remove((d + "/materials/test.mat").c_str()); }),
                "Could not open material file 'data/materials/test.mat'.");
    expectFatal(runBroken("no-text", [](const std::string& d) { std::remove((d + "/text.bin").c_str()); }),
                "data/text.bin");
    expectClipReported(runBroken("no-clip", [](const std::string& d) { std::remove((d + "/dance.avi").c_str()); }),
                       "data/dance.avi");
}

TEST_F(BadInput, EmptyAndTruncatedFilesAreNamed) {
    auto empty = [](const char* name) {
        return [name](const std::string& d) { writeFileBytes(d + "/" + name, ""); };
    };
    auto halve = [](const char* name) {
        return [name](const std::string& d) { writeFileBytes(d + "/" + name, cut(d + "/" + name, -1)); };
    };
    expectFatal(runBroken("empty-aml", empty("laser.aml")), "data/laser.aml");
    expectFatal(runBroken("half-aml", halve("puolipallo.aml")), "File 'data/puolipallo.aml' is truncated");
    expectFatal(runBroken("empty-png", empty("risti.png")), "data/risti.png");
    expectFatal(runBroken("half-png", halve("overlay.png")), "data/overlay.png");
    expectFatal(runBroken("empty-jpg", empty("sky_c00.jpg")), "data/sky_c00.jpg");
    expectFatal(runBroken("half-jpg", halve("sky_c02.jpg")), "data/sky_c02.jpg");
    expectClipReported(runBroken("empty-avi", empty("heilu.avi")), "data/heilu.avi");
    // A cut clip plays the frames it has; an empty material is a program of no shaders;
    // an empty text bitmap leaves the box wall flat; an empty track is named and the
    // demo runs on the silent clock.
    expectRunsToTheEnd(runBroken("half-avi", halve("vispi.avi")));
    expectRunsToTheEnd(runBroken("empty-mat", empty("materials/show_normals.mat")));
    expectRunsToTheEnd(runBroken("empty-text", empty("text.bin")));
    const Outcome silent = runBroken("empty-mp3", empty("sorvan.mp3"));
    expectRunsToTheEnd(silent);
    EXPECT_NE(silent.output.find("Music file data/sorvan.mp3 cannot be played"), std::string::npos)
        << silent.output;
}

TEST_F(BadInput, PicturesThatAreNotWhatTheySeem) {
    expectFatal(runBroken("jpeg-as-png",
                          [](const std::string& d) {
                              writeFileBytes(d + "/risti.png", readFileBytes(d + "/sky_c00.jpg"));
                          }),
                "data/risti.png");
    // A PNG whose header says 0 x 0, with a valid checksum so only the size is wrong.
    expectFatal(runBroken("zero-size",
                          [](const std::string& d) {
                              std::string png = readFileBytes(d + "/risti.png");
                              for (int i = 16; i < 24; ++i) png[i] = 0;
                              uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
                              for (int i = 0; i < 4; ++i) png[29 + i] = char(crc >> (24 - 8 * i));
                              writeFileBytes(d + "/risti.png", png);
                          }),
                "data/risti.png");
}

TEST_F(BadInput, ClipsWithoutEnoughVideo) {
    expectClipReported(runBroken("audio-only-avi",
                                 [](const std::string& d) {
                                     useSeedClip(d + "/dance.avi", "audio-only.avi");
                                 }),
                       "data/dance.avi");
    expectRunsToTheEnd(runBroken("one-frame-avi", [](const std::string& d) {
        useSeedClip(d + "/dance.avi", "one-frame.avi");
    }));
}

TEST_F(BadInput, MaterialLinesAndShaders) {
    const std::string longComment = "// " + std::string(597, 'x') + "\n";
    expectRunsToTheEnd(runBroken("long-line", [&](const std::string& d) {
        replaceIn(d + "/materials/test.mat", "void main()", longComment + "void main()");
    }));
    expectFatal(runBroken("long-word",
                          [](const std::string& d) {
                              replaceIn(d + "/materials/test.mat", "= risti", "= " + std::string(300, 'r'));
                          }),
                "Word too long in material file");
    expectFatal(runBroken("compile-error",
                          [](const std::string& d) {
                              replaceIn(d + "/materials/test.mat", "gl_FragColor =", "gl_FragColor = nonsense +");
                          }),
                "Error compiling fragment shader 'SHD$test'");
}

TEST_F(BadInput, HugeMeshCountInAModelHeader) {
    expectFatal(runBroken("huge-count",
                          [](const std::string& d) {
                              std::string aml = readFileBytes(d + "/laser.aml");
                              for (int i = 4; i < 8; ++i) aml[i] = char(0xFF);
                              aml[7] = 0x7F;
                              writeFileBytes(d + "/laser.aml", aml);
                          }),
                "File 'data/laser.aml' is truncated");
}

TEST_F(BadInput, HarmlessDefectsLetTheDemoRun) {
    // A short text bitmap fills only its beginning.
    expectRunsToTheEnd(runBroken("short-text", [](const std::string& d) {
        writeFileBytes(d + "/text.bin", std::string(10, '\x7f'));
    }));
    // Without its music the demo runs on the silent clock.
    expectRunsToTheEnd(runBroken("no-music", [](const std::string& d) {
        std::remove((d + "/sorvan.mp3").c_str());
    }));
}

TEST_F(BadInput, UnwritableCaptureFolderIsReportedAndTheDemoGoesOn) {
    std::string output;
    if (runCommand("command -v xdotool", output) != 0) GTEST_SKIP() << "xdotool is missing";
    // A plain file where the capture folder belongs: neither it nor a shot can be made.
    // F11 goes to this demo's own window only, until the demo has played to its end.
    const std::string folder = makeTempDir("bad-capture");
    ASSERT_EQ(runCommand("cp -r '" + buildDataDir() + "' '" + folder + "/data'", output), 0) << output;
    const std::string script =
        ": > w:\n"
        "'" + buildDir() + "/demo' --windowed --mute --start 153 2>demo.log &\n"
        "pid=$!\n"
        "while kill -0 $pid 2>/dev/null; do\n"
        "  win=$(xdotool search --onlyvisible --pid $pid 2>/dev/null | head -n1)\n"
        "  [ -n \"$win\" ] && xdotool key --window \"$win\" F11 2>/dev/null\n"
        "  sleep 0.3\n"
        "done\n"
        "wait $pid; echo $? > status\n"
        "cat demo.log; ls data/w: data/shots 2>/dev/null\n";
    const int status = runOnOwnDisplay(folder, script, "", output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Cannot create the capture folder w:/shots"), std::string::npos) << output;
    runCommand("rm -rf '" + folder + "'", output);
}

}  // namespace
