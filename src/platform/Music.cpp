// The music stream and the demo clock. The track is streamed: a thread decodes it a few
// seconds ahead of the play position into a ring that also keeps the last seconds
// heard, so short seeks back are instant and the decoded track is never held whole
// (it would be 28 MB). The file's bytes stay in memory, so a seek behind the ring
// decodes again from the start and gives the very samples of the first pass, even if
// the file has gone since. The clock is the audible play position, interpolated between
// audio callbacks. Without a playable track or device it runs on the wall clock, and
// so it does while a device that went away (or stopped calling back) is missing.
#include "platform/FFmpeg.h"
#include "platform/Platform.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

// ---- Decoding ------------------------------------------------------------------------

namespace {

using FileBytes = std::shared_ptr<const std::vector<uint8_t>>;

// A whole file in memory as FFmpeg input.
struct MemoryInput {
    FileBytes bytes;
    int64_t position = 0;
    AVIOContext* io = nullptr;

    ~MemoryInput() {
        if (io) av_freep(&io->buffer);
        avio_context_free(&io);
    }

    static int read(void* opaque, uint8_t* buffer, int size) {
        MemoryInput& in = *static_cast<MemoryInput*>(opaque);
        const int64_t left = int64_t(in.bytes->size()) - in.position;
        if (left <= 0) return AVERROR_EOF;
        const int count = int(std::min<int64_t>(size, left));
        std::memcpy(buffer, in.bytes->data() + in.position, size_t(count));
        in.position += count;
        return count;
    }

    static int64_t seek(void* opaque, int64_t offset, int whence) {
        MemoryInput& in = *static_cast<MemoryInput*>(opaque);
        const int64_t size = int64_t(in.bytes->size());
        if (whence & AVSEEK_SIZE) return size;
        int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = in.position; break;
        case SEEK_END: base = size; break;
        default: return AVERROR(EINVAL);
        }
        if (offset > size - base || offset < -base) return AVERROR(EINVAL);
        in.position = base + offset;
        return in.position;
    }
};

// Reads a file into memory; fills `error` ("path: reason") when it cannot.
FileBytes readWholeFile(const std::string& path, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    const bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = path + ": reading failed";
        return nullptr;
    }
    return bytes;
}

struct AudioDecodeContext {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* resample = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    ~AudioDecodeContext() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&resample);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

// Converts `input` (or, when null, what the resampler still holds) and appends it.
bool appendConverted(SwrContext* resample, const AVFrame* input, int channels,
                     std::vector<int16_t>& samples) {
    const int inCount = input ? input->nb_samples : 0;
    const int room = swr_get_out_samples(resample, inCount);
    if (room < 0) return false;
    const size_t used = samples.size();
    samples.resize(used + size_t(room) * channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(samples.data() + used);
    const int made = swr_convert(resample, &out, room,
                                 input ? const_cast<const uint8_t**>(input->extended_data)
                                       : nullptr,
                                 inCount);
    samples.resize(used + size_t(std::max(made, 0)) * channels);
    return made >= 0;
}

// One audio stream decoded piece by piece to interleaved S16. The whole-file decode and
// the streamed track both go through it, so they give the same samples.
class AudioDecoder {
public:
    // Opens `path`, or `bytes` (the whole file in memory) when given; `path` then names
    // it in messages and for FFmpeg's format guess.
    bool open(const char* path, const FileBytes& bytes, int rate, int channels,
              std::string& error);
    // Appends the samples of the next packet. Returns 1 while more may follow, 0 once
    // the stream has ended (the resampler drained), -1 on a failure (`error` filled).
    int decodeSome(std::vector<int16_t>& samples, std::string& error);
    // The container's idea of the duration, 0 when it has none.
    double durationSeconds() const {
        return c_.format && c_.format->duration > 0 ? double(c_.format->duration) / AV_TIME_BASE
                                                    : 0.0;
    }

private:
    MemoryInput input_;  // outlives c_: the format context reads through it to the end
    AudioDecodeContext c_;
    std::string name_;
    int stream_ = -1;
    int channels_ = 0;
    bool draining_ = false;
    bool ended_ = false;
};

bool AudioDecoder::open(const char* path, const FileBytes& bytes, int rate, int channels,
                        std::string& error) {
    ffmpegQuietLogs();
    name_ = path;
    channels_ = channels;
    if (rate <= 0 || channels <= 0 || channels > 8) {
        error = name_ + ": cannot decode to " + std::to_string(rate) + " Hz, " +
                std::to_string(channels) + " channels";
        return false;
    }
    if (bytes) {
        const int kBlock = 65536;
        input_.bytes = bytes;
        uint8_t* block = static_cast<uint8_t*>(av_malloc(kBlock));
        input_.io = block ? avio_alloc_context(block, kBlock, 0, &input_, &MemoryInput::read,
                                               nullptr, &MemoryInput::seek)
                          : nullptr;
        c_.format = avformat_alloc_context();
        if (!input_.io || !c_.format) {
            if (!input_.io) av_free(block);
            error = name_ + ": out of memory";
            return false;
        }
        c_.format->pb = input_.io;
    }
    int rc = avformat_open_input(&c_.format, path, nullptr, nullptr);
    if (rc < 0) {
        error = name_ + ": " + ffmpegErrorText(rc);
        return false;
    }
    rc = avformat_find_stream_info(c_.format, nullptr);
    if (rc < 0) {
        error = name_ + ": " + ffmpegErrorText(rc);
        return false;
    }
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(c_.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream_ < 0 || !decoder) {
        error = name_ + ": no decodable audio stream";
        return false;
    }
    c_.codec = avcodec_alloc_context3(decoder);
    c_.packet = av_packet_alloc();
    c_.frame = av_frame_alloc();
    if (!c_.codec || !c_.packet || !c_.frame ||
        avcodec_parameters_to_context(c_.codec, c_.format->streams[stream_]->codecpar) < 0 ||
        (rc = avcodec_open2(c_.codec, decoder, nullptr)) < 0) {
        error = name_ + ": cannot open the " + decoder->name + " decoder";
        return false;
    }
    if (c_.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&c_.codec->ch_layout, c_.codec->ch_layout.nb_channels);
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, channels);
    rc = swr_alloc_set_opts2(&c_.resample, &outLayout, AV_SAMPLE_FMT_S16, rate,
                             &c_.codec->ch_layout, c_.codec->sample_fmt, c_.codec->sample_rate,
                             0, nullptr);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(c_.resample) < 0) {
        error = name_ + ": cannot convert its audio to " + std::to_string(rate) + " Hz";
        return false;
    }
    return true;
}

int AudioDecoder::decodeSome(std::vector<int16_t>& samples, std::string& error) {
    if (ended_) return 0;
    for (;;) {
        int rc = avcodec_receive_frame(c_.codec, c_.frame);
        // Once drained the decoder answers EOF; a decoder that never does has ended too.
        if (rc == AVERROR(EAGAIN) && draining_) rc = AVERROR_EOF;
        if (rc == 0) {
            const bool converted = appendConverted(c_.resample, c_.frame, channels_, samples);
            av_frame_unref(c_.frame);
            if (!converted) {
                error = name_ + ": resampling failed";
                return -1;
            }
            return 1;
        }
        if (rc == AVERROR_EOF) {
            ended_ = true;
            if (!appendConverted(c_.resample, nullptr, channels_, samples)) {
                error = name_ + ": resampling failed";
                return -1;
            }
            return 0;
        }
        if (rc == AVERROR_INVALIDDATA) continue;
        if (rc != AVERROR(EAGAIN)) {
            error = name_ + ": decoding failed: " + ffmpegErrorText(rc);
            return -1;
        }
        rc = av_read_frame(c_.format, c_.packet);
        if (rc == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(c_.codec, nullptr);
        } else if (rc < 0) {
            error = name_ + ": reading failed: " + ffmpegErrorText(rc);
            return -1;
        } else {
            // A damaged packet costs its own few milliseconds, not the whole track.
            if (c_.packet->stream_index == stream_) avcodec_send_packet(c_.codec, c_.packet);
            av_packet_unref(c_.packet);
        }
    }
}

// The whole stream, from the file or from its bytes in memory.
bool decodeWhole(const char* path, const FileBytes& bytes, int rate, int channels,
                 std::vector<int16_t>& samples, std::string& error) {
    samples.clear();
    AudioDecoder decoder;
    if (!decoder.open(path, bytes, rate, channels, error)) return false;
    // At most a second of slack; trimming it would copy the whole track once more.
    if (const double seconds = decoder.durationSeconds())
        samples.reserve(size_t(seconds * rate + rate) * size_t(channels));
    int more;
    while ((more = decoder.decodeSome(samples, error)) > 0) {
    }
    if (more < 0 || samples.empty()) {
        if (more == 0) error = std::string(path) + ": no audio could be decoded";
        samples.clear();
        return false;
    }
    return true;
}

}  // namespace

bool platformDecodeAudio(const char* path, int rate, int channels,
                         std::vector<int16_t>& samples, std::string& error) {
    return decodeWhole(path, nullptr, rate, channels, samples, error);
}

// ---- The streamed track ---------------------------------------------------------------

namespace {

const int kRate = 44100;
const int kChannels = 2;
const int kDeviceFrames = 1024;  // power of two: SDL's dummy driver keeps time best there

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A device that has not called back for this long is taken for stopped.
const int64_t kStallNs = 500 * 1000000LL;

int64_t framesToMs(int64_t frames) { return frames * 1000 / kRate; }
int64_t msToFrames(int64_t ms) { return ms * kRate / 1000; }

}  // namespace

// Frames are counted from the start of the track. The ring holds the decoded frames
// [ringStart_, ringEnd_), at most `capacity_` of them; the decoder keeps a quarter of it
// ahead of the wanted position and the rest stays behind for seeks back.
class MusicTrack {
public:
    MusicTrack(std::string path, int64_t capacityFrames)
        : path_(std::move(path)),
          capacity_(std::max<int64_t>(capacityFrames, 4 * kDeviceFrames)),
          ahead_(capacity_ / 4),
          ring_(size_t(capacity_) * kChannels) {
        thread_ = std::thread([this] { run(); });
    }

    ~MusicTrack() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    const std::string& path() const { return path_; }

    // Waits for the first seconds (or the whole of a shorter track); false and `error`
    // when the file does not decode.
    bool waitReady(std::string& error) {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return ready_ || failed_; });
        error = error_;
        return !failed_;
    }

    // The file's bytes once read (null before, or when it could not be read).
    FileBytes bytes() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return ready_ || failed_; });
        return bytes_;
    }

    // The audio callback's read: what is decoded of [first, first + count), silence for
    // the rest, and the decoder moves on to `first`. Never waits for the decoder.
    void read(int64_t first, int16_t* out, int64_t count) {
        std::lock_guard<std::mutex> hold(lock_);
        copyLocked(first, out, count);
        wantLocked(first);
    }

    // The same, waiting until the frames are decoded (silence past the end).
    void readWaiting(int64_t first, int16_t* out, int64_t count) {
        while (count > 0) {
            const int64_t piece = std::min(count, ahead_);
            std::unique_lock<std::mutex> hold(lock_);
            wantLocked(first);
            changed_.wait(hold, [&] {
                return failed_ || (ringStart_ <= first && (ringEnd_ >= first + piece || ended_));
            });
            copyLocked(first, out, piece);
            first += piece;
            out += piece * kChannels;
            count -= piece;
        }
    }

    // A seek: the decoder starts on `first` before the next callback asks.
    void want(int64_t first) {
        std::lock_guard<std::mutex> hold(lock_);
        wantLocked(first);
    }

private:
    void wantLocked(int64_t first) {
        if (first == want_) return;
        want_ = first;
        wake_.notify_one();
    }

    void copyLocked(int64_t first, int16_t* out, int64_t count) const {
        const int64_t from = std::clamp(first, ringStart_, ringEnd_);
        const int64_t to = std::clamp(first + count, from, ringEnd_);
        std::fill(out, out + count * kChannels, int16_t(0));
        for (int64_t frame = from; frame < to;) {
            const int64_t at = frame % capacity_;
            const int64_t run = std::min(to - frame, capacity_ - at);
            std::memcpy(out + (frame - first) * kChannels, ring_.data() + at * kChannels,
                        size_t(run) * kChannels * sizeof(int16_t));
            frame += run;
        }
    }

    void fail(const std::string& error) {
        std::lock_guard<std::mutex> hold(lock_);
        failed_ = true;
        error_ = error;
        changed_.notify_all();
    }

    void run();

    const std::string path_;
    const int64_t capacity_;
    const int64_t ahead_;

    std::mutex lock_;
    std::condition_variable wake_;     // the decoder: a new wanted position, or stop
    std::condition_variable changed_;  // waiting readers: more frames, ready or failed
    std::vector<int16_t> ring_;
    FileBytes bytes_;
    int64_t ringStart_ = 0;
    int64_t ringEnd_ = 0;
    int64_t want_ = 0;
    bool ended_ = false;  // ringEnd_ is the end of the track
    bool ready_ = false;
    bool failed_ = false;
    bool stop_ = false;
    std::string error_;
    std::thread thread_;
};

void MusicTrack::run() {
    std::string error;
    FileBytes bytes = readWholeFile(path_, error);
    if (!bytes) return fail(error);
    auto decoder = std::make_unique<AudioDecoder>();
    if (!decoder->open(path_.c_str(), bytes, kRate, kChannels, error)) return fail(error);
    {
        std::lock_guard<std::mutex> hold(lock_);
        bytes_ = bytes;
    }
    std::vector<int16_t> piece;
    for (;;) {
        bool restart = false;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [this] {
                return stop_ || want_ < ringStart_ || (!ended_ && ringEnd_ < want_ + ahead_);
            });
            if (stop_) return;
            if (want_ < ringStart_) {
                // Behind the ring: decode again from the start, as the first pass did.
                restart = true;
                ringStart_ = ringEnd_ = 0;
                ended_ = false;
            }
        }
        if (restart) {
            decoder = std::make_unique<AudioDecoder>();
            if (!decoder->open(path_.c_str(), bytes, kRate, kChannels, error)) return fail(error);
        }
        piece.clear();
        const int more = decoder->decodeSome(piece, error);
        std::lock_guard<std::mutex> hold(lock_);
        if (more < 0 && ringEnd_ == 0 && piece.empty()) {
            failed_ = true;
            error_ = error;
            changed_.notify_all();
            return;
        }
        for (size_t i = 0; i < piece.size(); i += kChannels) {
            const int64_t at = ringEnd_++ % capacity_;
            ring_[size_t(at) * kChannels] = piece[i];
            ring_[size_t(at) * kChannels + 1] = piece[i + 1];
        }
        ringStart_ = std::max(ringStart_, ringEnd_ - capacity_);
        if (more <= 0) {
            // A track that fails half-way plays silence from there, as a damaged file
            // would on any player.
            ended_ = true;
            if (ringEnd_ == 0) {
                failed_ = true;
                error_ = more < 0 ? error : path_ + ": no audio could be decoded";
            }
        }
        if (ringEnd_ >= ahead_ || ended_) ready_ = true;
        changed_.notify_all();
        if (failed_) return;
    }
}

namespace {

// The track opened ahead of MusicStream::open by the start-up, taken by the first open
// of its path. Destroyed at exit, which stops its thread.
struct MusicAhead {
    std::mutex lock;
    std::unique_ptr<MusicTrack> track;
};

MusicAhead musicAhead;

std::unique_ptr<MusicTrack> takeAhead(const char* path) {
    std::lock_guard<std::mutex> hold(musicAhead.lock);
    if (!musicAhead.track || musicAhead.track->path() != path) return nullptr;
    return std::move(musicAhead.track);
}

}  // namespace

void platformDecodeMusicAhead(const char* path) {
    std::lock_guard<std::mutex> hold(musicAhead.lock);
    if (musicAhead.track) return;
    try {
        musicAhead.track = std::make_unique<MusicTrack>(path, MusicStream::kRingFrames);
    } catch (const std::system_error&) {
        // No thread to be had: open() starts its own.
    }
}

bool platformTakeMusic(const char* path, std::vector<int16_t>& samples, std::string& error) {
    std::unique_ptr<MusicTrack> ahead = takeAhead(path);
    const FileBytes bytes = ahead ? ahead->bytes() : nullptr;
    ahead.reset();
    return decodeWhole(path, bytes, kRate, kChannels, samples, error);
}

// ---- The music stream -----------------------------------------------------------------

namespace {

// Output devices that appeared, counted by an event watch (on whatever thread SDL
// reports them), so a stream that lost its device knows when to try again.
std::atomic<uint64_t> devicesAdded{0};

int SDLCALL watchDevices(void*, SDL_Event* event) {
    if (event->type == SDL_AUDIODEVICEADDED && !event->adevice.iscapture) ++devicesAdded;
    return 1;
}

}  // namespace

// The clock is an anchor (a position and the moment it was true) plus the time since.
// On the device the audio callback moves the anchor to the start of each chunk it hands
// out, less the chunk that is still queued ahead of it, and the time since is capped at
// one chunk; on the wall clock the anchor moves only on play, seek and resume.
// `floorMs` keeps the value from running backwards between seeks.
//
// A device can go away (SDL marks it stopped) or stop calling back (a stalled sound
// server). Gone: it is closed, the clock runs on the wall clock from its value, and the
// next device SDL reports added is opened at the clock's position. Stalled: the clock
// runs on the wall clock beside it, and its first callback again moves its play
// position to the clock's.
struct MusicStream::State {
    std::unique_ptr<MusicTrack> track;  // null: no playable track
    SDL_AudioDeviceID device = 0;    // 0: the silent wall clock
    int deviceFrames = kDeviceFrames;  // frames per callback, as the device obtained
    bool started = false;            // play() was called
    bool paused = false;             // setPaused(true) in force
    bool audioStarted = false;       // SDL's audio subsystem is up for this stream
    bool deviceLost = false;         // a device went away; the next one added is opened
    uint64_t addedSeen = 0;          // devicesAdded when it went away
    bool stalled = false;            // the open device stopped calling back
    int64_t feedsAtStall = 0;
    int64_t stallMs = 0;             // the wall clock beside a stalled device
    int64_t stallNs = 0;

    // Shared with the audio callback; guarded by the device lock when a device exists.
    int64_t cursorFrame = 0;         // next frame the callback hands out
    int64_t anchorMs = 0;            // clock value at anchorNs
    int64_t anchorNs = 0;            // last callback, or the last seek or resume
    bool anchored = false;           // a callback ran since the last seek or resume
    int64_t feeds = 0;               // callbacks so far

    int64_t floorMs = 0;             // main thread: lowest value positionMs may give now

    static void SDLCALL feed(void* user, Uint8* stream, int bytes);
    int64_t readClockMs() const;
    void setClockMs(int64_t ms);
    bool openDevice(const char* path);
    void checkDevice();
    void closeDevice();
    void stopAudio();
};

void SDLCALL MusicStream::State::feed(void* user, Uint8* stream, int bytes) {
    State& s = *static_cast<State*>(user);
    const int64_t frames = bytes / int64_t(sizeof(int16_t) * kChannels);
    s.track->read(s.cursorFrame, reinterpret_cast<int16_t*>(stream), frames);
    // The chunk handed out before this one is what plays now. Past the end of the
    // track the clock runs on through silence.
    s.anchorMs = framesToMs(s.cursorFrame - s.deviceFrames);
    s.anchorNs = nowNs();
    s.anchored = true;
    s.cursorFrame += frames;
    ++s.feeds;
}

int64_t MusicStream::State::readClockMs() const {
    if (!started || paused) return floorMs;
    int64_t ms;
    if (device && stalled) {
        ms = stallMs + (nowNs() - stallNs) / 1000000;
    } else if (device) {
        SDL_LockAudioDevice(device);
        if (anchored) {
            const int64_t sinceMs = (nowNs() - anchorNs) / 1000000;
            ms = anchorMs + std::min(sinceMs, framesToMs(deviceFrames));
        } else {
            ms = floorMs;
        }
        SDL_UnlockAudioDevice(device);
    } else {
        ms = anchorMs + (nowNs() - anchorNs) / 1000000;
    }
    return std::max(ms, floorMs);
}

void MusicStream::State::setClockMs(int64_t ms) {
    if (device) SDL_LockAudioDevice(device);
    cursorFrame = msToFrames(ms);
    anchorMs = ms;
    anchorNs = nowNs();
    anchored = false;
    if (device) SDL_UnlockAudioDevice(device);
    floorMs = ms;
    stallMs = ms;
    stallNs = anchorNs;
    // Only a played track needs its decoder there; a muted one stays where it is.
    if (device) track->want(cursorFrame);
}

// No changes allowed: SDL converts to whatever the hardware wants, so the callback
// always sees kRate stereo S16. The device starts paused.
bool MusicStream::State::openDevice(const char* path) {
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = kDeviceFrames;
    want.callback = &State::feed;
    want.userdata = this;
    SDL_AudioSpec have{};
    device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device) {
        std::fprintf(stderr, "No audio device (%s); %s plays silent.\n", SDL_GetError(), path);
        return false;
    }
    deviceFrames = have.samples > 0 ? have.samples : kDeviceFrames;
    stalled = false;
    return true;
}

// Once per frame, on the main thread.
void MusicStream::State::checkDevice() {
    if (!device) {
        if (!deviceLost || devicesAdded.load() == addedSeen) return;
        addedSeen = devicesAdded.load();
        const int64_t ms = readClockMs();
        if (!openDevice(track->path().c_str())) return;
        deviceLost = false;
        setClockMs(ms);
        if (started && !paused) SDL_PauseAudioDevice(device, 0);
        std::fprintf(stderr, "A sound device is back: the music plays on at %.1f s.\n",
                     double(ms) / 1000);
        return;
    }
    if (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
        const int64_t ms = readClockMs();
        SDL_CloseAudioDevice(device);
        device = 0;
        deviceLost = true;
        addedSeen = devicesAdded.load();
        setClockMs(ms);
        std::fprintf(stderr, "The sound device went away at %.1f s: the demo goes on silent "
                             "until a device is back.\n", double(ms) / 1000);
        return;
    }
    if (!started || paused) return;
    SDL_LockAudioDevice(device);
    const int64_t lastNs = anchorNs;
    const int64_t feedCount = feeds;
    SDL_UnlockAudioDevice(device);
    if (!stalled && nowNs() - lastNs > kStallNs) {
        const int64_t ms = readClockMs();
        stalled = true;
        feedsAtStall = feedCount;
        stallMs = ms;
        stallNs = nowNs();
    } else if (stalled && feedCount != feedsAtStall) {
        // Calling back again: it plays on from where the clock has got to.
        const int64_t ms = readClockMs();
        stalled = false;
        setClockMs(ms);
    }
}

void MusicStream::State::closeDevice() {
    if (device) SDL_CloseAudioDevice(device);
    device = 0;
}

void MusicStream::State::stopAudio() {
    closeDevice();
    if (audioStarted) {
        SDL_DelEventWatch(&watchDevices, nullptr);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    audioStarted = false;
}

MusicStream::MusicStream(int64_t ringFrames)
    : state_(std::make_unique<State>()), ringFrames_(ringFrames) {}

MusicStream::~MusicStream() { state_->stopAudio(); }

bool MusicStream::open(const char* path, bool mute) {
    state_->stopAudio();
    state_ = std::make_unique<State>();
    State& s = *state_;

    std::string error;
    std::unique_ptr<MusicTrack> track;
    if (ringFrames_ == kRingFrames) track = takeAhead(path);
    try {
        if (!track) track = std::make_unique<MusicTrack>(path, ringFrames_);
    } catch (const std::system_error& e) {
        error = std::string(path) + ": no thread to decode it on (" + e.what() + ")";
    }
    if (!track || !track->waitReady(error)) {
        const std::string prefix = std::string(path) + ": ";
        if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
        std::fprintf(stderr, "Music file %s cannot be played (%s); the clock runs silent.\n",
                     path, error.c_str());
        return false;
    }
    s.track = std::move(track);
    if (mute) return true;

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "No audio device (%s); %s plays silent.\n", SDL_GetError(), path);
        return true;
    }
    if (!s.openDevice(path)) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return true;
    }
    s.audioStarted = true;
    SDL_AddEventWatch(&watchDevices, nullptr);
    return true;
}

void MusicStream::play() {
    State& s = *state_;
    if (s.started) return;
    s.started = true;
    s.setClockMs(s.floorMs);
    if (s.device && !s.paused) SDL_PauseAudioDevice(s.device, 0);
}

int MusicStream::positionMs() const {
    State& s = *state_;
    if (s.audioStarted) s.checkDevice();
    s.floorMs = s.readClockMs();
    return int(s.floorMs);
}

void MusicStream::setPositionMs(int ms) { state_->setClockMs(std::max(ms, 0)); }

void MusicStream::setPaused(bool paused) {
    State& s = *state_;
    if (paused == s.paused) return;
    if (paused) {
        s.floorMs = s.readClockMs();
        if (s.device) SDL_PauseAudioDevice(s.device, 1);
        s.paused = true;
    } else {
        s.paused = false;
        // Resume where the listener stopped hearing, not where the feeder had got to.
        s.setClockMs(s.floorMs);
        if (s.device && s.started) SDL_PauseAudioDevice(s.device, 0);
    }
}

bool MusicStream::paused() const { return state_->paused; }

bool MusicStream::audible() const { return state_->device != 0; }

bool MusicStream::decoded() const { return state_->track != nullptr; }

bool MusicStream::copyFrames(int64_t first, int16_t* out, int64_t count) {
    if (!state_->track) return false;
    state_->track->readWaiting(first, out, count);
    return true;
}
