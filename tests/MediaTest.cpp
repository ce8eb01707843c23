// Encoders and the clip decoder: MP3 and AVI round trips through the project's own
// readers, frame access patterns, and the messages for files that are not media.
#include "TestSupport.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const double kPi = 3.14159265358979323846;

// Stereo test signal: silence, then a sine in each channel from `onsetFrame` on.
std::vector<int16_t> toneAfterSilence(int frames, int onsetFrame, double leftHz,
                                      double rightHz) {
    std::vector<int16_t> pcm(size_t(frames) * 2, 0);
    for (int i = onsetFrame; i < frames; ++i) {
        const double t = double(i - onsetFrame) / 44100.0;
        pcm[size_t(i) * 2] = int16_t(12000 * std::sin(2 * kPi * leftHz * t));
        pcm[size_t(i) * 2 + 1] = int16_t(12000 * std::sin(2 * kPi * rightHz * t));
    }
    return pcm;
}

int firstLoudFrame(const std::vector<int16_t>& pcm, int channels, int channel) {
    for (size_t i = channel; i < pcm.size(); i += channels)
        if (std::abs(pcm[i]) > 3000) return int(i / channels);
    return -1;
}

// Frequency from the rising zero crossings of one channel over [from, to) frames.
double measuredHz(const std::vector<int16_t>& pcm, int channels, int channel, int rate,
                  int from, int to) {
    int first = -1, last = -1, crossings = 0;
    for (int i = from + 1; i < to; ++i) {
        if (pcm[size_t(i - 1) * channels + channel] < 0 &&
            pcm[size_t(i) * channels + channel] >= 0) {
            if (first < 0) first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2) return 0;
    return double(crossings - 1) * rate / double(last - first);
}

// A picture that changes with the frame index: red top half-left, blue bottom-right
// quadrant, a grey ramp elsewhere, and a white bar whose column moves with the frame.
std::vector<uint8_t> testPicture(int width, int height, int frame) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            uint8_t grey = uint8_t(40 + 150 * x / width);
            p[0] = p[1] = p[2] = grey;
            if (x < width / 2 && y < height / 2) p[0] = 220, p[1] = 30, p[2] = 30;
            if (x >= width / 2 && y >= height / 2) p[0] = 20, p[1] = 40, p[2] = 210;
            const int bar = (frame * 8) % width;
            if (x >= bar && x < bar + 8) p[0] = p[1] = p[2] = 255;
        }
    }
    return rgb;
}

int stride(int width) { return (width * 3 + 3) & ~3; }

// Mean absolute difference between a top-first RGB picture and a bottom-up BGR one.
double meanDifference(const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& bgr,
                      int width, int height) {
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = &bgr[size_t(height - 1 - y) * stride(width)];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                sum += std::abs(int(rgb[(size_t(y) * width + x) * 3 + c]) - int(row[x * 3 + 2 - c]));
    }
    return sum / (double(width) * height * 3);
}

std::string writeClip(const std::string& path, int width, int height, int rateNum,
                      int rateDen, int frames) {
    AviWriter writer;
    std::string error;
    if (!writer.open(path.c_str(), width, height, rateNum, rateDen, error)) return error;
    for (int i = 0; i < frames; ++i)
        if (!writer.writeFrame(testPicture(width, height, i).data())) break;
    if (!writer.close(error)) return error;
    return "";
}

class MediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { dir = new std::string(makeTempDir("media")); }
    static std::string* dir;
    static std::string path(const char* name) { return *dir + "/" + name; }
};
std::string* MediaTest::dir = nullptr;

}  // namespace

TEST_F(MediaTest, Mp3RoundTripKeepsTimingPitchAndChannels) {
    const int frames = 2 * 44100, onset = 22050;
    const std::string file = path("tone.mp3");
    std::string error;
    ASSERT_TRUE(platformEncodeMp3(file.c_str(), toneAfterSilence(frames, onset, 440, 1000),
                                  192, error))
        << error;

    std::vector<int16_t> pcm;
    ASSERT_TRUE(platformDecodeAudio(file.c_str(), 44100, 2, pcm, error)) << error;
    // Gapless: the encoder's delay and padding are gone again (2 ms slack).
    EXPECT_NEAR(double(pcm.size() / 2), frames, 88);
    EXPECT_NEAR(firstLoudFrame(pcm, 2, 0), onset, 88) << "left channel starts late or early";
    EXPECT_NEAR(firstLoudFrame(pcm, 2, 1), onset, 88) << "right channel starts late or early";
    EXPECT_NEAR(measuredHz(pcm, 2, 0, 44100, 30000, 80000), 440, 2);
    EXPECT_NEAR(measuredHz(pcm, 2, 1, 44100, 30000, 80000), 1000, 3);

    // The decoder converts rate and channel count on the way.
    std::vector<int16_t> mono;
    ASSERT_TRUE(platformDecodeAudio(file.c_str(), 22050, 1, mono, error)) << error;
    EXPECT_NEAR(double(mono.size()), frames / 2, 100);
    EXPECT_NEAR(firstLoudFrame(mono, 1, 0), onset / 2, 60);
}

TEST_F(MediaTest, AudioFailuresNameTheFile) {
    std::string error;
    std::vector<int16_t> stereo(100, 0);
    const std::string unwritable = "/nonexistent-folder/out.mp3";
    EXPECT_FALSE(platformEncodeMp3(unwritable.c_str(), stereo, 192, error));
    EXPECT_NE(error.find(unwritable), std::string::npos) << error;

    error.clear();
    stereo.push_back(0);  // half a frame
    EXPECT_FALSE(platformEncodeMp3(path("odd.mp3").c_str(), stereo, 192, error));
    EXPECT_NE(error.find("odd.mp3"), std::string::npos) << error;

    std::vector<int16_t> pcm{1, 2, 3};
    error.clear();
    EXPECT_FALSE(platformDecodeAudio(path("missing.mp3").c_str(), 44100, 2, pcm, error));
    EXPECT_NE(error.find("missing.mp3"), std::string::npos) << error;
    EXPECT_TRUE(pcm.empty());

    const std::string text = path("notes.mp3");
    writeFileBytes(text, std::string(3000, 'x'));
    error.clear();
    EXPECT_FALSE(platformDecodeAudio(text.c_str(), 44100, 2, pcm, error));
    EXPECT_NE(error.find("notes.mp3"), std::string::npos) << error;
}

TEST_F(MediaTest, AviRoundTripGivesCountDurationAndUprightPictures) {
    const int w = 160, h = 120, frames = 30;
    const std::string file = path("clip.avi");
    ASSERT_EQ(writeClip(file, w, h, 25, 1, frames), "");

    VideoDecoder clip;
    std::string error;
    ASSERT_TRUE(clip.open(file.c_str(), error)) << error;
    EXPECT_TRUE(clip.isOpen());
    EXPECT_EQ(clip.frameCount(), frames);
    EXPECT_EQ(clip.frameDurationMs(), 40);
    EXPECT_EQ(clip.width(), w);
    EXPECT_EQ(clip.height(), h);

    std::vector<uint8_t> bgr(size_t(stride(w)) * h);
    for (int index : {0, 7, 29}) {
        ASSERT_TRUE(clip.decodeFrame(index, bgr.data(), w, h)) << "frame " << index;
        EXPECT_LT(meanDifference(testPicture(w, h, index), bgr, w, h), 4.0) << index;
        // A neighbouring frame differs where the bar moved: the right frame came back.
        EXPECT_GT(meanDifference(testPicture(w, h, index + 3), bgr, w, h),
                  meanDifference(testPicture(w, h, index), bgr, w, h) + 2.0);
    }
    // Bottom-up BGR: the first row in memory is the picture's bottom, whose right half
    // is blue; the last row's left half is red.
    const uint8_t* bottom = &bgr[0];
    const uint8_t* top = &bgr[size_t(h - 1) * stride(w)];
    EXPECT_GT(bottom[(w - 10) * 3 + 0], 150);  // blue
    EXPECT_LT(bottom[(w - 10) * 3 + 2], 80);   // red
    EXPECT_GT(top[10 * 3 + 2], 150);
    EXPECT_LT(top[10 * 3 + 0], 80);

    EXPECT_FALSE(clip.decodeFrame(frames, bgr.data(), w, h));
    EXPECT_FALSE(clip.decodeFrame(-1, bgr.data(), w, h));
    // Asking beyond the end does not spoil the next ordinary request.
    ASSERT_TRUE(clip.decodeFrame(3, bgr.data(), w, h));
    EXPECT_LT(meanDifference(testPicture(w, h, 3), bgr, w, h), 4.0);
}

TEST_F(MediaTest, RandomAccessEqualsSequentialDecode) {
    const int w = 96, h = 64, frames = 20;
    const std::string file = path("random.avi");
    ASSERT_EQ(writeClip(file, w, h, 25, 1, frames), "");

    // Scaled to a size whose rows need padding.
    const int dw = 50, dh = 30;
    const size_t bytes = size_t(stride(dw)) * dh;
    std::string error;
    VideoDecoder sequential;
    ASSERT_TRUE(sequential.open(file.c_str(), error)) << error;
    std::vector<std::vector<uint8_t>> expected;
    for (int i = 0; i < frames; ++i) {
        expected.emplace_back(bytes);
        ASSERT_TRUE(sequential.decodeFrame(i, expected.back().data(), dw, dh));
    }

    VideoDecoder random;
    ASSERT_TRUE(random.open(file.c_str(), error)) << error;
    const uint8_t guard = 0xA5;
    std::vector<uint8_t> out(bytes + 16, guard);
    for (int index : {5, 5, 6, 19, 0, 12, 11, 18, 19, 1, 2, 3, 17, 4}) {
        ASSERT_TRUE(random.decodeFrame(index, out.data(), dw, dh)) << index;
        EXPECT_TRUE(std::equal(expected[index].begin(), expected[index].end(), out.begin()))
            << "frame " << index << " differs from the sequential decode";
        EXPECT_TRUE(std::all_of(out.begin() + bytes, out.end(),
                                [&](uint8_t b) { return b == guard; }))
            << "wrote past the bottom-up rows";
    }
}

TEST_F(MediaTest, NtscRateTruncatesToWholeMilliseconds) {
    const std::string file = path("ntsc.avi");
    ASSERT_EQ(writeClip(file, 64, 48, 30000, 1001, 12), "");
    VideoDecoder clip;
    std::string error;
    ASSERT_TRUE(clip.open(file.c_str(), error)) << error;
    EXPECT_EQ(clip.frameCount(), 12);
    EXPECT_EQ(clip.frameDurationMs(), 33);
}

TEST_F(MediaTest, FilesThatAreNotClipsAreReportedByName) {
    VideoDecoder clip;
    std::string error;
    EXPECT_FALSE(clip.open(path("absent.avi").c_str(), error));
    EXPECT_NE(error.find("absent.avi"), std::string::npos) << error;
    EXPECT_FALSE(clip.isOpen());
    EXPECT_EQ(clip.frameCount(), 0);
    std::vector<uint8_t> bgr(64 * 64 * 3);
    EXPECT_FALSE(clip.decodeFrame(0, bgr.data(), 64, 64));

    const std::string text = path("readme.avi");
    writeFileBytes(text, "RIFF but not really a clip at all\n");
    error.clear();
    EXPECT_FALSE(clip.open(text.c_str(), error));
    EXPECT_NE(error.find("readme.avi"), std::string::npos) << error;

    const std::string audio = path("sound.mp3");
    ASSERT_TRUE(platformEncodeMp3(audio.c_str(), toneAfterSilence(44100, 0, 440, 440), 128,
                                  error))
        << error;
    error.clear();
    EXPECT_FALSE(clip.open(audio.c_str(), error));
    EXPECT_NE(error.find("sound.mp3"), std::string::npos) << error;
    EXPECT_NE(error.find("no video stream"), std::string::npos) << error;
}

// A decoder holds its file from a successful open until it is opened again or
// destroyed; every failed open returns with nothing held.
TEST_F(MediaTest, DecodersReleaseTheirFileOnEveryWayOut) {
    const std::string clipFile = path("held.avi");
    ASSERT_EQ(writeClip(clipFile, 32, 32, 25, 1, 4), "");
    const std::string clipBytes = readFileBytes(clipFile);
    writeFileBytes(path("header-only.avi"), clipBytes.substr(0, 200));
    writeFileBytes(path("words.avi"), "RIFF but not really a clip at all\n");
    std::string error;
    ASSERT_TRUE(platformEncodeMp3(path("voice.mp3").c_str(), toneAfterSilence(4410, 0, 440, 440),
                                  128, error))
        << error;

    const int before = openDescriptorCount();
    ASSERT_GT(before, 2);
    std::vector<uint8_t> bgr(size_t(stride(32)) * 32);
    {
        VideoDecoder clip;
        for (const char* name : {"nothing.avi", "words.avi", "voice.mp3", "header-only.avi"}) {
            EXPECT_FALSE(clip.open(path(name).c_str(), error)) << name;
            EXPECT_EQ(openDescriptorCount(), before) << name;
        }
        ASSERT_TRUE(clip.open(clipFile.c_str(), error)) << error;
        EXPECT_TRUE(clip.decodeFrame(3, bgr.data(), 32, 32));
        EXPECT_GT(openDescriptorCount(), before);
        // Opening again lets go of the clip before anything else, on failure too.
        EXPECT_FALSE(clip.open(path("words.avi").c_str(), error));
        EXPECT_EQ(openDescriptorCount(), before);
        ASSERT_TRUE(clip.open(clipFile.c_str(), error)) << error;
        EXPECT_TRUE(clip.decodeFrame(0, bgr.data(), 32, 32));
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(MediaTest, AviWriterReportsBadTargets) {
    AviWriter writer;
    std::string error;
    EXPECT_FALSE(writer.open("/nonexistent-folder/clip.avi", 64, 48, 25, error));
    EXPECT_NE(error.find("/nonexistent-folder/clip.avi"), std::string::npos) << error;
    std::vector<uint8_t> rgb(64 * 48 * 3);
    EXPECT_FALSE(writer.writeFrame(rgb.data()));
    EXPECT_FALSE(writer.close(error));

    error.clear();
    EXPECT_FALSE(writer.open(path("zero.avi").c_str(), 0, 48, 25, error));
    EXPECT_NE(error.find("zero.avi"), std::string::npos) << error;
}

TEST_F(MediaTest, SameFramesGiveSameBytes) {
    ASSERT_EQ(writeClip(path("a.avi"), 64, 48, 25, 1, 5), "");
    ASSERT_EQ(writeClip(path("b.avi"), 64, 48, 25, 1, 5), "");
    const std::string a = readFileBytes(path("a.avi"));
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, readFileBytes(path("b.avi")));
}

// The movie's music starts at the requested position and lasts as long as the video.
TEST_F(MediaTest, MovieHasItsFramesAndMusicInSync) {
    const int fps = 10, frames = 10, w = 96, h = 64;
    // Silence, then a tone from 0.8 s; the movie shows the music from 0.3 s, so the
    // tone must be heard 0.5 s into the movie.
    const std::vector<int16_t> music = toneAfterSilence(3 * 44100, 35280, 440, 440);
    for (const char* name : {"movie.mp4", "movie.mkv"}) {
        SCOPED_TRACE(name);
        const std::string file = path(name);
        MovieWriter movie;
        std::string error;
        ASSERT_TRUE(movie.open(file.c_str(), w, h, fps, music, 300, error)) << error;
        for (int i = 0; i < frames; ++i)
            ASSERT_TRUE(movie.writeFrame(testPicture(w, h, i).data())) << i;
        EXPECT_EQ(movie.framesWritten(), frames);
        ASSERT_TRUE(movie.close(error)) << error;

        VideoDecoder clip;
        ASSERT_TRUE(clip.open(file.c_str(), error)) << error;
        EXPECT_EQ(clip.frameCount(), frames);
        EXPECT_EQ(clip.frameDurationMs(), 100);
        std::vector<uint8_t> bgr(size_t(stride(w)) * h);
        for (int index : {6, frames - 1, 2}) {
            ASSERT_TRUE(clip.decodeFrame(index, bgr.data(), w, h)) << index;
            EXPECT_LT(meanDifference(testPicture(w, h, index), bgr, w, h), 6.0) << index;
        }

        std::vector<int16_t> heard;
        ASSERT_TRUE(platformDecodeAudio(file.c_str(), 44100, 2, heard, error)) << error;
        // MP4's edit list hides the AAC encoder's 1024 priming samples from a plain
        // decode; Matroska keeps them and shifts both streams' timestamps instead, so
        // players stay in sync while the decoded samples start 1024 frames early.
        const int priming = std::string(name).find(".mkv") != std::string::npos ? 1024 : 0;
        EXPECT_NEAR(double(heard.size() / 2), 44100.0 + priming, 1100)
            << "audio and video lengths differ";
        EXPECT_NEAR(firstLoudFrame(heard, 2, 0), 22050 + priming, 441)
            << "the music is out of sync";
        EXPECT_NEAR(measuredHz(heard, 2, 0, 44100, 25000, 40000), 440, 3);
    }
}

TEST_F(MediaTest, MovieFromAMusicFileAndWithout) {
    const std::string song = path("song.mp3");
    std::string error;
    ASSERT_TRUE(platformEncodeMp3(song.c_str(), toneAfterSilence(44100, 0, 440, 440), 128,
                                  error))
        << error;
    const std::vector<uint8_t> picture = testPicture(64, 48, 0);
    {
        MovieWriter movie;
        ASSERT_TRUE(movie.open(path("song.mp4").c_str(), 64, 48, 25, song.c_str(), 0, error))
            << error;
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(movie.writeFrame(picture.data()));
        ASSERT_TRUE(movie.close(error)) << error;
        std::vector<int16_t> heard;
        ASSERT_TRUE(platformDecodeAudio(path("song.mp4").c_str(), 44100, 2, heard, error));
        EXPECT_NEAR(double(heard.size() / 2), 44100 * 0.2, 1100);
    }
    {
        // No music: a silent movie without an audio track. Odd sizes are made even.
        MovieWriter movie;
        ASSERT_TRUE(movie.open(path("mute.mkv").c_str(), 65, 49, 25, std::vector<int16_t>(),
                               0, error))
            << error;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(movie.writeFrame(testPicture(65, 49, i).data()));
        ASSERT_TRUE(movie.close(error)) << error;
        VideoDecoder clip;
        ASSERT_TRUE(clip.open(path("mute.mkv").c_str(), error)) << error;
        EXPECT_EQ(clip.frameCount(), 3);
        std::vector<int16_t> heard;
        EXPECT_FALSE(platformDecodeAudio(path("mute.mkv").c_str(), 44100, 2, heard, error));
    }
    MovieWriter movie;
    error.clear();
    EXPECT_FALSE(movie.open(path("nosong.mp4").c_str(), 64, 48, 25,
                            path("absent.mp3").c_str(), 0, error));
    EXPECT_NE(error.find("absent.mp3"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(movie.open("/nonexistent-folder/movie.mp4", 64, 48, 25,
                            std::vector<int16_t>(), 0, error));
    EXPECT_NE(error.find("/nonexistent-folder/movie.mp4"), std::string::npos) << error;
    EXPECT_FALSE(movie.writeFrame(picture.data()));
}

// A full disk is a failure, not a short file reported as success.
TEST_F(MediaTest, FullDiskFailsTheWriters) {
    std::string error;
    const std::vector<int16_t> tone = toneAfterSilence(44100, 0, 440, 440);
    EXPECT_FALSE(platformEncodeMp3("/dev/full", tone, 128, error));
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;

    AviWriter writer;
    error.clear();
    ASSERT_TRUE(writer.open("/dev/full", 160, 120, 25, error)) << error;
    // The muxer buffers, so the failure may surface in writeFrame or only in close.
    for (int i = 0; i < 10; ++i) writer.writeFrame(testPicture(160, 120, i).data());
    EXPECT_FALSE(writer.close(error));
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
}

// Damaged clips: the frames that are there decode, the rest fail cleanly.
TEST_F(MediaTest, TruncatedAndDamagedClipsFailPerFrame) {
    const int w = 96, h = 64, frames = 20;
    const std::string whole = path("whole.avi");
    ASSERT_EQ(writeClip(whole, w, h, 25, 1, frames), "");
    const std::string bytes = readFileBytes(whole);

    const std::string cut = path("cut.avi");
    writeFileBytes(cut, bytes.substr(0, bytes.size() / 2));
    VideoDecoder clip;
    std::string error;
    ASSERT_TRUE(clip.open(cut.c_str(), error)) << error;
    std::vector<uint8_t> bgr(size_t(stride(w)) * h);
    EXPECT_TRUE(clip.decodeFrame(2, bgr.data(), w, h));
    EXPECT_LT(meanDifference(testPicture(w, h, 2), bgr, w, h), 4.0);
    EXPECT_FALSE(clip.decodeFrame(frames - 1, bgr.data(), w, h));
    EXPECT_TRUE(clip.decodeFrame(1, bgr.data(), w, h)) << "a failed frame spoiled the clip";

    // Noise over a few pictures in the middle of the frame data.
    std::string damaged = bytes;
    const size_t movi = damaged.find("movi");
    ASSERT_NE(movi, std::string::npos);
    const size_t from = movi + (damaged.size() - movi) / 2;
    for (size_t i = from; i < from + 600; ++i) damaged[i] = char(i * 7);
    const std::string noisy = path("noisy.avi");
    writeFileBytes(noisy, damaged);
    VideoDecoder other;
    ASSERT_TRUE(other.open(noisy.c_str(), error)) << error;
    for (int i = 0; i < other.frameCount(); ++i) other.decodeFrame(i, bgr.data(), w, h);
    EXPECT_TRUE(other.decodeFrame(0, bgr.data(), w, h));
    EXPECT_LT(meanDifference(testPicture(w, h, 0), bgr, w, h), 4.0);
}

// Found by the clip fuzzer: pictures stamped from 2^31 - 1 on made the frame index run
// past the end of int (the sanitizer build reports it). The first picture still shows;
// no stamp lies at or before a seek target, so every later frame fails cleanly.
TEST_F(MediaTest, TimestampsAtTheEndOfTheIntRangeStillDecode) {
    const std::string file = std::string(VORNEKKA_SOURCE_DIR) + "/tests/data/clip-huge-timestamps.avi";
    VideoDecoder clip;
    std::string error;
    ASSERT_TRUE(clip.open(file.c_str(), error)) << error;
    ASSERT_GT(clip.frameCount(), 1);
    std::vector<uint8_t> bgr(size_t(stride(16)) * 16);
    EXPECT_TRUE(clip.decodeFrame(0, bgr.data(), 16, 16));
    EXPECT_FALSE(clip.decodeFrame(1, bgr.data(), 16, 16));
    EXPECT_FALSE(clip.decodeFrame(0, bgr.data(), 16, 16));
    EXPECT_FALSE(clip.decodeFrame(clip.frameCount(), bgr.data(), 16, 16));
}
