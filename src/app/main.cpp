// Entry point: options, window, start-up, music, then one frame per loop pass until a
// key, the window or the timeline ends the process.
#include "app/App.h"
#include "app/BuildVariant.h"
#include "app/DemoContext.h"
#include "platform/Platform.h"

#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Options {
    bool windowed = false;    // no display-mode switch
    bool mute = false;        // no audio device; the clock still runs
    bool seekAtStart = false;
    float startSeconds = 0;   // demo time of the first frame when seekAtStart
};

const char* programName(const char* argv0) {
    const char* slash = std::strrchr(argv0, '/');
    return slash ? slash + 1 : argv0;
}

void printUsage(FILE* out, const char* name) {
    std::fprintf(out, "usage: %s [--windowed] [--start SECONDS] [--mute] [--help] [--version]\n",
                 name);
}

void printHelp(const char* name) {
    printUsage(stdout, name);
    std::printf(
        "\n"
        "Vornekka: a real-time production for red/cyan anaglyph glasses. It plays its\n"
        "music and draws eight scenes locked to it, then ends by itself after 159 s.\n"
        "%s\n"
        "Options (with none, the demo switches the display to 800 x 600 and plays):\n"
        "  --windowed         run in an 800 x 600 window, no display-mode switch\n"
        "  --start SECONDS    begin the music and the picture at SECONDS\n"
        "  --mute             play no sound; the demo clock runs all the same\n"
        "  --help             print this text and exit\n"
        "  --version          print the version and exit\n"
        "\n"
        "Keys:\n"
        "  Escape             quit\n"
        "  Left / Right       back / forward 1 second\n"
        "  Down / Up          back / forward 5 seconds\n"
        "  Page Up / Page Down  back / forward 30 seconds\n"
        "  P                  pause and resume\n"
        "  L                  reload the materials (data/materials/)\n"
        "  F11                save the frame as w:/shots/shotNNNN.png (folders are created)\n"
        "\n"
        "Files: everything is read from the folder \"data\" in the working directory:\n"
        "data/sorvan.mp3 (music), PNG/JPEG textures, AML models, data/materials/,\n"
        "AVI clips and data/text.bin. Without a playable music file the demo runs silent.\n",
        kSecondBuild ? "This is the second build: no eye offset, no overlay texture.\n" : "");
}

// Returns false with a message on stderr for anything it does not understand.
bool parseOptions(int argc, char** argv, Options& options) {
    const char* name = programName(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            printHelp(name);
            std::exit(0);
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("%s %s\n", name, VORNEKKA_VERSION);
            std::exit(0);
        } else if (std::strcmp(arg, "--windowed") == 0) {
            options.windowed = true;
        } else if (std::strcmp(arg, "--mute") == 0) {
            options.mute = true;
        } else if (std::strcmp(arg, "--start") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s: --start needs a number of seconds\n", name);
                return false;
            }
            const char* value = argv[++i];
            char* end = nullptr;
            double seconds = std::strtod(value, &end);
            if (end == value || *end != '\0' || !std::isfinite(seconds) || seconds < 0 ||
                seconds > 1.0e6) {
                std::fprintf(stderr, "%s: --start: '%s' is not a number of seconds\n", name,
                             value);
                return false;
            }
            options.seekAtStart = true;
            options.startSeconds = static_cast<float>(seconds);
        } else {
            std::fprintf(stderr, "%s: unknown option '%s'\n", name, arg);
            return false;
        }
    }
    return true;
}

void report(const char* text) {
    std::fprintf(stderr, "%s\n", text);
    platformShowError(text);
}

}  // namespace

int main(int argc, char** argv) {
    // llvmpipe frees its per-flush buffers every frame; without this glibc returns the
    // heap to the system and faults it back in, doubling the cost of a heavy frame.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

    Options options;
    if (!parseOptions(argc, argv, options)) {
        printUsage(stderr, programName(argv[0]));
        return 2;
    }

    viewportWidth = screenWidth;
    viewportHeight = screenHeight;
    PlatformWindowRequest request;
    request.title = windowTitle;
    request.width = screenWidth;
    request.height = screenHeight;
    request.colourBits = 32;
    request.fullScreen = !options.windowed;
    PlatformWindowResult opened = platformOpenWindow(request);
    if (opened == PlatformWindowResult::Failed) {
        report("Error creating window!");
        return 1;
    }
    if (opened == PlatformWindowResult::ModeSwitchFailed)
        report("Mode Switch Failed.\nRunning In Windowed Mode.");
    resizeView(screenWidth, screenHeight);

    startUp();

    static MusicStream music;
    music.open(musicFile, options.mute);
    demoContext.music = &music;
    music.play();
    if (options.seekAtStart) demoContext.seek(options.startSeconds);

    for (;;) {
        dispatchEvents();
        drawFrame();
        swapBuffers();
    }
}
