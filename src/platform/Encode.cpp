// Encoders for the data tool and the offline renderer: MP3 through libmp3lame and
// MJPEG-in-AVI through libavformat/libavcodec. Input pictures are RGB24, top row first.
#include "platform/FFmpeg.h"
#include "platform/Platform.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}
#include <lame/lame.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

// ---- MP3 ----------------------------------------------------------------------------

namespace {

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

bool platformEncodeMp3(const char* path, const std::vector<int16_t>& stereo, int kbps,
                       std::string& error) {
    if (stereo.size() % 2 != 0) {
        error = std::string(path) + ": odd sample count for interleaved stereo";
        return false;
    }
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) {
        error = std::string(path) + ": cannot start the MP3 encoder";
        return false;
    }
    lame_set_in_samplerate(lame.get(), 44100);
    lame_set_out_samplerate(lame.get(), 44100);
    lame_set_num_channels(lame.get(), 2);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_brate(lame.get(), kbps);
    lame_set_quality(lame.get(), 5);
    // The Info/LAME tag carries encoder delay and padding, which decoders need to
    // start the audio on the first sample instead of ~25 ms late.
    lame_set_bWriteVbrTag(lame.get(), 1);
    if (lame_init_params(lame.get()) < 0) {
        error = std::string(path) + ": the MP3 encoder rejects " + std::to_string(kbps) +
                " kbps at 44100 Hz stereo";
        return false;
    }

    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "wb"));
    if (!file) {
        error = std::string(path) + ": cannot create the file";
        return false;
    }

    const int chunkFrames = 8192;
    std::vector<unsigned char> out(chunkFrames * 5 / 4 + 7200);
    const size_t frames = stereo.size() / 2;
    bool ok = true;
    for (size_t done = 0; ok && done < frames; done += chunkFrames) {
        const int count = static_cast<int>(std::min<size_t>(chunkFrames, frames - done));
        // lame takes a non-const pointer but does not write through it.
        short* pcm = const_cast<short*>(stereo.data() + done * 2);
        int bytes = lame_encode_buffer_interleaved(lame.get(), pcm, count, out.data(),
                                                   static_cast<int>(out.size()));
        ok = bytes >= 0 && std::fwrite(out.data(), 1, bytes, file.get()) == size_t(bytes);
    }
    if (ok) {
        int bytes = lame_encode_flush(lame.get(), out.data(), static_cast<int>(out.size()));
        ok = bytes >= 0 && std::fwrite(out.data(), 1, bytes, file.get()) == size_t(bytes);
    }
    if (ok) {
        size_t tagBytes = lame_get_lametag_frame(lame.get(), out.data(), out.size());
        if (tagBytes > 0)
            ok = std::fseek(file.get(), 0, SEEK_SET) == 0 &&
                 std::fwrite(out.data(), 1, tagBytes, file.get()) == tagBytes;
    }
    if (std::fclose(file.release()) != 0) ok = false;
    if (!ok) {
        error = std::string(path) + ": writing the MP3 stream failed";
        removePartialFile(path);
    }
    return ok;
}

// ---- Video ----------------------------------------------------------------------------

namespace {

// Hands one frame (null: the end) to an encoder and writes the packets it has ready.
bool encodeAndWrite(AVFormatContext* format, AVCodecContext* codec, AVStream* stream,
                    AVPacket* packet, const AVFrame* input, std::string& error) {
    int rc = avcodec_send_frame(codec, input);
    if (rc < 0) {
        error = "encoding failed: " + ffmpegErrorText(rc);
        return false;
    }
    for (;;) {
        rc = avcodec_receive_packet(codec, packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
        if (rc < 0) {
            error = "encoding failed: " + ffmpegErrorText(rc);
            return false;
        }
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        rc = av_interleaved_write_frame(format, packet);
        if (rc < 0) {
            error = "writing failed: " + ffmpegErrorText(rc);
            return false;
        }
    }
}

// One video stream of an output file: encoder, RGB-to-YUV conversion and the
// reused frame and packet. Everything is allocated when it opens.
struct VideoTrack {
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* convert = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int width = 0;          // of the RGB pictures handed in
    int height = 0;
    int64_t nextPts = 0;

    ~VideoTrack() {
        sws_freeContext(convert);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    // Sets up the encoder's parameters; the caller may adjust `codec` before finishOpen.
    // The encoded size may differ from the pictures' (codecs that need even sizes).
    bool create(AVFormatContext* format, const AVCodec* encoder, AVPixelFormat pixels,
                int w, int h, int codedWidth, int codedHeight, AVRational rate,
                std::string& error) {
        width = w;
        height = h;
        stream = avformat_new_stream(format, nullptr);
        codec = avcodec_alloc_context3(encoder);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!stream || !codec || !frame || !packet) {
            error = "out of memory";
            return false;
        }
        codec->width = codedWidth;
        codec->height = codedHeight;
        codec->pix_fmt = pixels;
        codec->color_range = AVCOL_RANGE_JPEG;
        codec->time_base = AVRational{rate.den, rate.num};
        codec->framerate = rate;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return true;
    }

    bool finishOpen(AVDictionary** options, std::string& error) {
        int rc = avcodec_open2(codec, codec->codec, options);
        if (rc < 0) {
            error = std::string("cannot open the ") + codec->codec->name +
                    " encoder: " + ffmpegErrorText(rc);
            return false;
        }
        rc = avcodec_parameters_from_context(stream->codecpar, codec);
        if (rc < 0) {
            error = ffmpegErrorText(rc);
            return false;
        }
        stream->time_base = codec->time_base;
        stream->avg_frame_rate = codec->framerate;
        frame->format = codec->pix_fmt;
        frame->width = codec->width;
        frame->height = codec->height;
        frame->color_range = codec->color_range;
        rc = av_frame_get_buffer(frame, 0);
        if (rc < 0) {
            error = ffmpegErrorText(rc);
            return false;
        }
        convert = sws_getContext(width, height, AV_PIX_FMT_RGB24, codec->width,
                                 codec->height, codec->pix_fmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!convert) {
            error = "cannot convert RGB pictures for the encoder";
            return false;
        }
        const int* matrix = sws_getCoefficients(SWS_CS_ITU601);
        const bool fullRange = codec->color_range == AVCOL_RANGE_JPEG;
        sws_setColorspaceDetails(convert, matrix, 1, matrix, fullRange ? 1 : 0, 0, 1 << 16,
                                 1 << 16);
        return true;
    }

    // Hands one RGB picture to the encoder and writes whatever packets are ready.
    bool encode(AVFormatContext* format, const uint8_t* rgb, std::string& error) {
        int rc = av_frame_make_writable(frame);
        if (rc < 0) {
            error = ffmpegErrorText(rc);
            return false;
        }
        const uint8_t* source[1] = {rgb};
        const int sourceStride[1] = {width * 3};
        sws_scale(convert, source, sourceStride, 0, height, frame->data, frame->linesize);
        frame->pts = nextPts++;
        return send(format, frame, error);
    }

    bool flush(AVFormatContext* format, std::string& error) {
        return send(format, nullptr, error);
    }

    bool send(AVFormatContext* format, AVFrame* input, std::string& error) {
        return encodeAndWrite(format, codec, stream, packet, input, error);
    }
};

struct OutputFile {
    AVFormatContext* format = nullptr;
    bool headerWritten = false;

    ~OutputFile() { closeFile(); }

    // Returns avio_closep's result: closing flushes, so a full disk shows up here.
    int closeFile() {
        int rc = 0;
        if (format && !(format->oformat->flags & AVFMT_NOFILE)) rc = avio_closep(&format->pb);
        avformat_free_context(format);
        format = nullptr;
        return rc;
    }

    bool create(const char* path, const char* container, std::string& error) {
        ffmpegQuietLogs();
        int rc = avformat_alloc_output_context2(&format, nullptr, container, path);
        if (rc < 0 || !format) {
            error = "no muxer for this file: " + ffmpegErrorText(rc);
            return false;
        }
        return true;
    }

    bool begin(const char* path, std::string& error) {
        if (!(format->oformat->flags & AVFMT_NOFILE)) {
            int rc = avio_open(&format->pb, path, AVIO_FLAG_WRITE);
            if (rc < 0) {
                error = "cannot create the file: " + ffmpegErrorText(rc);
                return false;
            }
        }
        int rc = avformat_write_header(format, nullptr);
        if (rc < 0) {
            error = "cannot write the header: " + ffmpegErrorText(rc);
            return false;
        }
        headerWritten = true;
        return true;
    }

    bool finish(std::string& error) {
        bool ok = true;
        if (headerWritten) {
            int rc = av_write_trailer(format);
            if (rc < 0) {
                error = "cannot finish the file: " + ffmpegErrorText(rc);
                ok = false;
            }
        }
        if (format && format->pb && format->pb->error < 0 && ok) {
            error = "writing failed: " + ffmpegErrorText(format->pb->error);
            ok = false;
        }
        const int rc = closeFile();
        if (rc < 0 && ok) {
            error = "writing failed: " + ffmpegErrorText(rc);
            ok = false;
        }
        return ok;
    }

    // The writers' last step: finishes the file after their encoders, whose outcome is
    // `ok` and `why`. On any failure `error` gets the first thing that went wrong
    // (`earlier`, when something did before close) and the cut-off file is removed, so
    // that it cannot pass for output.
    bool end(const std::string& path, const std::string& earlier, bool ok, std::string why,
             std::string& error) {
        std::string finishWhy;
        if (!finish(finishWhy) && ok) {
            ok = false;
            why = finishWhy;
        }
        if (!ok) {
            error = earlier.empty() ? path + ": " + why : earlier;
            removePartialFile(path.c_str());
        }
        return ok;
    }
};

}  // namespace

// ---- AviWriter ---------------------------------------------------------------------

struct AviWriter::State {
    std::string path;
    OutputFile file;
    VideoTrack video;
    std::string error;  // the first failure; reported by close()
};

AviWriter::AviWriter() = default;
AviWriter::~AviWriter() {
    std::string ignored;
    if (state_) close(ignored);
}

bool AviWriter::open(const char* path, int width, int height, int fps, std::string& error) {
    return open(path, width, height, fps, 1, error);
}

bool AviWriter::open(const char* path, int width, int height, int rateNum, int rateDen,
                     std::string& error) {
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.path = path;
    if (width <= 0 || height <= 0 || rateNum <= 0 || rateDen <= 0) {
        error = s.path + ": bad clip size " + std::to_string(width) + "x" +
                std::to_string(height) + " at " + std::to_string(rateNum) + "/" +
                std::to_string(rateDen) + " fps";
        state_.reset();
        return false;
    }
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    std::string why;
    bool ok = encoder != nullptr;
    if (!ok) why = "no MJPEG encoder";
    if (ok) ok = s.file.create(path, "avi", why);
    if (ok) {
        // Bit-exact output, so the same pictures always give the same bytes.
        s.file.format->flags |= AVFMT_FLAG_BITEXACT;
        ok = s.video.create(s.file.format, encoder, AV_PIX_FMT_YUV420P, width, height,
                            width, height, AVRational{rateNum, rateDen}, why);
        if (ok) {
            // Fixed fine quantiser: the clips are small and keep their sharp shapes.
            s.video.codec->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
            s.video.codec->global_quality = FF_QP2LAMBDA * 3;
            ok = s.video.finishOpen(nullptr, why);
        }
    }
    if (ok) ok = s.file.begin(path, why);
    if (!ok) {
        error = s.path + ": " + why;
        state_.reset();
        removePartialFile(path);
        return false;
    }
    return true;
}

bool AviWriter::writeFrame(const uint8_t* rgb) {
    if (!state_ || !state_->error.empty()) return false;
    State& s = *state_;
    std::string why;
    if (!s.video.encode(s.file.format, rgb, why)) {
        s.error = s.path + ": " + why;
        return false;
    }
    return true;
}

bool AviWriter::close(std::string& error) {
    if (!state_) {
        error = "AVI writer: close without a successful open";
        return false;
    }
    State& s = *state_;
    std::string why;
    bool ok = s.error.empty();
    if (ok) ok = s.video.flush(s.file.format, why);
    ok = s.file.end(s.path, s.error, ok, why, error);
    platformFileFinished(s.path.c_str());
    state_.reset();
    return ok;
}

// ---- MovieWriter -------------------------------------------------------------------

namespace {

const int kMusicRate = 44100;

// The music as an AAC track, encoded in step with the video so the muxer interleaves
// them closely. Samples before the music's start or after its end are silence.
struct AudioTrack {
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    const std::vector<int16_t>* music = nullptr;  // interleaved stereo S16
    int64_t musicStart = 0;  // music frame heard with the first video frame
    int64_t written = 0;     // frames handed to the encoder so far

    ~AudioTrack() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
    }

    bool open(AVFormatContext* format, std::string& error) {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!encoder) {
            error = "no AAC encoder";
            return false;
        }
        stream = avformat_new_stream(format, nullptr);
        codec = avcodec_alloc_context3(encoder);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
        if (!stream || !codec || !frame || !packet) {
            error = "out of memory";
            return false;
        }
        codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec->sample_rate = kMusicRate;
        av_channel_layout_default(&codec->ch_layout, 2);
        codec->bit_rate = 192000;
        codec->time_base = AVRational{1, kMusicRate};
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = avcodec_open2(codec, encoder, nullptr);
        if (rc < 0) {
            error = "cannot open the AAC encoder: " + ffmpegErrorText(rc);
            return false;
        }
        rc = avcodec_parameters_from_context(stream->codecpar, codec);
        if (rc < 0) {
            error = ffmpegErrorText(rc);
            return false;
        }
        stream->time_base = codec->time_base;
        frame->format = codec->sample_fmt;
        frame->sample_rate = kMusicRate;
        frame->nb_samples = codec->frame_size;
        av_channel_layout_copy(&frame->ch_layout, &codec->ch_layout);
        rc = av_frame_get_buffer(frame, 0);
        if (rc < 0) {
            error = ffmpegErrorText(rc);
            return false;
        }
        return true;
    }

    // Encodes the music up to movie frame `until`; `last` lets a final short frame out.
    bool encodeUntil(AVFormatContext* format, int64_t until, bool last, std::string& error) {
        const int64_t musicFrames = int64_t(music->size() / 2);
        while (written < until) {
            const int64_t count = std::min<int64_t>(codec->frame_size, until - written);
            if (count < codec->frame_size && !last) break;
            int rc = av_frame_make_writable(frame);
            if (rc < 0) {
                error = ffmpegErrorText(rc);
                return false;
            }
            frame->nb_samples = int(count);
            float* left = reinterpret_cast<float*>(frame->data[0]);
            float* right = reinterpret_cast<float*>(frame->data[1]);
            for (int64_t i = 0; i < count; ++i) {
                const int64_t at = musicStart + written + i;
                const bool inside = at >= 0 && at < musicFrames;
                left[i] = inside ? (*music)[size_t(at) * 2] * (1.0f / 32768) : 0.0f;
                right[i] = inside ? (*music)[size_t(at) * 2 + 1] * (1.0f / 32768) : 0.0f;
            }
            frame->pts = written;
            written += count;
            if (!encodeAndWrite(format, codec, stream, packet, frame, error)) return false;
        }
        return true;
    }
};

const int kFrameSlots = 3;  // most pictures in flight between the caller and the encoder
// Pictures in flight stay within this many bytes, at least one: a 4K frame takes far
// longer to draw than to encode, so more would only hold memory.
const size_t kSlotBytes = size_t(48) << 20;

// The tag that tells which stretch of the production a movie holds: the demo time of
// its first frame, exact.
const char* const kFromTag = "vornekka_from";

void tagStretch(AVFormatContext* format, double fromSeconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", fromSeconds);
    av_dict_set(&format->metadata, kFromTag, text, 0);
    // MP4 keeps only its own few tags unless told to keep any key.
    if (format->priv_data && av_opt_find(format->priv_data, "movflags", nullptr, 0, 0))
        av_opt_set(format->priv_data, "movflags", "+use_metadata_tags", 0);
}

}  // namespace

struct MovieWriter::State {
    std::string path;
    int fps = 0;
    std::vector<int16_t> ownedMusic;  // music decoded from a file
    OutputFile file;
    VideoTrack video;
    std::unique_ptr<AudioTrack> audio;  // null: no audio track

    // Hand-over between writeFrame and the encoder thread, guarded by `lock`.
    std::mutex lock;
    std::condition_variable changed;
    std::vector<uint8_t> slots[kFrameSlots];  // picture copies, allocated at open
    int queue[kFrameSlots] = {};  // filled slots in order, from queueHead
    int queueHead = 0;
    int queued = 0;
    int freeSlots[kFrameSlots] = {};
    int freeCount = 0;
    int slotCount = kFrameSlots;
    bool closing = false;
    std::string error;  // the first failure
    int64_t accepted = 0;  // frames taken by writeFrame

    int64_t encoded = 0;  // encoder thread: frames encoded
    std::thread worker;

    void fail(const std::string& why) {
        std::lock_guard<std::mutex> guard(lock);
        if (error.empty()) error = path + ": " + why;
        changed.notify_all();
    }
    bool failed() {
        std::lock_guard<std::mutex> guard(lock);
        return !error.empty();
    }
    void run();
    bool encodeOne(const uint8_t* rgb);
};

bool MovieWriter::State::encodeOne(const uint8_t* rgb) {
    std::string why;
    if (!video.encode(file.format, rgb, why)) {
        fail(why);
        return false;
    }
    ++encoded;
    if (audio && !audio->encodeUntil(file.format, encoded * kMusicRate / fps, false, why)) {
        fail(why);
        return false;
    }
    return true;
}

void MovieWriter::State::run() {
    bool healthy = true;
    for (;;) {
        int slot;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return queued > 0 || closing; });
            if (queued == 0) return;
            slot = queue[queueHead];
            queueHead = (queueHead + 1) % slotCount;
            --queued;
        }
        // After a failure the pictures are only taken off the queue, so no caller waits.
        if (healthy) healthy = encodeOne(slots[slot].data());
        std::lock_guard<std::mutex> guard(lock);
        freeSlots[freeCount++] = slot;
        changed.notify_all();
    }
}

MovieWriter::MovieWriter() = default;

MovieWriter::~MovieWriter() {
    std::string ignored;
    if (state_) close(ignored);
}

bool MovieWriter::open(const char* path, int width, int height, int fps,
                       const char* musicPath, int musicStartMs, std::string& error,
                       const MovieOptions& options) {
    std::vector<int16_t> music;
    std::string why;
    if (!platformDecodeAudio(musicPath, kMusicRate, 2, music, why)) {
        error = std::string(path) + ": no music for the movie: " + why;
        return false;
    }
    return start(path, width, height, fps, std::move(music), nullptr, musicStartMs, options,
                 error);
}

bool MovieWriter::open(const char* path, int width, int height, int fps,
                       const std::vector<int16_t>& music, int musicStartMs,
                       std::string& error, const MovieOptions& options) {
    return start(path, width, height, fps, {}, &music, musicStartMs, options, error);
}

// `music` null: the movie's music is `ownedMusic`.
bool MovieWriter::start(const char* path, int width, int height, int fps,
                        std::vector<int16_t> ownedMusic, const std::vector<int16_t>* music,
                        int musicStartMs, const MovieOptions& options, std::string& error) {
    if (state_) close(error);
    state_ = std::make_unique<State>();
    State& s = *state_;
    s.path = path;
    s.fps = fps;
    s.ownedMusic = std::move(ownedMusic);
    if (!music) music = &s.ownedMusic;
    if (width < 2 || height < 2 || fps <= 0 || options.crf < 0 || options.crf > 51) {
        error = s.path + ": bad movie size " + std::to_string(width) + "x" +
                std::to_string(height) + " at " + std::to_string(fps) + " fps, crf " +
                std::to_string(options.crf);
        state_.reset();
        return false;
    }

    std::string why;
    // Until close() finishes it, an interrupted run must not leave it looking complete.
    platformFileUnfinished(path);
    bool ok = s.file.create(path, nullptr, why);
    if (ok && options.fromSeconds >= 0) tagStretch(s.file.format, options.fromSeconds);
    if (ok) {
        // H.264 wants even sizes; an odd row or column is scaled away.
        const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
        const bool h264 = encoder != nullptr;
        if (!h264) encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        ok = encoder != nullptr;
        if (!ok) why = "no H.264 or MPEG-4 video encoder";
        if (ok)
            ok = s.video.create(s.file.format, encoder, AV_PIX_FMT_YUV420P, width, height,
                                width & ~1, height & ~1, AVRational{fps, 1}, why);
        if (ok) {
            s.video.codec->color_range = AVCOL_RANGE_MPEG;  // what players expect
            AVDictionary* settings = nullptr;
            if (h264) {
                // Quick enough to keep up with a software renderer on two cores.
                av_dict_set(&settings, "preset", "veryfast", 0);
                // One encoding thread outpaces a software renderer at every size, and
                // each further thread holds frames of its own. Above 1080p the
                // look-ahead and B-frames would hold some 450 MB of 4K frames: without
                // them files are about two thirds larger at the same crf.
                const bool large = int64_t(width) * height > 1920 * 1080;
                av_dict_set(&settings, "x264-params",
                            large ? "threads=1:rc-lookahead=0:bframes=0" : "threads=1", 0);
                av_dict_set(&settings, "crf", std::to_string(options.crf).c_str(), 0);
                // What players expect up to 3840 x 2160 at 60 fps.
                s.video.codec->level = 52;
            } else {
                s.video.codec->flags |= AV_CODEC_FLAG_QSCALE;
                s.video.codec->global_quality = FF_QP2LAMBDA * 3;
            }
            ok = s.video.finishOpen(&settings, why);
            av_dict_free(&settings);
        }
    }
    if (ok && !music->empty()) {
        s.audio = std::make_unique<AudioTrack>();
        s.audio->music = music;
        s.audio->musicStart = int64_t(musicStartMs) * kMusicRate / 1000;
        ok = s.audio->open(s.file.format, why);
    }
    if (ok) ok = s.file.begin(path, why);
    if (!ok) {
        error = s.path + ": " + why;
        state_.reset();
        removePartialFile(path);
        platformFileFinished(path);
        return false;
    }

    const size_t frameBytes = size_t(width) * height * 3;
    s.slotCount = int(std::clamp<size_t>(kSlotBytes / frameBytes, 1, kFrameSlots));
    for (int i = 0; i < s.slotCount; ++i) {
        s.slots[i].resize(frameBytes);
        s.freeSlots[i] = i;
    }
    s.freeCount = s.slotCount;
    s.worker = std::thread([&s] { s.run(); });
    return true;
}

bool MovieWriter::writeFrame(const uint8_t* rgb, bool bottomUp) {
    if (!state_) return false;
    State& s = *state_;
    int slot;
    {
        std::unique_lock<std::mutex> guard(s.lock);
        s.changed.wait(guard, [&] { return s.freeCount > 0 || !s.error.empty(); });
        if (!s.error.empty()) return false;
        slot = s.freeSlots[--s.freeCount];
    }
    std::vector<uint8_t>& copy = s.slots[slot];
    if (bottomUp) {
        const size_t rowBytes = copy.size() / size_t(s.video.height);
        for (int row = 0; row < s.video.height; ++row)
            std::memcpy(copy.data() + rowBytes * row,
                        rgb + rowBytes * size_t(s.video.height - 1 - row), rowBytes);
    } else {
        std::memcpy(copy.data(), rgb, copy.size());
    }
    std::lock_guard<std::mutex> guard(s.lock);
    s.queue[(s.queueHead + s.queued) % s.slotCount] = slot;
    ++s.queued;
    ++s.accepted;
    s.changed.notify_all();
    return true;
}

int MovieWriter::framesWritten() const {
    if (!state_) return 0;
    std::lock_guard<std::mutex> guard(state_->lock);
    return int(state_->accepted);
}

bool MovieWriter::close(std::string& error) {
    if (!state_) {
        error = "movie writer: close without a successful open";
        return false;
    }
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.closing = true;
        s.changed.notify_all();
    }
    s.worker.join();

    std::string why;
    bool ok = !s.failed();
    if (ok) ok = s.video.flush(s.file.format, why);
    if (ok && s.audio) {
        ok = s.audio->encodeUntil(s.file.format, s.encoded * kMusicRate / s.fps, true, why) &&
             encodeAndWrite(s.file.format, s.audio->codec, s.audio->stream, s.audio->packet,
                            nullptr, why);
    }
    ok = s.file.end(s.path, s.error, ok, why, error);
    platformFileFinished(s.path.c_str());
    state_.reset();
    return ok;
}

// ---- Joining parts ------------------------------------------------------------------

namespace {

struct InputFile {
    AVFormatContext* format = nullptr;
    ~InputFile() { avformat_close_input(&format); }
};

// What a part must agree on with the others, read from its header and its packets.
struct PartFacts {
    std::string name;
    double from = 0;        // demo seconds of its first frame
    AVRational rate{0, 1};  // frames per second
    int64_t frames = 0;
    AVCodecParameters* video = nullptr;  // owned copy

    ~PartFacts() { avcodec_parameters_free(&video); }
};

// Opens a part and finds its video stream; `error` names the part.
bool openPart(const char* path, InputFile& input, int& videoIndex, std::string& error) {
    ffmpegQuietLogs();
    int rc = avformat_open_input(&input.format, path, nullptr, nullptr);
    if (rc >= 0) rc = avformat_find_stream_info(input.format, nullptr);
    if (rc < 0) {
        error = std::string(path) + ": cannot read the movie: " + ffmpegErrorText(rc);
        return false;
    }
    videoIndex = av_find_best_stream(input.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoIndex < 0) {
        error = std::string(path) + ": has no video";
        return false;
    }
    return true;
}

bool readPartFacts(const char* path, PartFacts& facts, std::string& error) {
    facts.name = path;
    InputFile input;
    int videoIndex = -1;
    if (!openPart(path, input, videoIndex, error)) return false;
    const AVDictionaryEntry* from = av_dict_get(input.format->metadata, kFromTag, nullptr, 0);
    char* end = nullptr;
    if (from) facts.from = std::strtod(from->value, &end);
    if (!from || end == from->value || *end != '\0' || !std::isfinite(facts.from)) {
        error = facts.name + ": does not say which stretch of the production it holds "
                             "(render parts with --render PART.mp4 --from A --to B)";
        return false;
    }
    const AVStream* stream = input.format->streams[videoIndex];
    facts.rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    facts.video = avcodec_parameters_alloc();
    if (!facts.video || avcodec_parameters_copy(facts.video, stream->codecpar) < 0) {
        error = "out of memory";
        return false;
    }
    AVPacket* packet = av_packet_alloc();
    while (packet && av_read_frame(input.format, packet) >= 0) {
        facts.frames += packet->stream_index == videoIndex;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return true;
}

std::string describe(const PartFacts& part) {
    const char* codec = avcodec_get_name(part.video->codec_id);
    char text[96];
    std::snprintf(text, sizeof text, "%dx%d at %d/%d fps, %s", part.video->width,
                  part.video->height, part.rate.num, part.rate.den, codec);
    return text;
}

// Why `next` cannot follow `previous`; empty when it can.
std::string refusal(const PartFacts& previous, const PartFacts& next) {
    const AVCodecParameters& a = *previous.video;
    const AVCodecParameters& b = *next.video;
    const bool sameSettings = a.extradata_size == b.extradata_size &&
                              (a.extradata_size == 0 ||
                               std::memcmp(a.extradata, b.extradata, a.extradata_size) == 0);
    if (a.codec_id != b.codec_id || a.width != b.width || a.height != b.height ||
        av_cmp_q(previous.rate, next.rate) != 0)
        return next.name + ": " + describe(next) + ", but " + previous.name + " is " +
               describe(previous) + ": parts must have the same size and rate";
    if (!sameSettings)
        return next.name + ": encoded with other settings than " + previous.name +
               " (--crf must be the same for every part)";
    // The next part's first frame must be the frame after the previous part's last one.
    const double endsMs =
        previous.from * 1000.0 + previous.frames * 1000.0 * previous.rate.den / previous.rate.num;
    if (std::fabs(next.from * 1000.0 - endsMs) > 0.01) {
        char text[160];
        std::snprintf(text, sizeof text,
                      ": starts at %.3f s, but %s ends at %.3f s: parts must adjoin, in order",
                      next.from, previous.name.c_str(), endsMs / 1000.0);
        return next.name + text;
    }
    return {};
}

bool samePath(const char* a, const char* b) {
    std::error_code failure;
    return std::strcmp(a, b) == 0 || std::filesystem::equivalent(a, b, failure);
}

}  // namespace

bool platformJoinMovies(const char* output, const std::vector<const char*>& parts,
                        const std::vector<int16_t>& music, int64_t& frames,
                        std::string& error) {
    frames = 0;
    const std::string outputName = output;
    if (parts.empty()) {
        error = outputName + ": no parts to join";
        return false;
    }
    std::vector<PartFacts> facts(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        if (samePath(output, parts[i])) {
            error = outputName + ": is also one of the parts";
            return false;
        }
        if (!readPartFacts(parts[i], facts[i], error)) return false;
        if (facts[i].frames == 0 || facts[i].rate.num <= 0) {
            error = facts[i].name + ": holds no frames at a known rate";
            return false;
        }
        if (i > 0) {
            error = refusal(facts[i - 1], facts[i]);
            if (!error.empty()) return false;
        }
    }
    const PartFacts& first = facts.front();
    const AVRational frameTime{first.rate.den, first.rate.num};

    OutputFile file;
    std::string why;
    bool ok = file.create(output, nullptr, why);
    AVStream* video = ok ? avformat_new_stream(file.format, nullptr) : nullptr;
    if (ok && (!video || avcodec_parameters_copy(video->codecpar, first.video) < 0)) {
        ok = false;
        why = "out of memory";
    }
    if (ok) {
        video->codecpar->codec_tag = 0;  // the output container picks its own
        video->time_base = frameTime;
        video->avg_frame_rate = first.rate;
        tagStretch(file.format, first.from);
    }
    std::unique_ptr<AudioTrack> audio;
    if (ok && !music.empty()) {
        audio = std::make_unique<AudioTrack>();
        audio->music = &music;
        audio->musicStart = std::llround(first.from * 1000.0) * kMusicRate / 1000;
        ok = audio->open(file.format, why);
    }
    if (ok) ok = file.begin(output, why);

    // Each picture's time is its frame on the whole stretch's grid: the part's own time
    // rounded to its frame (Matroska keeps milliseconds) plus the frames before the
    // part. Decoding times are counted out afresh, the reorder delay before the picture
    // times, as not every container keeps them.
    AVPacket* packet = ok ? av_packet_alloc() : nullptr;
    if (ok && !packet) {
        ok = false;
        why = "out of memory";
    }
    std::string partError;
    for (size_t i = 0; ok && i < parts.size(); ++i) {
        InputFile input;
        int videoIndex = -1;
        if (!openPart(parts[i], input, videoIndex, partError)) {
            ok = false;
            break;
        }
        const AVStream* stream = input.format->streams[videoIndex];
        const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
        const int delay = stream->codecpar->video_delay;
        int64_t copied = 0;
        while (ok && av_read_frame(input.format, packet) >= 0) {
            if (packet->stream_index == videoIndex && packet->pts == AV_NOPTS_VALUE) {
                ok = false;
                why = std::string(parts[i]) + ": a picture without a time";
            } else if (packet->stream_index == videoIndex) {
                const int64_t frame = av_rescale_q_rnd(
                    packet->pts - start, stream->time_base, frameTime,
                    AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
                packet->pts = av_rescale_q(frames + frame, frameTime, video->time_base);
                packet->dts =
                    av_rescale_q(frames + copied - delay, frameTime, video->time_base);
                packet->duration = av_rescale_q(1, frameTime, video->time_base);
                packet->stream_index = video->index;
                packet->pos = -1;
                const int rc = av_interleaved_write_frame(file.format, packet);
                if (rc < 0) {
                    ok = false;
                    why = "writing failed: " + ffmpegErrorText(rc);
                }
                ++copied;
                if (ok && audio)
                    ok = audio->encodeUntil(file.format,
                                            (frames + copied) * kMusicRate * first.rate.den /
                                                first.rate.num,
                                            false, why);
            }
            av_packet_unref(packet);
        }
        frames += copied;
    }
    av_packet_free(&packet);
    if (ok && audio) {
        ok = audio->encodeUntil(file.format, frames * kMusicRate * first.rate.den / first.rate.num,
                                true, why) &&
             encodeAndWrite(file.format, audio->codec, audio->stream, audio->packet, nullptr,
                            why);
    }
    return file.end(outputName, partError, ok, why, error);
}
