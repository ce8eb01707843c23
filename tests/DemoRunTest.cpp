// The real `demo` program: its options, and a whole run under an X server that starts
// with no options but a capture folder, captures a frame on F11 and quits on Escape.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace {

std::string demoPath() { return buildDir() + "/demo"; }

// Shell lines that wait for the window of the run $pid and set $win, or end the script
// with status 90 and the run's log. xdotool's search matches any one of its conditions
// unless told --all, and another run's window may share the display.
const char kFindWindow[] =
    "win=\n"
    "for i in $(seq 1 180); do\n"
    "  kill -0 $pid 2>/dev/null || break\n"
    "  win=$(xdotool search --all --onlyvisible --pid $pid --name '^Vornekka$' 2>/dev/null "
    "| head -n1)\n"
    "  [ -n \"$win\" ] && break; sleep 0.5\n"
    "done\n"
    "if [ -z \"$win\" ]; then echo 'no demo window'; kill $pid; wait $pid; cat demo.log; exit 90; fi\n";

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
    for (const char* needed : {"--windowed", "--desktop", "--start SECONDS", "--mute",
                               "--version", "Escape", "Page Up", "F11", "w:/shots/",
                               "sorvan.mp3", "reload", "--data DIR", "--shots DIR"}) {
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
        "'" + demoPath() + "' --shots 'my shots' >demo.log 2>&1 &\n"
        "pid=$!\n"
        "(sleep 120; kill -KILL $pid) >/dev/null 2>&1 &\n" +
        std::string(kFindWindow) +
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

namespace {

bool haveDisplayAndTools(std::string& why) {
    const char* display = std::getenv("DISPLAY");
    std::string output;
    if (!display || !*display) why = "needs an X server (ctest runs under xvfb-run)";
    else if (runCommand("command -v xdotool && test -x /usr/bin/import", output) != 0)
        why = "xdotool or ImageMagick's import is missing";
    else if (!exists(buildDataDir() + "/sorvan.mp3"))
        why = "no data folder in the build tree: run make-data --output " + buildDataDir();
    return why.empty();
}

// Plays `arguments` in a fresh folder with the data, waits for the window ($win) and for
// the main loop (its first F11 capture), runs `resize`, pauses, captures the paused
// frame as still.png, runs `grab` (it writes grab.png), quits with Escape. Prints the
// values of `measure` (a shell command run in the folder) and returns the exit status.
// `server` runs the script: empty for this display, or an xvfb-run of its own.
int playAndGrab(const std::string& server, const std::string& arguments,
                const std::string& resize, const std::string& grab,
                const std::string& measure, std::string& output) {
    std::string folder = makeTempDir("demo-grab");
    std::string script =
        "cd '" + folder + "' && ln -s '" + buildDataDir() + "' data\n" +
        "'" + demoPath() + "' --mute " + arguments + " >demo.log 2>&1 &\n"
        "pid=$!\n"
        "(sleep 150; kill -KILL $pid) >/dev/null 2>&1 & dog=$!\n" +
        kFindWindow +
        resize + "\n"
        "xdotool windowfocus --sync \"$win\" || true\n"
        "shots() { ls w:/shots 2>/dev/null | wc -l; }\n"
        "for i in $(seq 1 120); do\n"
        "  [ \"$(shots)\" -gt 0 ] && break\n"
        "  kill -0 $pid 2>/dev/null || break\n"
        "  xdotool key --clearmodifiers F11; sleep 0.5\n"
        "done\n"
        "xdotool key --clearmodifiers p; sleep 1\n"
        "before=$(shots); xdotool key --clearmodifiers F11\n"
        "for i in $(seq 1 40); do [ \"$(shots)\" -gt \"$before\" ] && break; sleep 0.25; done\n"
        "sleep 0.5; cp \"w:/shots/$(ls w:/shots | tail -n1)\" still.png\n" +
        grab + "\n" + measure + "\n"
        "xdotool key --clearmodifiers Escape\n"
        "wait $pid; status=$?; kill $dog 2>/dev/null\n"
        "cat demo.log\n"
        "exit $status\n";
    writeFileBytes(folder + "/run.sh", script);
    return runCommand(server + "sh '" + folder + "/run.sh'", output);
}

// The figure printed as `name=value` in the output; -1 when missing.
double printed(const std::string& output, const std::string& name) {
    const size_t at = output.find(name + "=");
    if (at == std::string::npos) return -1;
    const char* text = output.c_str() + at + name.size() + 1;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? -1 : value;
}

// Shell lines that print the largest value in each bar (0: black) and the mean
// difference between the picture's rectangle and the still scaled the same way.
std::string letterboxMeasure(const std::string& image, int x, int y, int width, int height,
                             const std::string& bars) {
    const std::string rect = std::to_string(width) + "x" + std::to_string(height) + "+" +
                             std::to_string(x) + "+" + std::to_string(y);
    return "/usr/bin/convert still.png -filter Triangle -resize " + std::to_string(width) +
           "x" + std::to_string(height) + "! scaled.png\n" +
           "/usr/bin/convert " + image + " -crop " + rect + " +repage picture.png\n" +
           "echo size=$(/usr/bin/identify -format '%wx%h' " + image + ")\n" +
           "echo difference=$(/usr/bin/compare -metric MAE picture.png scaled.png null: 2>&1 "
           "| sed 's/.*(\\(.*\\))/\\1/')\n" + bars;
}

std::string barMax(const std::string& image, const std::string& name, const std::string& rect) {
    return "echo " + name + "=$(/usr/bin/convert " + image + " -crop " + rect +
           " +repage -format '%[max]' info:)\n";
}

// Plays `arguments` (after `resize`), grabs the window and compares it with the paused
// frame's F11 capture, which stays 800 x 600: the window is areaWidth x areaHeight, the
// picture `width` wide at `x` and as high as the window, black bars on either side.
// (A picture 20 px off or cropped differs from the scaled still by 0.05; the right
// one by 0.002.)
void expectPillarboxed(const std::string& server, const std::string& arguments,
                       const std::string& resize, int areaWidth, int areaHeight, int x,
                       int width) {
    auto rect = [](int w, int h, int left) {
        return std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(left) + "+0";
    };
    const int right = x + width;
    std::string output;
    const int status = playAndGrab(
        server, arguments, resize, "/usr/bin/import -window \"$win\" grab.png",
        letterboxMeasure("grab.png", x, 0, width, areaHeight,
                         barMax("grab.png", "left", rect(x, areaHeight, 0)) +
                             barMax("grab.png", "right", rect(areaWidth - right, areaHeight, right))) +
            "echo still=$(/usr/bin/identify -format '%wx%h' still.png)\n",
        output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("size=" + std::to_string(areaWidth) + "x" + std::to_string(areaHeight)),
              std::string::npos) << output;
    EXPECT_NE(output.find("still=800x600"), std::string::npos) << output;
    EXPECT_EQ(printed(output, "left"), 0) << output;
    EXPECT_EQ(printed(output, "right"), 0) << output;
    const double difference = printed(output, "difference");
    EXPECT_GE(difference, 0) << output;
    EXPECT_LT(difference, 0.01) << output;
}

}  // namespace

// On a 1920 x 1080 screen --desktop covers it: the 4:3 picture 1440 x 1080 in the
// middle, 240 px of black on either side.
TEST(DemoRun, DesktopCoversTheScreenWithThePictureBetweenBars) {
    std::string why;
    if (!haveDisplayAndTools(why)) GTEST_SKIP() << why;
    expectPillarboxed("xvfb-run -a -s '-screen 0 1920x1080x24' ", "--desktop --start 40", "",
                      1920, 1080, 240, 1440);
}

// A window resized to 1000 x 500 shows the whole picture, 667 x 500 between bars.
TEST(DemoRun, ResizedWindowShowsTheWholePictureLetterboxed) {
    std::string why;
    if (!haveDisplayAndTools(why)) GTEST_SKIP() << why;
    expectPillarboxed("", "--windowed --start 40",
                      "xdotool windowmove \"$win\" 0 0; xdotool windowsize \"$win\" 1000 500; "
                      "sleep 0.5",
                      1000, 500, 166, 667);
}

// A signal ends the run in every state, within a second or two, with the status a shell
// expects: while the error box waits for a click (no data, someone watching), while
// loading, and while rendering offline, where the unfinished movie is removed.
TEST(DemoRun, SignalsEndEveryStateWithTheShellsStatus) {
    std::string why;
    if (!haveDisplayAndTools(why)) GTEST_SKIP() << why;
    const struct {
        const char* state;
        bool data;
        const char* run;    // the command, in the run's folder
        const char* ready;  // true once the state is reached
        const char* signal;
        int status;
    } cases[] = {
        {"error box", false, "env -u VORNEKKA_UNATTENDED -u CI -u SDL_VIDEODRIVER DEMO --windowed",
         "xwininfo -root -tree | grep -q '\"Error\"'", "TERM", 143},
        {"loading", true, "DEMO --windowed --mute",
         "xdotool search --all --pid $pid --onlyvisible --name '^Vornekka$'", "INT", 130},
        {"offline render", true, "DEMO --render movie.mp4 --to 60", "test -s movie.mp4", "INT",
         130},
    };
    for (const auto& c : cases) {
        std::string folder = makeTempDir("demo-signal");
        std::string run = c.run;
        run.replace(run.find("DEMO"), 4, "'" + demoPath() + "'");
        std::string script =
            "cd '" + folder + "'\n" +
            (c.data ? "ln -s '" + buildDataDir() + "' data\n" : std::string()) + run +
            " >demo.log 2>&1 &\n"
            "pid=$!\n"
            "(sleep 120; kill -KILL $pid) >/dev/null 2>&1 & dog=$!\n"
            "for i in $(seq 1 480); do\n"
            "  kill -0 $pid 2>/dev/null || break\n"
            "  " + c.ready + " >/dev/null 2>&1 && break; sleep 0.25\n"
            "done\n"
            "if ! kill -0 $pid 2>/dev/null; then echo 'ended before the state'; cat demo.log; exit 90; fi\n"
            "start=$(date +%s%N); kill -" + c.signal + " $pid; wait $pid; status=$?\n"
            "echo took_ms=$(( ($(date +%s%N) - start) / 1000000 )); kill $dog\n"
            "ls movie.mp4 2>/dev/null && echo 'left a movie'\n"
            "xwininfo -root -tree | grep -q '\"Error\"' && echo 'left an error box'\n"
            "cat demo.log\n"
            "exit $status\n";
        writeFileBytes(folder + "/run.sh", script);
        std::string output;
        EXPECT_EQ(runCommand("sh '" + folder + "/run.sh'", output), c.status)
            << c.state << "\n" << output;
        const double took = printed(output, "took_ms");
        EXPECT_GE(took, 0) << c.state << "\n" << output;
        EXPECT_LE(took, 2000) << c.state << "\n" << output;
        EXPECT_EQ(output.find("left a"), std::string::npos) << c.state << "\n" << output;
    }
}
