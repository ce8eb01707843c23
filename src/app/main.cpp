// Entry point: options, window, start-up, music, then one frame per loop pass until a
// key, the window, the timeline or a signal ends the process (every way passes the
// platform's shutdown, which puts the display back).
#include "app/App.h"
#include "app/DemoContext.h"
#include "app/Offline.h"
#include "core/BuildVariant.h"
#include "effects/Timeline.h"
#include "platform/Platform.h"
#include "resources/DataFolder.h"

#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

enum class Mode { Play, Render, Still, Benchmark, Join };

struct Options {
    Mode mode = Mode::Play;
    RenderRequest render;
    bool fpsGiven = false, fromGiven = false, toGiven = false, crfGiven = false;
    int width = 800, height = 600;  // --size of stills and renders
    bool sizeGiven = false;
    const char* joinOutput = nullptr;
    std::vector<const char*> joinParts;
    double stillSeconds = 0;
    const char* stillOutput = nullptr;
    bool csv = false;
    bool windowed = false;    // no display-mode switch
    bool desktop = false;     // full screen at the desktop's size, no mode switch
    bool mute = false;        // no audio device; the clock still runs
    bool seekAtStart = false;
    float startSeconds = 0;   // demo time of the first frame when seekAtStart
    const char* data = nullptr;   // --data: the data folder instead of the lookup
    const char* shots = nullptr;  // --shots: the F11 capture folder
};

const char* programName(const char* argv0) {
    const char* slash = std::strrchr(argv0, '/');
    return slash ? slash + 1 : argv0;
}

void printUsage(FILE* out, const char* name) {
    std::fprintf(out,
                 "usage: %s [--windowed | --desktop] [--start SECONDS] [--mute] [--help]\n"
                 "            [--version]\n"
                 "       %s --render OUTPUT [--fps N] [--from SECONDS] [--to SECONDS]\n"
                 "            [--size WxH] [--crf N]\n"
                 "       %s --frame SECONDS --output FILE.png [--size WxH]\n"
                 "       %s --join OUTPUT PART...\n"
                 "       %s --benchmark [--csv]\n"
                 "Each form also takes --data DIR; playing also takes --shots DIR.\n",
                 name, name, name, name, name);
}

void printHelp(const char* name) {
    printUsage(stdout, name);
    std::printf(
        "\n"
        "Vornekka: a real-time production for red/cyan anaglyph glasses. It plays its\n"
        "music and draws eight scenes locked to it, then ends by itself after 159 s.\n"
        "%s\n"
        "Options (with none, the demo switches the display to 800 x 600 and plays):\n"
        "  --windowed         run in a window, 800 x 600 at first, no display-mode\n"
        "                     switch; resizing or maximising it scales the picture\n"
        "  --desktop          full screen at the desktop's own resolution, no mode\n"
        "                     switch: the 4:3 picture is scaled up between black bars\n"
        "  --start SECONDS    begin the music and the picture at SECONDS\n"
        "  --mute             play no sound; the demo clock runs all the same\n"
        "  --shots DIR        F11 saves its captures in DIR (default w:/shots)\n"
        "  --data DIR         read everything from the folder DIR (see Files)\n"
        "  --help             print this text and exit\n"
        "  --version          print the version and exit\n"
        "\n"
        "Offline (a hidden window, no sound device, no vsync; the picture and the clips\n"
        "follow a frame clock, so every run gives the same output; without a display\n"
        "they render offscreen, or run them under xvfb-run):\n"
        "  --render OUTPUT    render frames: OUTPUT ending in .mp4 or .mkv gets a video\n"
        "                     with the music, any other name a folder of numbered PNGs\n"
        "  --fps N            frames per second of the render (default 60)\n"
        "  --from SECONDS     demo time of the first frame (default 0)\n"
        "  --to SECONDS       demo time where the render ends (default 159, the end)\n"
        "  --size WxH         size of the render or still (default 800x600): the picture\n"
        "                     is drawn min(W/800, H/600) times larger, lines and points\n"
        "                     as thick in it, centred between black bars (1920x1080:\n"
        "                     1440 x 1080 between bars of 240)\n"
        "  --crf N            H.264 quality of a movie, 0 (lossless) to 51 (default 18);\n"
        "                     the movie is yuv420p at level 5.2\n"
        "  --frame SECONDS --output FILE.png\n"
        "                     one still at that demo time\n"
        "  --join OUTPUT PART...\n"
        "                     join movies rendered in parts (--render PART.mp4 --from A\n"
        "                     --to B, each part starting where the one before it ends,\n"
        "                     all at the same size, rate and --crf) into OUTPUT: the\n"
        "                     pictures copied, the music encoded once for the whole\n"
        "                     stretch (from sorvan.mp3 of the data folder); no window\n"
        "  --benchmark        time frames of every scene and of the bare stereo floor,\n"
        "                     drawn alternately; prints median, 95th percentile, fps,\n"
        "                     the ratio to the floor frames drawn beside each scene,\n"
        "                     start-up time and peak memory\n"
        "  --csv              with --benchmark: the table as CSV\n"
        "\n"
        "Keys:\n"
        "  Escape             quit\n"
        "  Left / Right       back / forward 1 second\n"
        "  Down / Up          back / forward 5 seconds\n"
        "  Page Up / Page Down  back / forward 30 seconds\n"
        "  P                  pause and resume\n"
        "  L                  reload the materials (materials/ of the data folder)\n"
        "  F11                save the frame as shotNNNN.png in w:/shots/ of the working\n"
        "                     directory, or in the --shots folder (folders are created);\n"
        "                     always the 800 x 600 picture, whatever the window's size\n"
        "  The keypad's arrows and Page Up / Page Down (Num Lock off) work as well; on a\n"
        "  Cyrillic or Greek layout Escape, L and P are the keys in those places.\n"
        "\n"
        "Ctrl-C, SIGTERM and SIGHUP end any run within a second with status 128 + the\n"
        "signal's number; every way out puts the display back. An interrupted --render\n"
        "removes the file it was writing.\n"
        "\n"
        "Files: everything is read from one data folder, the first of:\n"
        "  1. the folder given with --data DIR (it must exist and not be empty);\n"
        "  2. \"data\" in the working directory, when there is one;\n"
        "  3. the installed data, %s from the program's own folder;\n"
        "otherwise \"data\" is still tried, and the first file missing there is reported.\n"
        "It holds sorvan.mp3 (music), PNG/JPEG textures, AML models, materials/, AVI clips\n"
        "and text.bin; vornekka-make-data --output DIR writes it. Without a playable\n"
        "music file the demo runs silent.\n",
        kSecondBuild ? "This is the second build: the stereo camera has no eye offset, the\n"
                       "material set-up draws no loading frame of its own, and no \"overlay\"\n"
                       "texture is loaded (later textures keep the higher anisotropy).\n"
                     : "",
        installedDataFromBin);
}

bool setMode(Options& options, Mode mode, const char* name) {
    if (options.mode != Mode::Play) {
        std::fprintf(stderr, "%s: --render, --frame, --join and --benchmark exclude each other\n",
                     name);
        return false;
    }
    options.mode = mode;
    return true;
}

// A non-negative number of seconds after argv[i]; advances i.
bool readSeconds(int argc, char** argv, int& i, const char* name, double& seconds) {
    const char* option = argv[i];
    if (i + 1 >= argc) {
        std::fprintf(stderr, "%s: %s needs a number of seconds\n", name, option);
        return false;
    }
    const char* value = argv[++i];
    char* end = nullptr;
    seconds = std::strtod(value, &end);
    if (end == value || *end != '\0' || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 1.0e6) {
        std::fprintf(stderr, "%s: %s: '%s' is not a number of seconds\n", name, option, value);
        return false;
    }
    return true;
}

// A whole number from `low` to `high` after argv[i]; advances i.
bool readWholeNumber(int argc, char** argv, int& i, const char* name, long low, long high,
                     int& number) {
    const char* option = argv[i];
    const char* value = i + 1 < argc ? argv[++i] : "";
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || parsed < low || parsed > high) {
        std::fprintf(stderr, "%s: %s: '%s' is not a whole number from %ld to %ld\n", name,
                     option, value, low, high);
        return false;
    }
    number = static_cast<int>(parsed);
    return true;
}

// Options that only make sense with a mode they were not given with.
bool checkCombination(const Options& options, const char* name) {
    const bool renderOnly = options.fpsGiven || options.fromGiven || options.toGiven;
    if ((renderOnly || options.crfGiven) && options.mode != Mode::Render) {
        std::fprintf(stderr, "%s: --fps, --from, --to and --crf belong to --render\n", name);
        return false;
    }
    if (options.sizeGiven && options.mode != Mode::Render && options.mode != Mode::Still) {
        std::fprintf(stderr, "%s: --size belongs to --render and --frame\n", name);
        return false;
    }
    if (options.mode == Mode::Join && options.joinParts.empty()) {
        std::fprintf(stderr, "%s: --join needs an output and at least one part\n", name);
        return false;
    }
    if (options.mode == Mode::Render && options.render.to <= options.render.from) {
        std::fprintf(stderr, "%s: --to must be later than --from\n", name);
        return false;
    }
    if ((options.mode == Mode::Still) != (options.stillOutput != nullptr)) {
        std::fprintf(stderr, "%s: --frame and --output go together\n", name);
        return false;
    }
    if (options.csv && options.mode != Mode::Benchmark) {
        std::fprintf(stderr, "%s: --csv belongs to --benchmark\n", name);
        return false;
    }
    const bool offline = options.mode != Mode::Play;
    if (offline && (options.windowed || options.desktop || options.mute || options.seekAtStart ||
                    options.shots)) {
        std::fprintf(stderr,
                     "%s: --windowed, --desktop, --mute, --start and --shots are for playing\n",
                     name);
        return false;
    }
    if (options.windowed && options.desktop) {
        std::fprintf(stderr, "%s: --windowed and --desktop exclude each other\n", name);
        return false;
    }
    return true;
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
        } else if (std::strcmp(arg, "--desktop") == 0) {
            options.desktop = true;
        } else if (std::strcmp(arg, "--mute") == 0) {
            options.mute = true;
        } else if (std::strcmp(arg, "--render") == 0 || std::strcmp(arg, "--output") == 0 ||
                   std::strcmp(arg, "--data") == 0 || std::strcmp(arg, "--shots") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0' || std::strlen(argv[i + 1]) > 4000) {
                std::fprintf(stderr, "%s: %s needs a file or folder name (up to 4000 bytes)\n",
                             name, arg);
                return false;
            }
            if (std::strcmp(arg, "--data") == 0) {
                options.data = argv[++i];
            } else if (std::strcmp(arg, "--shots") == 0) {
                options.shots = argv[++i];
            } else if (std::strcmp(arg, "--render") == 0) {
                if (!setMode(options, Mode::Render, name)) return false;
                options.render.output = argv[++i];
            } else {
                options.stillOutput = argv[++i];
            }
        } else if (std::strcmp(arg, "--frame") == 0 || std::strcmp(arg, "--from") == 0 ||
                   std::strcmp(arg, "--to") == 0) {
            double seconds = 0;
            if (!readSeconds(argc, argv, i, name, seconds)) return false;
            if (std::strcmp(arg, "--frame") == 0) {
                if (!setMode(options, Mode::Still, name)) return false;
                options.stillSeconds = seconds;
            } else if (std::strcmp(arg, "--from") == 0) {
                options.render.from = seconds;
                options.fromGiven = true;
            } else {
                options.render.to = seconds;
                options.toGiven = true;
            }
        } else if (std::strcmp(arg, "--fps") == 0) {
            if (!readWholeNumber(argc, argv, i, name, 1, 1000, options.render.fps)) return false;
            options.fpsGiven = true;
        } else if (std::strcmp(arg, "--size") == 0) {
            const char* value = i + 1 < argc ? argv[++i] : "";
            int width = 0, height = 0, end = 0;
            if (std::sscanf(value, "%5dx%5d%n", &width, &height, &end) != 2 ||
                value[end] != '\0' || width < 16 || height < 16 || width > 8192 ||
                height > 8192) {
                std::fprintf(stderr, "%s: --size: '%s' is not WIDTHxHEIGHT, 16 to 8192 each\n",
                             name, value);
                return false;
            }
            options.width = width;
            options.height = height;
            options.sizeGiven = true;
        } else if (std::strcmp(arg, "--crf") == 0) {
            if (!readWholeNumber(argc, argv, i, name, 0, 51, options.render.crf)) return false;
            options.crfGiven = true;
        } else if (std::strcmp(arg, "--join") == 0) {
            if (!setMode(options, Mode::Join, name)) return false;
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "%s: --join needs an output file name\n", name);
                return false;
            }
            options.joinOutput = argv[++i];
            // The parts are every name after it, up to the next option.
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
                options.joinParts.push_back(argv[++i]);
        } else if (std::strcmp(arg, "--benchmark") == 0) {
            if (!setMode(options, Mode::Benchmark, name)) return false;
        } else if (std::strcmp(arg, "--csv") == 0) {
            options.csv = true;
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
    return checkCombination(options, name);
}

}  // namespace

int main(int argc, char** argv) {
    // llvmpipe frees its per-flush buffers every frame; without this glibc returns the
    // heap to the system and faults it back in, doubling the cost of a heavy frame.
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    platformHandleSignals();

    Options options;
    if (!parseOptions(argc, argv, options)) {
        printUsage(stderr, programName(argv[0]));
        return 2;
    }
    chooseDataFolder(options.data);
    musicFile = dataPath("sorvan.mp3");
    if (options.shots) screenCapture.folder = options.shots;

    // Joining needs no window: the pictures are copied, only the music is encoded.
    if (options.mode == Mode::Join) return joinMovies(options.joinOutput, options.joinParts);

    viewportWidth = screenWidth;
    viewportHeight = screenHeight;
    PlatformWindowRequest request;
    request.title = windowTitle;
    request.width = screenWidth;
    request.height = screenHeight;
    request.colourBits = 32;
    request.fullScreen = !options.windowed && !options.desktop;
    request.desktop = options.desktop;
    request.resizable = options.windowed;
    const bool offline = options.mode != Mode::Play;
    if (offline) {
        prepareCapture(captureLayout(options.width, options.height));
        request.fullScreen = false;
        request.hidden = true;
        request.vsync = false;
    }
    PlatformWindowResult opened = platformOpenWindow(request);
    if (opened == PlatformWindowResult::Failed) {
        platformShowError("Error creating window!");
        return 1;
    }
    if (opened == PlatformWindowResult::ModeSwitchFailed)
        platformShowError("Mode Switch Failed.\nRunning In Windowed Mode.");
    resizeView(screenWidth, screenHeight);

    startUp(offline);

    if (offline) {
        beginCapture();
        switch (options.mode) {
        case Mode::Render: return renderOffline(options.render);
        case Mode::Still: return renderStill(options.stillSeconds, options.stillOutput);
        case Mode::Benchmark: {
            // As a play opens it, so the start-up figure waits for the first seconds of
            // the music and the peak memory holds the stream's ring.
            static MusicStream music;
            music.open(musicFile.c_str(), true);
            return runBenchmark(options.csv);
        }
        case Mode::Play:
        case Mode::Join: break;
        }
    }

    static MusicStream music;
    music.open(musicFile.c_str(), options.mute);
    demoContext.music = &music;
    music.play();
    if (options.seekAtStart) {
        demoContext.seek(options.startSeconds);
        // The first frame looks as it does in a play from 0 s: the clips already started
        // run from their first use, and what earlier scenes left switched on stays on.
        constexpr int kNominalFps = 60;
        catchUpWithSchedule(kNominalFps, static_cast<int64_t>(options.startSeconds * 1000.0f),
                            platformClipMilliseconds());
    }

    for (;;) {
        dispatchEvents();
        drawFrame();
        swapBuffers();
    }
}
