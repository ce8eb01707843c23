// The music clock: smooth and monotonic while playing, frozen while paused, jumping on
// seeks, on SDL's dummy audio device and on the silent wall-clock fallback.
#include "TestSupport.h"
#include "platform/Platform.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The dummy driver keeps time only roughly and this machine is shared: the bounds
// catch a clock that stops, races or runs backwards, not a few ms of drift.
const double kSlackMs = 120;

const std::string& trackPath() {
    static const std::string path = [] {
        std::string file = makeTempDir("music") + "/track.mp3";
        std::vector<int16_t> pcm(size_t(44100) * 6 * 2);
        for (size_t i = 0; i < pcm.size() / 2; ++i)
            pcm[i * 2] = pcm[i * 2 + 1] = int16_t(8000 * std::sin(i * 0.0627));
        std::string error;
        if (!platformEncodeMp3(file.c_str(), pcm, 128, error)) ADD_FAILURE() << error;
        return file;
    }();
    return path;
}

struct Watch {
    int moved = 0;       // how far the clock went
    double wallMs = 0;   // how long that took
    int smallSteps = 0;  // readings 1 to 12 ms past the one before
};

// Plays for `ms` while reading the clock about every millisecond; checks it never runs
// backwards.
Watch playAndWatch(const MusicStream& music, int ms) {
    Watch watch;
    const int first = music.positionMs();
    int last = first;
    const auto start = Clock::now();
    while (msSince(start) < ms) {
        const int now = music.positionMs();
        EXPECT_GE(now, last) << "the clock ran backwards";
        if (now - last >= 1 && now - last <= 12) ++watch.smallSteps;
        last = now;
        sleepMs(1);
    }
    watch.wallMs = msSince(start);
    watch.moved = last - first;
    return watch;
}

// Never faster than real time; on a busy machine the dummy driver's thread falls
// behind, so only half the pace is asked for.
void expectRealTimePace(const Watch& watch) {
    EXPECT_LE(watch.moved, watch.wallMs + kSlackMs) << "the clock races ahead";
    EXPECT_GE(watch.moved, watch.wallMs * 0.5 - kSlackMs) << "the clock lags or stands";
}

// Pause, seek and resume behave alike whatever drives the clock.
void checkPauseAndSeek(MusicStream& music) {
    music.setPaused(true);
    EXPECT_TRUE(music.paused());
    const int frozen = music.positionMs();
    sleepMs(150);
    EXPECT_EQ(music.positionMs(), frozen) << "time moved while paused";

    // Seeking while paused moves the frozen clock, which then stays put.
    music.setPositionMs(1500);
    EXPECT_EQ(music.positionMs(), 1500);
    sleepMs(50);
    EXPECT_EQ(music.positionMs(), 1500);

    music.setPaused(false);
    EXPECT_FALSE(music.paused());
    const int atResume = music.positionMs();
    EXPECT_GE(atResume, 1500);
    EXPECT_LT(atResume, 1500 + kSlackMs);
    expectRealTimePace(playAndWatch(music, 300));

    // Seeks jump both ways; below zero clamps to zero.
    music.setPositionMs(4000);
    const int ahead = music.positionMs();
    EXPECT_GE(ahead, 4000);
    EXPECT_LT(ahead, 4000 + kSlackMs);
    music.setPositionMs(200);
    const int back = music.positionMs();
    EXPECT_GE(back, 200);
    EXPECT_LT(back, 200 + kSlackMs);
    music.setPositionMs(-3000);
    EXPECT_LT(music.positionMs(), kSlackMs);
    EXPECT_GE(music.positionMs(), 0);
}

}  // namespace

TEST(MusicTest, DeviceClockIsSmoothMonotonicAndFollowsPauseAndSeek) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    MusicStream music;
    ASSERT_TRUE(music.open(trackPath().c_str(), false));
    ASSERT_TRUE(music.audible()) << "SDL's dummy audio device did not open";
    EXPECT_TRUE(music.decoded());

    EXPECT_EQ(music.positionMs(), 0) << "the clock runs before play()";
    sleepMs(50);
    EXPECT_EQ(music.positionMs(), 0);

    music.play();
    const Watch watch = playAndWatch(music, 600);
    expectRealTimePace(watch);
    // Raw callback positions only ever step by a whole 23 ms chunk.
    EXPECT_GE(watch.smallSteps, 10) << "the clock is not interpolated between callbacks";

    checkPauseAndSeek(music);
}

TEST(MusicTest, MissingFileIsReportedAndRunsOnTheWallClock) {
    MusicStream music;
    const std::string missing = "/nonexistent-folder/sorvan.mp3";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(missing.c_str(), false));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(missing), std::string::npos) << said;
    EXPECT_FALSE(music.audible());
    EXPECT_FALSE(music.decoded());

    EXPECT_EQ(music.positionMs(), 0);
    music.play();
    const Watch watch = playAndWatch(music, 300);
    EXPECT_NEAR(watch.moved, watch.wallMs, kSlackMs);
    checkPauseAndSeek(music);
}

TEST(MusicTest, MutedTrackDecodesButStaysSilent) {
    MusicStream music;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(music.open(trackPath().c_str(), true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(music.audible());
    EXPECT_TRUE(music.decoded());

    // A start position set before play() is where the clock starts.
    music.setPositionMs(2500);
    EXPECT_EQ(music.positionMs(), 2500);
    music.play();
    const Watch watch = playAndWatch(music, 200);
    EXPECT_NEAR(watch.moved, watch.wallMs, kSlackMs);
    EXPECT_GE(music.positionMs(), 2500 + watch.moved);
}

TEST(MusicTest, UndecodableFileIsReportedByName) {
    const std::string file = makeTempDir("music-bad") + "/noise.mp3";
    writeFileBytes(file, std::string(5000, '\x7f'));
    MusicStream music;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(file.c_str(), false));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(file), std::string::npos) << said;
    EXPECT_FALSE(music.audible());
}

// The whole track decoded in one go: what every stream must play, frame for frame.
const std::vector<int16_t>& wholeTrack() {
    static const std::vector<int16_t> pcm = [] {
        std::vector<int16_t> samples;
        std::string error;
        if (!platformDecodeAudio(trackPath().c_str(), 44100, 2, samples, error))
            ADD_FAILURE() << error;
        return samples;
    }();
    return pcm;
}

// Frames [first, first + count) of the whole decode, silence past its end.
std::vector<int16_t> wholeTrackFrames(int64_t first, int64_t count) {
    std::vector<int16_t> frames(size_t(count) * 2, 0);
    const std::vector<int16_t>& pcm = wholeTrack();
    for (int64_t i = 0; i < count && size_t(first + i) * 2 < pcm.size(); ++i) {
        frames[size_t(i) * 2] = pcm[size_t(first + i) * 2];
        frames[size_t(i) * 2 + 1] = pcm[size_t(first + i) * 2 + 1];
    }
    return frames;
}

std::vector<int16_t> streamFrames(MusicStream& music, int64_t first, int64_t count) {
    std::vector<int16_t> frames(size_t(count) * 2, 1);
    EXPECT_TRUE(music.copyFrames(first, frames.data(), count));
    return frames;
}

// A ring of 8192 frames keeps about 0.14 s behind the play position: seeks forward skip,
// seeks back within it are served from it, seeks further back decode from the start
// again, from the bytes read at open, even though the file is gone by then.
TEST(MusicTest, StreamPlaysTheWholeDecodeAfterSeeksBothWaysAndPastTheEnd) {
    const std::string copy = makeTempDir("music-stream") + "/stream.mp3";
    writeFileBytes(copy, readFileBytes(trackPath()));
    MusicStream music(8192);
    ASSERT_TRUE(music.open(copy.c_str(), true));
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    const int64_t total = int64_t(wholeTrack().size() / 2);
    ASSERT_GT(total, 44100 * 6 - 1152);

    const struct {
        int64_t first, count;
    } reads[] = {
        {0, 3000},            // the start
        {200000, 1500},       // far ahead
        {100000, 1000},       // behind the ring: decoded again from the start
        {99500, 800},         // just behind, still in the ring
        {100000, 20000},      // longer than the ring
        {total - 500, 2000},  // over the end into silence
        {10, 100},            // back to the start after the end was reached
    };
    for (const auto& read : reads) {
        EXPECT_EQ(streamFrames(music, read.first, read.count),
                  wholeTrackFrames(read.first, read.count))
            << "frames " << read.first << " + " << read.count;
    }
}

// What SDL's disk driver wrote: interleaved stereo S16.
std::vector<int16_t> heardFrames(const std::string& path) {
    const std::string bytes = readFileBytes(path);
    std::vector<int16_t> heard(bytes.size() / sizeof(int16_t));
    std::memcpy(heard.data(), bytes.data(), heard.size() * sizeof(int16_t));
    return heard;
}

// SDL's disk driver writes what the device plays to a file. Every chunk of 1024 frames
// it got must be the whole decode's frames at the clock's position: the next ones, or
// those at a seek's target (one far ahead, one behind the ring); silence only while the
// decoder catches up after a seek, the clock running on meanwhile.
TEST(MusicTest, DeviceHearsTheTrackFrameForFrameAcrossSeeks) {
    const std::string heardFile = makeTempDir("music-disk") + "/heard.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", heardFile.c_str(), 1);
    {
        MusicStream music(8192);
        ASSERT_TRUE(music.open(trackPath().c_str(), false));
        ASSERT_TRUE(music.audible()) << "SDL's disk audio driver did not open";
        music.play();
        sleepMs(300);
        music.setPositionMs(4000);
        sleepMs(300);
        music.setPositionMs(1000);
        sleepMs(300);
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    const std::vector<int16_t> heard = heardFrames(heardFile);
    const int64_t kChunk = 1024;
    const size_t chunks = heard.size() / (kChunk * 2);
    ASSERT_GE(chunks, 20u) << "the device played too little";

    auto chunkIs = [&](size_t chunk, const std::vector<int16_t>& frames) {
        return std::equal(frames.begin(), frames.end(), heard.begin() + chunk * kChunk * 2);
    };
    // Played from the start, then from each seek's target; silent chunks move the clock
    // on all the same.
    const int64_t starts[3] = {0, 44100 * 4, 44100};
    const std::vector<int16_t> silence(kChunk * 2, 0);
    int segment = 0;
    int64_t played = -1;  // chunks of the current segment the device has been given
    int silentRun = 0;
    int silentChunks = 0;
    for (size_t chunk = 0; chunk < chunks; ++chunk) {
        if (chunkIs(chunk, silence)) {
            ++silentRun;
            ++silentChunks;
            continue;
        }
        const int64_t next = played + 1 + silentRun;
        if (chunkIs(chunk, wholeTrackFrames(starts[segment] + next * kChunk, kChunk))) {
            played = next;
        } else if (segment < 2 &&
                   chunkIs(chunk, wholeTrackFrames(starts[segment + 1] + silentRun * kChunk,
                                                   kChunk))) {
            ++segment;
            played = silentRun;
        } else {
            FAIL() << "chunk " << chunk << " is neither the next frames of the play from "
                   << starts[segment] << " nor the start of the next seek's";
        }
        silentRun = 0;
    }
    EXPECT_EQ(segment, 2) << "the seeks were not heard";
    // Far more would mean a decoder that does not keep up with the device.
    EXPECT_LE(silentChunks, 8);
}

// The disk driver loses its device when a write fails (into /dev/full), as a sound card
// unplugged would be lost. The clock goes on from where it was, seeks and pauses as
// before; when SDL reports a device added, the new one plays on from the clock's
// position, and what it writes is the track from there.
TEST(MusicTest, LostDeviceLeavesTheClockRunningAndANewOnePlaysOnAtItsPosition) {
    const std::string heardFile = makeTempDir("music-lost") + "/heard.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/full", 1);
    int reopenedAt = -1;
    {
        MusicStream music;
        ASSERT_TRUE(music.open(trackPath().c_str(), false));
        ASSERT_TRUE(music.audible()) << "SDL's disk audio driver did not open";
        music.play();
        // The driver's thread writes at its own pace; a busy machine may delay it.
        for (int i = 0; i < 400 && music.audible(); ++i) {
            music.positionMs();
            sleepMs(10);
        }
        ASSERT_FALSE(music.audible()) << "a device that cannot write was not taken as lost";
        expectRealTimePace(playAndWatch(music, 300));
        checkPauseAndSeek(music);

        setenv("SDL_DISKAUDIOFILE", heardFile.c_str(), 1);
        music.setPositionMs(2000);
        // Decoded there first, so that the new device's first chunk is the track's, not
        // silence half filled while the decoder catches up.
        streamFrames(music, 88200, 44100);
        SDL_Event added{};
        added.type = SDL_AUDIODEVICEADDED;
        SDL_PushEvent(&added);
        reopenedAt = music.positionMs();
        ASSERT_TRUE(music.audible()) << "the added device was not opened";
        EXPECT_GE(reopenedAt, 2000);
        EXPECT_LT(reopenedAt, 2000 + kSlackMs);
        expectRealTimePace(playAndWatch(music, 400));
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);

    const std::vector<int16_t> heard = heardFrames(heardFile);
    const int64_t kChunk = 1024;
    const std::vector<int16_t> silence(kChunk * 2, 0);
    size_t chunk = 0;
    while ((chunk + 1) * kChunk * 2 <= heard.size() &&
           std::equal(silence.begin(), silence.end(), heard.begin() + chunk * kChunk * 2))
        ++chunk;
    ASSERT_LE((chunk + 1) * kChunk * 2, heard.size()) << "the new device played only silence";
    const std::vector<int16_t> expected =
        wholeTrackFrames(int64_t(reopenedAt) * 44100 / 1000 + int64_t(chunk) * kChunk, kChunk);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), heard.begin() + chunk * kChunk * 2))
        << "the new device did not play the track from " << reopenedAt << " ms";
}

// Decoding ahead (the start-up runs it beside the loading steps): open() takes the
// track opened for its path, once, and opens other paths itself.
TEST(MusicTest, DecodedAheadTrackIsTakenOnceByTheOpenOfItsPath) {
    const int64_t total = int64_t(wholeTrack().size() / 2);
    const std::string copy = makeTempDir("music-ahead") + "/ahead.mp3";
    writeFileBytes(copy, readFileBytes(trackPath()));
    platformDecodeMusicAhead(copy.c_str());
    // A file read by the decoder stays playable after unlink; one opened in open()
    // would now be missing.
    sleepMs(1000);
    ASSERT_EQ(std::remove(copy.c_str()), 0);

    // Another path meanwhile opens itself and leaves the pending track alone.
    MusicStream other;
    EXPECT_TRUE(other.open(trackPath().c_str(), true));
    EXPECT_EQ(streamFrames(other, 0, total), wholeTrackFrames(0, total));

    MusicStream ahead;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(ahead.open(copy.c_str(), true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(streamFrames(ahead, 0, total), wholeTrackFrames(0, total));

    // Taken once: the next open reads the file again and finds none.
    MusicStream again;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(again.open(copy.c_str(), true));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(copy + " cannot be played"), std::string::npos) << said;
}

// The offline renderer muxes the whole track: decoded from the bytes read ahead, so a
// file gone since still gives it, and the same as a decode of the file.
TEST(MusicTest, WholeTrackForTheMuxerComesFromTheBytesReadAhead) {
    const std::string copy = makeTempDir("music-take") + "/take.mp3";
    writeFileBytes(copy, readFileBytes(trackPath()));
    platformDecodeMusicAhead(copy.c_str());
    sleepMs(500);
    ASSERT_EQ(std::remove(copy.c_str()), 0);
    std::vector<int16_t> samples;
    std::string error;
    ASSERT_TRUE(platformTakeMusic(copy.c_str(), samples, error)) << error;
    EXPECT_EQ(samples, wholeTrack());

    // Taken: a second take reads the file, which is gone.
    EXPECT_FALSE(platformTakeMusic(copy.c_str(), samples, error));
    EXPECT_NE(error.find(copy), std::string::npos) << error;
    EXPECT_TRUE(samples.empty());
}

TEST(MusicTest, FailureOfADecodeAheadIsReportedByTheOpen) {
    const std::string missing = "/nonexistent-folder/ahead.mp3";
    platformDecodeMusicAhead(missing.c_str());
    MusicStream music;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(missing.c_str(), false));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Music file " + missing + " cannot be played ("), std::string::npos)
        << said;
    EXPECT_EQ(said.find(missing + ": "), std::string::npos) << "path named twice: " << said;
    EXPECT_FALSE(music.audible());
    EXPECT_FALSE(music.decoded());
}
