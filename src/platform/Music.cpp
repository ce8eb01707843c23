// The music stream and the demo clock. The whole track is decoded into memory and fed
// to SDL audio from there; the clock is the audible play position, interpolated
// between audio callbacks. Without a playable track or device it runs on the wall clock.
#include "platform/FFmpeg.h"
#include "platform/Platform.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <system_error>
#include <utility>

// ---- Decoding ------------------------------------------------------------------------

namespace {

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

}  // namespace

bool platformDecodeAudio(const char* path, int rate, int channels,
                         std::vector<int16_t>& samples, std::string& error) {
    ffmpegQuietLogs();
    samples.clear();
    const std::string name = path;
    if (rate <= 0 || channels <= 0 || channels > 8) {
        error = name + ": cannot decode to " + std::to_string(rate) + " Hz, " +
                std::to_string(channels) + " channels";
        return false;
    }
    AudioDecodeContext c;
    int rc = avformat_open_input(&c.format, path, nullptr, nullptr);
    if (rc < 0) {
        error = name + ": " + ffmpegErrorText(rc);
        return false;
    }
    rc = avformat_find_stream_info(c.format, nullptr);
    if (rc < 0) {
        error = name + ": " + ffmpegErrorText(rc);
        return false;
    }
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(c.format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder) {
        error = name + ": no decodable audio stream";
        return false;
    }
    c.codec = avcodec_alloc_context3(decoder);
    c.packet = av_packet_alloc();
    c.frame = av_frame_alloc();
    if (!c.codec || !c.packet || !c.frame ||
        avcodec_parameters_to_context(c.codec, c.format->streams[stream]->codecpar) < 0 ||
        (rc = avcodec_open2(c.codec, decoder, nullptr)) < 0) {
        error = name + ": cannot open the " + decoder->name + " decoder";
        return false;
    }
    if (c.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&c.codec->ch_layout, c.codec->ch_layout.nb_channels);
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, channels);
    rc = swr_alloc_set_opts2(&c.resample, &outLayout, AV_SAMPLE_FMT_S16, rate,
                             &c.codec->ch_layout, c.codec->sample_fmt, c.codec->sample_rate,
                             0, nullptr);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(c.resample) < 0) {
        error = name + ": cannot convert its audio to " + std::to_string(rate) + " Hz";
        return false;
    }

    if (c.format->duration > 0)
        samples.reserve(size_t(double(c.format->duration) / AV_TIME_BASE * rate + rate) *
                        channels);

    bool draining = false;
    bool failed = false;
    while (!failed) {
        if (!draining) {
            rc = av_read_frame(c.format, c.packet);
            if (rc == AVERROR_EOF) {
                draining = true;
                avcodec_send_packet(c.codec, nullptr);
            } else if (rc < 0) {
                error = name + ": reading failed: " + ffmpegErrorText(rc);
                failed = true;
                break;
            } else {
                const bool ours = c.packet->stream_index == stream;
                // A damaged packet costs its own few milliseconds, not the whole track.
                if (ours) avcodec_send_packet(c.codec, c.packet);
                av_packet_unref(c.packet);
                if (!ours) continue;
            }
        }
        for (;;) {
            rc = avcodec_receive_frame(c.codec, c.frame);
            if (rc == AVERROR(EAGAIN)) break;
            if (rc == AVERROR_EOF) {
                if (!appendConverted(c.resample, nullptr, channels, samples)) {
                    error = name + ": resampling failed";
                    failed = true;
                }
                if (failed) break;
                if (samples.empty()) {
                    error = name + ": no audio could be decoded";
                    return false;
                }
                return true;
            }
            if (rc < 0) {
                if (rc == AVERROR_INVALIDDATA) continue;
                error = name + ": decoding failed: " + ffmpegErrorText(rc);
                failed = true;
                break;
            }
            const bool converted = appendConverted(c.resample, c.frame, channels, samples);
            av_frame_unref(c.frame);
            if (!converted) {
                error = name + ": resampling failed";
                failed = true;
                break;
            }
        }
    }
    samples.clear();
    return false;
}

// ---- The music stream -----------------------------------------------------------------

namespace {

const int kRate = 44100;
const int kChannels = 2;
const int kDeviceFrames = 1024;  // power of two: SDL's dummy driver keeps time best there

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t framesToMs(int64_t frames) { return frames * 1000 / kRate; }
int64_t msToFrames(int64_t ms) { return ms * kRate / 1000; }

// The music decoded ahead of MusicStream::open. The future's destructor waits for the
// thread, so a process that ends before the music opens still ends cleanly.
struct DecodedMusic {
    bool decoded = false;
    std::vector<int16_t> samples;
    std::string error;
};

struct MusicDecodeAhead {
    std::mutex lock;
    std::string path;
    std::future<DecodedMusic> result;
};

MusicDecodeAhead decodeAhead;

// Hands over the result for `path` when one was started for it.
bool takeDecodedAhead(const char* path, DecodedMusic& out) {
    std::lock_guard<std::mutex> hold(decodeAhead.lock);
    if (!decodeAhead.result.valid() || decodeAhead.path != path) return false;
    out = decodeAhead.result.get();
    return true;
}

}  // namespace

void platformDecodeMusicAhead(const char* path) {
    std::lock_guard<std::mutex> hold(decodeAhead.lock);
    if (decodeAhead.result.valid()) return;
    std::string file = path;
    try {
        decodeAhead.result = std::async(std::launch::async, [file] {
            DecodedMusic music;
            music.decoded =
                platformDecodeAudio(file.c_str(), kRate, kChannels, music.samples, music.error);
            return music;
        });
        decodeAhead.path = std::move(file);
    } catch (const std::system_error&) {
        // No thread to be had: open() decodes in line as it always could.
    }
}

bool platformTakeMusic(const char* path, std::vector<int16_t>& samples, std::string& error) {
    DecodedMusic ahead;
    if (!takeDecodedAhead(path, ahead))
        return platformDecodeAudio(path, kRate, kChannels, samples, error);
    samples = std::move(ahead.samples);
    error = std::move(ahead.error);
    return ahead.decoded;
}

// The clock is an anchor (a position and the moment it was true) plus the time since.
// On the device the audio callback moves the anchor to the start of each chunk it hands
// out, less the chunk that is still queued ahead of it, and the time since is capped at
// one chunk; on the wall clock the anchor moves only on play, seek and resume.
// `floorMs` keeps the value from running backwards between seeks.
struct MusicStream::State {
    std::vector<int16_t> samples;    // interleaved stereo S16 at kRate
    bool decoded = false;            // the track decoded
    SDL_AudioDeviceID device = 0;    // 0: the silent wall clock
    int deviceFrames = kDeviceFrames;  // frames per callback, as the device obtained
    bool started = false;            // play() was called
    bool paused = false;             // setPaused(true) in force

    // Shared with the audio callback; guarded by the device lock when a device exists.
    int64_t cursorFrame = 0;         // next frame the callback hands out
    int64_t anchorMs = 0;            // clock value at anchorNs
    int64_t anchorNs = 0;
    bool anchored = false;           // a callback ran since the last seek or resume

    int64_t floorMs = 0;             // main thread: lowest value positionMs may give now

    static void SDLCALL feed(void* user, Uint8* stream, int bytes);
    int64_t readClockMs() const;
    void setClockMs(int64_t ms);
    void closeDevice();
};

void SDLCALL MusicStream::State::feed(void* user, Uint8* stream, int bytes) {
    State& s = *static_cast<State*>(user);
    const int64_t frames = bytes / int64_t(sizeof(int16_t) * kChannels);
    const int64_t total = int64_t(s.samples.size() / kChannels);
    const int64_t from = std::min(s.cursorFrame, total);
    const int64_t copied = std::min(frames, total - from);
    std::memcpy(stream, s.samples.data() + from * kChannels,
                size_t(copied) * sizeof(int16_t) * kChannels);
    std::memset(stream + copied * sizeof(int16_t) * kChannels, 0,
                size_t(frames - copied) * sizeof(int16_t) * kChannels);
    // The chunk handed out before this one is what plays now. Past the end of the
    // track the clock runs on through silence.
    s.anchorMs = framesToMs(s.cursorFrame - s.deviceFrames);
    s.anchorNs = nowNs();
    s.anchored = true;
    s.cursorFrame += frames;
}

int64_t MusicStream::State::readClockMs() const {
    if (!started || paused) return floorMs;
    int64_t ms;
    if (device) {
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
}

void MusicStream::State::closeDevice() {
    if (!device) return;
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    device = 0;
}

MusicStream::MusicStream() : state_(std::make_unique<State>()) {}

MusicStream::~MusicStream() { state_->closeDevice(); }

bool MusicStream::open(const char* path, bool mute) {
    state_->closeDevice();
    state_ = std::make_unique<State>();
    State& s = *state_;

    std::string error;
    s.decoded = platformTakeMusic(path, s.samples, error);
    if (!s.decoded) {
        const std::string prefix = std::string(path) + ": ";
        if (error.compare(0, prefix.size(), prefix) == 0) error.erase(0, prefix.size());
        std::fprintf(stderr, "Music file %s cannot be played (%s); the clock runs silent.\n",
                     path, error.c_str());
        return false;
    }
    if (mute) return true;

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "No audio device (%s); %s plays silent.\n", SDL_GetError(), path);
        return true;
    }
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = kChannels;
    want.samples = kDeviceFrames;
    want.callback = &State::feed;
    want.userdata = &s;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the
    // callback always sees kRate stereo S16.
    s.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!s.device) {
        std::fprintf(stderr, "No audio device (%s); %s plays silent.\n", SDL_GetError(), path);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return true;
    }
    s.deviceFrames = have.samples > 0 ? have.samples : kDeviceFrames;
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

const std::vector<int16_t>& MusicStream::samples() const { return state_->samples; }
