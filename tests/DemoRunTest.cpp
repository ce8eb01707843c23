// The real `demo` program: its options, and a whole run under an X server that starts
// with no options but a capture folder, captures a frame on F11 and quits on Escape.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace {

std::string demoPath() { return buildDir() + "/demo"; }

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(DemoOptions, BadOptionsPrintTheUsageAndFail) {
    const char* bad[] = {"--bogus", "--start", "--start abc", "--start -5", "--start 3x",
                         "extra", "--data", "--shots", "--render out --shots caps"};
    for (const char* arguments : bad) {
        std::string output;
        int status = runCommand(demoPath() + " " + arguments, output);
        EXPECT_EQ(status, 2) << arguments << "\n" << output;
        EXPECT_NE(output.find("usage: demo"), std::string::npos) << arguments << "\n" << output;
    }
}

TEST(DemoOptions, NoWindowIsReportedAndFails) {
    std::string output;
    int status =
        runCommand("SDL_VIDEODRIVER=no-such-driver " + demoPath() + " --windowed", output);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("Error creating window!"), std::string::npos) << output;
}

TEST(DemoOptions, DriverWithoutAFeatureEndsTheRunNamingIt) {
    // Mesa's own switch takes the extension out of the driver's strings.
    std::string output;
    const int status = runCommand("MESA_EXTENSION_OVERRIDE=-GL_EXT_framebuffer_object "
                                  "SDL_VIDEODRIVER=offscreen " +
                                      demoPath() + " --frame 1 --output unused.png",
                                  output);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find("lacks what the demo draws with: framebuffer objects "
                          "(GL_EXT_framebuffer_object)"),
              std::string::npos)
        << output;
}

TEST(DemoOptions, HelpAndVersionAnswerAndSucceed) {
    std::string output;
    ASSERT_EQ(runCommand(demoPath() + " --help", output), 0) << output;
    for (const char* needed : {"--windowed", "--start SECONDS", "--mute", "--version", "Escape",
                               "Page Up", "F11", "w:/shots/", "sorvan.mp3", "reload",
                               "--data DIR", "--shots DIR"}) {
        EXPECT_NE(output.find(needed), std::string::npos) << needed << " missing in\n" << output;
    }
    ASSERT_EQ(runCommand(demoPath() + " --version", output), 0) << output;
    EXPECT_NE(output.find(VORNEKKA_VERSION), std::string::npos) << output;
    ASSERT_EQ(runCommand(buildDir() + "/demo-2d --help", output), 0) << output;
    for (const char* difference :
         {"second build", "no eye offset", "no loading frame", "overlay"}) {
        EXPECT_NE(output.find(difference), std::string::npos)
            << difference << " missing in\n" << output;
    }
}

// The capture folder is given (--shots), so F11 must write there and not in w:/shots.
TEST(DemoRun, StartsCapturesOnF11IntoTheShotsFolderAndQuitsOnEscape) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs an X server (ctest runs under xvfb-run)";
    std::string output;
    if (runCommand("command -v xdotool", output) != 0) GTEST_SKIP() << "xdotool is missing";
    ASSERT_TRUE(exists(buildDataDir() + "/sorvan.mp3"))
        << "no data folder in the build tree: run make-data --output " << buildDataDir();

    std::string folder = makeTempDir("demo-run");
    std::string script =
        "cd '" + folder + "' && ln -s '" + buildDataDir() + "' data\n" +
        "timeout 120 '" + demoPath() + "' --shots 'my shots' >demo.log 2>&1 &\n"
        "pid=$!\n"
        "win=\n"
        "for i in $(seq 1 180); do\n"
        "  kill -0 $pid 2>/dev/null || break\n"
        "  win=$(xdotool search --onlyvisible --name '^Vornekka$' 2>/dev/null | head -n1)\n"
        "  [ -n \"$win\" ] && break; sleep 0.5\n"
        "done\n"
        "if [ -z \"$win\" ]; then echo 'no demo window'; kill $pid; wait $pid; cat demo.log; exit 90; fi\n"
        "xdotool windowfocus --sync \"$win\" || true\n"
        // Keys are queued until the first loop pass; F11 again until its file appears.
        "for i in $(seq 1 120); do\n"
        "  [ -f 'my shots/shot0000.png' ] && break\n"
        "  kill -0 $pid 2>/dev/null || break\n"
        "  xdotool key --clearmodifiers F11; sleep 0.5\n"
        "done\n"
        "xdotool key --clearmodifiers Escape\n"
        "wait $pid; status=$?\n"
        "cat demo.log\n"
        "exit $status\n";
    writeFileBytes(folder + "/run.sh", script);
    int status = runCommand("sh '" + folder + "/run.sh'", output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(exists(folder + "/my shots/shot0000.png")) << output;
    EXPECT_FALSE(exists(folder + "/w:")) << output;
}
