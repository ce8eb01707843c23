// The real `demo` program in its offline modes: frame folders, movies, stills and the
// benchmark, each on the frame clock, with no display needed.
#include "TestSupport.h"
#include "platform/Platform.h"
#include "resources/ImageFile.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

std::string demo() { return buildDir() + "/demo"; }

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void run(const std::string& arguments) {
    std::string output;
    ASSERT_EQ(runCommand(demo() + " " + arguments, output), 0) << arguments << "\n" << output;
}

// The largest sample of a PNG, through the project's reader; -1 when it cannot be read.
int brightestSample(const std::string& path) {
    Image image;
    if (read_png(path.c_str(), image, false) != 0) return -1;
    uint8_t* end = image.pixels + static_cast<size_t>(image.rowBytes) * image.height;
    const int brightest = *std::max_element(image.pixels, end);
    delete[] image.pixels;
    return brightest;
}

// A PNG read through the project's reader, top row first; empty when unreadable.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    int at(int x, int y, int c) const { return rgb[(size_t(y) * width + x) * 3 + c]; }
};

Picture readPicture(const std::string& path) {
    Picture picture;
    Image image;
    if (read_png(path.c_str(), image, false) != 0) return picture;
    std::unique_ptr<uint8_t[]> owned(image.pixels);
    if (image.channels != 3) return picture;
    picture.width = image.width;
    picture.height = image.height;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = image.pixels + size_t(y) * image.rowBytes;
        picture.rgb.insert(picture.rgb.end(), row, row + image.width * 3);
    }
    return picture;
}

// PSNR of `large` averaged 2 x 2 against `small`, over every sample.
double psnrOfHalved(const Picture& large, const Picture& small) {
    double squares = 0;
    for (int y = 0; y < small.height; ++y)
        for (int x = 0; x < small.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const double mean = (large.at(2 * x, 2 * y, c) + large.at(2 * x + 1, 2 * y, c) +
                                     large.at(2 * x, 2 * y + 1, c) +
                                     large.at(2 * x + 1, 2 * y + 1, c)) / 4.0;
                const double d = mean - small.at(x, y, c);
                squares += d * d;
            }
    const double mse = squares / (double(small.width) * small.height * 3);
    return mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99.0;
}

// Largest sample inside the rectangle.
int brightestIn(const Picture& p, int x0, int y0, int w, int h) {
    int brightest = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            for (int c = 0; c < 3; ++c) brightest = std::max(brightest, p.at(x, y, c));
    return brightest;
}

}  // namespace

TEST(OfflineRender, OneSecondAtTenFpsGivesTenFramesEqualOnEveryRun) {
    const std::string first = makeTempDir("offline-a") + "/frames";
    const std::string second = makeTempDir("offline-b") + "/frames";
    // Across the first clip's window opening at 15.7 s, so the clip's frames are in it.
    run("--render " + first + " --fps 10 --from 15 --to 16");
    run("--render " + second + " --fps 10 --from 15 --to 16");
    const std::vector<std::string> names = listFolder(first);
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "frame00000.png");
    EXPECT_EQ(names.back(), "frame00009.png");
    EXPECT_EQ(listFolder(second), names);
    std::string previous;
    int distinct = 0;
    for (const std::string& name : names) {
        const std::string a = readFileBytes(first + "/" + name);
        EXPECT_EQ(a, readFileBytes(second + "/" + name)) << name;
        distinct += a != previous;
        previous = a;
    }
    EXPECT_GT(distinct, 5) << "the frames do not move with the demo time";
}

// A still is the first frame its process draws, yet it must show what a play that
// went through every earlier frame shows: each clip's picture the moment it first
// shows (the clip primed, not black), a clip that has played a while, and the box wall
// drawn with the smooth lines the laser scene leaves on.
TEST(OfflineRender, StillEqualsTheSameFrameOfARenderStartedEarlier) {
    const struct {
        const char *from, *to;
        int fps;
        const char* still;
        size_t frame;  // the render's frame at the still's time
    } cases[] = {
        {"15.67", "15.73", 60, "15.72", 3},    // heilu's first picture
        {"23.32", "23.38", 60, "23.37", 3},    // dance's
        {"84.27", "84.33", 60, "84.32", 3},    // vispi's
        {"84.4", "84.51", 60, "84.5", 6},      // vispi 200 ms on
        {"103.3", "106.4", 1, "106.3", 3},     // the box wall after the laser scene
    };
    const std::string still = makeTempDir("offline-still-png") + "/still.png";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.still);
        const std::string folder = makeTempDir("offline-still") + "/frames";
        run(std::string("--render ") + folder + " --fps " + std::to_string(c.fps) + " --from " +
            c.from + " --to " + c.to);
        run(std::string("--frame ") + c.still + " --output " + still);
        const std::vector<std::string> names = listFolder(folder);
        ASSERT_EQ(names.size(), c.frame + 1);
        EXPECT_TRUE(readFileBytes(still) == readFileBytes(folder + "/" + names.back()))
            << "the still differs from the render's " << names.back();
    }
}

TEST(OfflineRender, ShortMovieHasItsFramesDurationAndMusic) {
    const std::string movie = makeTempDir("offline-movie") + "/short.mp4";
    run("--render " + movie + " --fps 10 --from 30 --to 32");

    AVFormatContext* format = nullptr;
    ASSERT_EQ(avformat_open_input(&format, movie.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(format, nullptr), 0);
    int video = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audio = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    ASSERT_GE(video, 0);
    EXPECT_GE(audio, 0) << "no music track";
    EXPECT_EQ(format->streams[video]->codecpar->width, 800);
    EXPECT_EQ(format->streams[video]->codecpar->height, 600);
    const double seconds = static_cast<double>(format->duration) / AV_TIME_BASE;
    EXPECT_NEAR(seconds, 2.0, 0.1);

    int frames = 0;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        frames += packet->stream_index == video;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    EXPECT_EQ(frames, 20);
}

TEST(OfflineRender, StillAtTheEndOfAFadeIsBlack) {
    const std::string still = makeTempDir("offline-fade") + "/fade.png";
    // The last millisecond of the box wall and the tunnel's end; a moment earlier each
    // scene is visible, so black is the fade, not a failure.
    const char* const stills[][2] = {{"126.889", "124"}, {"155.9", "150"}};
    for (const auto& times : stills) {
        run(std::string("--frame ") + times[0] + " --output " + still);
        EXPECT_EQ(brightestSample(still), 0) << times[0];
        run(std::string("--frame ") + times[1] + " --output " + still);
        EXPECT_GT(brightestSample(still), 60) << times[1];
    }
}

TEST(OfflineOptions, BadOptionsPrintTheUsageAndFail) {
    const char* bad[] = {"--render",
                         "--render out --fps 0",
                         "--render out --fps x",
                         "--render out --from 5 --to 4",
                         "--render out --from -1",
                         "--frame 3",
                         "--frame abc --output x.png",
                         "--output x.png",
                         "--fps 30",
                         "--csv",
                         "--benchmark --frame 3 --output x.png",
                         "--render out --mute",
                         "--size 1600x1200",
                         "--benchmark --size 1600x1200",
                         "--frame 3 --output x.png --size 1600",
                         "--frame 3 --output x.png --size 8x8",
                         "--frame 3 --output x.png --crf 20",
                         "--render out.mp4 --crf 52",
                         "--join out.mp4"};
    for (const char* arguments : bad) {
        std::string output;
        int status = runCommand(demo() + " " + arguments, output);
        EXPECT_EQ(status, 2) << arguments << "\n" << output;
        EXPECT_NE(output.find("usage: demo"), std::string::npos) << arguments << "\n" << output;
    }
}

TEST(OfflineOptions, UnwritableOutputsFailWithTheirName) {
    std::string output;
    EXPECT_EQ(runCommand(demo() + " --frame 30 --output /nonexistent-dir/x.png", output), 1);
    EXPECT_NE(output.find("/nonexistent-dir/x.png"), std::string::npos) << output;
    EXPECT_EQ(runCommand(demo() + " --render /proc/no-such/frames --fps 10 --to 0.2", output), 1);
    EXPECT_NE(output.find("/proc/no-such/frames"), std::string::npos) << output;
    EXPECT_EQ(runCommand(demo() + " --frame 200 --output x.png", output), 1);
    EXPECT_NE(output.find("after the end"), std::string::npos) << output;
}

TEST(OfflineBenchmark, CsvHasTheFloorFirstAndEveryScene) {
    std::string output;
    ASSERT_EQ(runCommand(demo() + " --benchmark --csv", output), 0) << output;
    // The start-up time and peak memory come on stderr, which runCommand mixes in.
    std::istringstream lines(output);
    std::string line;
    std::vector<std::string> rows;
    bool startUp = false, peak = false;
    while (std::getline(lines, line)) {
        if (line.rfind("start-up to first frame: ", 0) == 0) startUp = true;
        else if (line.rfind("peak memory (VmHWM): ", 0) == 0) peak = true;
        else rows.push_back(line);
    }
    EXPECT_TRUE(startUp && peak) << output;
    ASSERT_EQ(rows.size(), 10u) << output;
    EXPECT_EQ(rows[0], "scene,frames,median_ms,p95_ms,fps,ratio_to_floor");
    // The floor frames alternate with each scene's 60.
    EXPECT_EQ(rows[1].rfind("floor,480,", 0), 0u) << rows[1];
    EXPECT_EQ(rows[1].substr(rows[1].size() - 5), ",1.00") << rows[1];
    for (size_t i = 2; i < rows.size(); ++i) {
        double median = 0, p95 = 0, fps = 0, ratio = 0;
        const size_t comma = rows[i].find(',');
        ASSERT_EQ(std::sscanf(rows[i].c_str() + comma, ",60,%lf,%lf,%lf,%lf", &median, &p95,
                              &fps, &ratio),
                  4)
            << rows[i];
        EXPECT_GT(median, 0) << rows[i];
        EXPECT_GE(p95, median) << rows[i];
        EXPECT_NEAR(fps, 1000.0 / median, 0.1 + fps * 0.01) << rows[i];
    }
}

TEST(OfflineRender, EverySceneIsLitWhenItIsTheFirstFrameAfterStartUp) {
    // A still is the first frame the process draws, so no earlier scene has left state
    // behind: each scene must set up everything it relies on itself.
    const std::string still = makeTempDir("offline-first") + "/first.png";
    for (const char* middle : {"6", "19.4", "42.4", "65.4", "80.5", "95.6", "115.1", "143"}) {
        run(std::string("--frame ") + middle + " --output " + still);
        EXPECT_GT(brightestSample(still), 60) << "scene at " << middle << " s drew nothing";
    }
}

// A still drawn at twice the size is the same picture with twice the detail: averaged
// back down it stays close to the 800 x 600 still. Points and hard-edged lines fall
// on other pixels at the finer grid, so dense fields of them cost some decibels; the
// floors keep a few decibels below what each scene measures.
TEST(OfflineSize, EverySceneDrawnTwiceAsLargeMatchesTheSmallStillAveragedDown) {
    const struct {
        const char* seconds;
        double floorDb;
    } scenes[] = {{"6", 31}, {"19.4", 23}, {"42.4", 27}, {"65.4", 32},
                  {"80.5", 32}, {"95.6", 33}, {"115.1", 22}, {"143", 23}};
    const std::string folder = makeTempDir("offline-size");
    for (const auto& scene : scenes) {
        const std::string small = folder + "/small.png", large = folder + "/large.png";
        run(std::string("--frame ") + scene.seconds + " --output " + small);
        run(std::string("--frame ") + scene.seconds + " --size 1600x1200 --output " + large);
        const Picture a = readPicture(large), b = readPicture(small);
        ASSERT_EQ(a.width, 1600) << scene.seconds;
        ASSERT_EQ(a.height, 1200) << scene.seconds;
        ASSERT_EQ(b.width, 800) << scene.seconds;
        const double psnr = psnrOfHalved(a, b);
        std::printf("scene at %s s: %.1f dB\n", scene.seconds, psnr);
        EXPECT_GT(psnr, scene.floorDb) << "scene at " << scene.seconds << " s";
    }
}

TEST(OfflineSize, A4KStillHasExactlyBlackBarsBesideA2880By2160Picture) {
    // The cross scene fills its picture up to every edge.
    const std::string still = makeTempDir("offline-4k") + "/4k.png";
    run("--frame 80.5 --size 3840x2160 --output " + still);
    const Picture p = readPicture(still);
    ASSERT_EQ(p.width, 3840);
    ASSERT_EQ(p.height, 2160);
    EXPECT_EQ(brightestIn(p, 0, 0, 480, 2160), 0) << "left bar";
    EXPECT_EQ(brightestIn(p, 3360, 0, 480, 2160), 0) << "right bar";
    EXPECT_GT(brightestIn(p, 480, 0, 1, 2160), 40) << "the picture starts after the bar";
    EXPECT_GT(brightestIn(p, 3359, 0, 1, 2160), 40) << "the picture ends before the bar";
    EXPECT_GT(brightestIn(p, 480, 0, 2880, 1), 40) << "top row";
    EXPECT_GT(brightestIn(p, 480, 2159, 2880, 1), 40) << "bottom row";
}

// Joined parts give the movie a whole render gives: the same frames (each part starts
// with a key frame, so the encodes differ slightly after the join) and the very same
// music, encoded once.
TEST(OfflineJoin, TwoJoinedPartsMatchTheWholeRenderAndBadOrdersAreRefused) {
    const std::string folder = makeTempDir("offline-join");
    const std::string whole = folder + "/whole.mp4", joined = folder + "/joined.mp4";
    const std::string first = folder + "/first.mp4", second = folder + "/second.mp4";
    run("--render " + whole + " --fps 10 --from 30 --to 32");
    run("--render " + first + " --fps 10 --from 30 --to 31");
    run("--render " + second + " --fps 10 --from 31 --to 32");
    run("--join " + joined + " " + first + " " + second);

    std::string error;
    VideoDecoder expected, actual;
    ASSERT_TRUE(expected.open(whole.c_str(), error)) << error;
    ASSERT_TRUE(actual.open(joined.c_str(), error)) << error;
    ASSERT_EQ(actual.frameCount(), 20);
    ASSERT_EQ(expected.frameCount(), 20);
    const int w = 800, h = 600;
    std::vector<uint8_t> a(size_t(w) * h * 3), b(a.size()), previous(a.size());
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(expected.decodeFrame(i, a.data(), w, h)) << i;
        ASSERT_TRUE(actual.decodeFrame(i, b.data(), w, h)) << i;
        double same = 0, moved = 0;
        for (size_t k = 0; k < a.size(); ++k) {
            same += std::abs(a[k] - b[k]);
            moved += std::abs(previous[k] - b[k]);
        }
        // Encoding noise stays far below the change from one frame to the next.
        EXPECT_LT(same / a.size(), 3.0) << "frame " << i;
        EXPECT_GT(moved, 4 * same) << "frame " << i << " is not the whole render's";
        previous = b;
    }

    std::vector<int16_t> wholeMusic, joinedMusic;
    ASSERT_TRUE(platformDecodeAudio(whole.c_str(), 44100, 2, wholeMusic, error)) << error;
    ASSERT_TRUE(platformDecodeAudio(joined.c_str(), 44100, 2, joinedMusic, error)) << error;
    EXPECT_NEAR(joinedMusic.size() / 2.0, 2 * 44100, 1100);
    EXPECT_TRUE(joinedMusic == wholeMusic) << "the music differs from the whole render's";

    // Out of order, overlapping, and a part that does not start where the first ends.
    const std::string refused[] = {second + " " + first, first + " " + first, whole + " " + second};
    for (const std::string& parts : refused) {
        const std::string output = folder + "/refused.mp4";
        std::string text;
        EXPECT_EQ(runCommand(demo() + " --join " + output + " " + parts, text), 1) << parts;
        EXPECT_NE(text.find("must adjoin"), std::string::npos) << text;
        EXPECT_TRUE(readFileBytes(output).empty()) << "a refused join left " << output;
    }
}
