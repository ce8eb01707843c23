// Video clips decoded frame by frame on demand with libavformat/libavcodec, scaled
// with libswscale into bottom-up BGR rows (the layout GL_BGR uploads upright).
#include "platform/FFmpeg.h"
#include "platform/Platform.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {
const int kLost = -2;  // the read position is unknown: the next decode must seek
}

struct VideoDecoder::State {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scale = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;       // the most recently decoded picture
    int stream = -1;
    AVRational timeBase{1, 1};      // of the stream's timestamps
    AVRational frameTime{1, 25};    // seconds per frame
    int64_t startPts = 0;           // timestamp of frame 0
    int frameCount = 0;
    int frameDurationMs = 0;
    int decodedIndex = -1;          // index of `frame`; -1 before the first, kLost after a failure
    std::vector<uint8_t> scratch;   // scaled picture, top row first, before the flip
    std::array<int, 7> scaleSetup{};  // the conversion `scale` was last set up for
    bool draining = false;          // the demuxer hit the end; the decoder is flushing

    ~State() {
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    // A damaged file can stamp its pictures anywhere in 64 bits; kept well inside int,
    // the index and the one after it stay plain numbers.
    static int clampIndex(int64_t index) {
        return int(std::clamp<int64_t>(index, -1, std::numeric_limits<int>::max() / 2));
    }
    int indexOf(int64_t pts) const {
        int64_t offset;
        if (__builtin_sub_overflow(pts, startPts, &offset))
            return clampIndex(pts > startPts ? INT64_MAX : -1);
        return clampIndex(av_rescale_q_rnd(offset, timeBase, frameTime,
                                           AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX)));
    }
    bool seekTo(int index);
    bool decodeNext();
    int countPackets();
};

namespace {

// The JPEG-range pixel formats are deprecated in libswscale; it wants the plain format
// with the range given separately.
AVPixelFormat plainFormat(AVPixelFormat format, bool& fullRange) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
    default: return format;
    }
}

}  // namespace

bool VideoDecoder::State::seekTo(int index) {
    int64_t target;
    if (__builtin_add_overflow(startPts, av_rescale_q(index, frameTime, timeBase), &target))
        return false;  // a time no stream of this file reaches
    if (av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(format, stream, startPts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    avcodec_flush_buffers(codec);
    draining = false;
    decodedIndex = -1;
    return true;
}

// Decodes the picture that follows the current one; false at the end of the stream.
bool VideoDecoder::State::decodeNext() {
    for (;;) {
        int rc = avcodec_receive_frame(codec, frame);
        if (rc == 0) {
            const int64_t pts = frame->best_effort_timestamp;
            decodedIndex =
                pts == AV_NOPTS_VALUE ? clampIndex(int64_t(decodedIndex) + 1) : indexOf(pts);
            return true;
        }
        if (rc != AVERROR(EAGAIN)) return false;  // end of stream or a broken decoder
        if (draining) return false;
        rc = av_read_frame(format, packet);
        if (rc < 0) {
            draining = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        // A damaged packet loses its picture; the next one decodes.
        if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
    }
}

// For containers that do not state a frame count: one pass over the packets.
int VideoDecoder::State::countPackets() {
    int count = 0;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) ++count;
        av_packet_unref(packet);
    }
    av_seek_frame(format, stream, startPts, AVSEEK_FLAG_BACKWARD);
    return count;
}

VideoDecoder::VideoDecoder() = default;
VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::open(const char* path, std::string& error) {
    ffmpegQuietLogs();
    state_.reset();
    auto s = std::make_unique<State>();
    const std::string name = path;
    int rc = avformat_open_input(&s->format, path, nullptr, nullptr);
    if (rc < 0) {
        error = name + ": " + ffmpegErrorText(rc);
        return false;
    }
    rc = avformat_find_stream_info(s->format, nullptr);
    if (rc < 0) {
        error = name + ": " + ffmpegErrorText(rc);
        return false;
    }
    const AVCodec* decoder = nullptr;
    s->stream = av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s->stream < 0) {
        error = name + ": no video stream";
        return false;
    }
    AVStream* st = s->format->streams[s->stream];
    if (!decoder) {
        error = name + ": no decoder for its " + avcodec_get_name(st->codecpar->codec_id) +
                " video";
        return false;
    }
    s->codec = avcodec_alloc_context3(decoder);
    s->packet = av_packet_alloc();
    s->frame = av_frame_alloc();
    if (!s->codec || !s->packet || !s->frame ||
        avcodec_parameters_to_context(s->codec, st->codecpar) < 0 ||
        avcodec_open2(s->codec, decoder, nullptr) < 0) {
        error = name + ": cannot open the " + decoder->name + " decoder";
        return false;
    }
    if (s->codec->width <= 0 || s->codec->height <= 0) {
        error = name + ": the video has no picture size";
        return false;
    }

    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{st->time_base.den, st->time_base.num};
    if (rate.num <= 0 || rate.den <= 0) {
        error = name + ": the video has no frame rate";
        return false;
    }
    s->timeBase = st->time_base;
    s->frameTime = AVRational{rate.den, rate.num};
    s->startPts = st->start_time == AV_NOPTS_VALUE ? 0 : st->start_time;

    int64_t count = st->nb_frames;
    if (count <= 0) {
        count = s->countPackets();
        s->decodedIndex = kLost;  // the count read to the end: start again by seeking
    }
    if (count <= 0 || count > INT32_MAX) {
        error = name + ": the video has no frames";
        return false;
    }
    s->frameCount = int(count);
    // Whole milliseconds of the whole clip, shared out per frame and truncated: a
    // 29.97 fps clip gets 33 ms.
    const int64_t totalMs = av_rescale(count, int64_t(1000) * rate.den, rate.num);
    s->frameDurationMs = int(totalMs / count);
    state_ = std::move(s);
    return true;
}

bool VideoDecoder::isOpen() const { return state_ != nullptr; }
int VideoDecoder::frameCount() const { return state_ ? state_->frameCount : 0; }
int VideoDecoder::frameDurationMs() const { return state_ ? state_->frameDurationMs : 0; }
int VideoDecoder::width() const { return state_ ? state_->codec->width : 0; }
int VideoDecoder::height() const { return state_ ? state_->codec->height : 0; }

bool VideoDecoder::decodeFrame(int index, uint8_t* bgr, int dstWidth, int dstHeight) {
    if (!state_ || !bgr || index < 0 || index >= state_->frameCount || dstWidth <= 0 ||
        dstHeight <= 0)
        return false;
    State& s = *state_;
    if (index != s.decodedIndex) {
        if (index != s.decodedIndex + 1 && !s.seekTo(index)) return false;
        // Seeking lands on the key frame at or before the target; decode up to it.
        do {
            if (!s.decodeNext()) {
                s.decodedIndex = kLost;
                return false;
            }
        } while (s.decodedIndex < index);
    }

    bool fullRange = s.frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = plainFormat(AVPixelFormat(s.frame->format), fullRange);
    s.scale = sws_getCachedContext(s.scale, s.frame->width, s.frame->height, source,
                                   dstWidth, dstHeight, AV_PIX_FMT_BGR24, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    if (!s.scale) return false;
    const bool bt709 = s.frame->colorspace == AVCOL_SPC_BT709;
    const std::array<int, 7> setup{int(source) + 1, fullRange, bt709, s.frame->width,
                                   s.frame->height, dstWidth, dstHeight};
    if (setup != s.scaleSetup) {
        const int* matrix = sws_getCoefficients(bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
        sws_setColorspaceDetails(s.scale, matrix, fullRange ? 1 : 0, matrix, 1, 0, 1 << 16,
                                 1 << 16);
        s.scaleSetup = setup;
    }
    // libswscale's vector paths write whole blocks past the end of a row, so it scales
    // into a roomy scratch picture; the rows are then copied bottom row first.
    const int rowBytes = dstWidth * 3;
    const int scratchStride = (rowBytes + 63) & ~63;
    const size_t scratchBytes = size_t(scratchStride) * dstHeight + 64;
    if (s.scratch.size() < scratchBytes) s.scratch.resize(scratchBytes);
    uint8_t* dst[1] = {s.scratch.data()};
    const int dstStride[1] = {scratchStride};
    sws_scale(s.scale, s.frame->data, s.frame->linesize, 0, s.frame->height, dst, dstStride);
    const int stride = (rowBytes + 3) & ~3;
    for (int y = 0; y < dstHeight; ++y) {
        uint8_t* row = bgr + size_t(dstHeight - 1 - y) * stride;
        std::memcpy(row, s.scratch.data() + size_t(y) * scratchStride, size_t(rowBytes));
        std::memset(row + rowBytes, 0, size_t(stride - rowBytes));
    }
    return true;
}
