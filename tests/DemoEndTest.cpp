// The real demo binary, started near the end of the schedule, must finish by itself
// with status 0 once the music passes the last scene.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

TEST(DemoEnd, RunFrom150SecondsEndsByItselfWithStatusZero) {
    ASSERT_FALSE(readFileBytes(buildDir() + "/demo").empty()) << "demo not built";
    if (readFileBytes(buildDataDir() + "/sorvan.mp3").empty())
        GTEST_SKIP() << "no data folder in the build directory (run make-data)";

    // Under Xvfb the demo opens a real X window; without any display it still runs on
    // SDL's offscreen driver. The timeout only guards against a demo that never ends.
    const char* display = std::getenv("DISPLAY");
    const std::string driver = display && *display ? "" : "SDL_VIDEODRIVER=offscreen ";
    const std::string command = "cd " + buildDir() + " && " + driver +
                                "SDL_AUDIODRIVER=dummy VORNEKKA_UNATTENDED=1 "
                                "timeout -s KILL 150 ./demo --windowed --start 150";
    const auto begin = std::chrono::steady_clock::now();
    std::string output;
    const int status = runCommand(command, output);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();

    EXPECT_EQ(status, 0) << output;
    // Nine seconds of music remain after 150 s; a demo that quits at once is wrong too.
    EXPECT_GE(seconds, 8.5) << output;
}
