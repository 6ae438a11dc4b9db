// SPDX-License-Identifier: GPL-3.0-or-later
// quaymark-thumbnail CLIP: writes one JPEG frame from about a tenth into the clip, 320 px wide,
// to standard output. Run one clip at a time by the report, so that a decoder that crashes or
// hangs on a damaged clip costs only that preview.
// Exit status: 0 a JPEG was written, 3 no decoder for the clip's video, 4 it could not be read
// or decoded, 2 wrong use.

#include "report/ClipInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace quaymark::report;

namespace {

constexpr int thumbnailWidth = 320;
constexpr int exitNoDecoder = 3;
constexpr int exitUnreadable = 4;

struct CodecFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScaleFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
using Codec = std::unique_ptr<AVCodecContext, CodecFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;

struct Decoder {
    Codec codec;
    int stream = -1;
    int status = 0;
};

Decoder openDecoder(AVFormatContext& input) {
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(&input, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream == AVERROR_DECODER_NOT_FOUND || (stream >= 0 && !decoder)) {
        return {nullptr, -1, exitNoDecoder};
    }
    if (stream < 0) {
        return {nullptr, -1, exitUnreadable};
    }
    Codec codec{avcodec_alloc_context3(decoder)};
    if (!codec || avcodec_parameters_to_context(codec.get(), input.streams[stream]->codecpar) < 0 ||
        avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return {nullptr, -1, exitNoDecoder};
    }
    return {std::move(codec), stream, 0};
}

// The key frame at or before a tenth of the clip: one decoded frame, never a long run of them.
Frame firstFrameFrom(AVFormatContext& input, Decoder& decoder) {
    const AVStream* stream = input.streams[decoder.stream];
    if (input.duration > 0) {
        const std::int64_t at =
            av_rescale_q(input.duration / 10, AVRational{1, AV_TIME_BASE}, stream->time_base);
        av_seek_frame(&input, decoder.stream, at, AVSEEK_FLAG_BACKWARD);
    }
    Frame frame{av_frame_alloc()};
    Packet packet{av_packet_alloc()};
    for (int packets = 0; frame && packet && packets < 2000; ++packets) {
        const int read = av_read_frame(&input, packet.get());
        if (read >= 0 && packet->stream_index != decoder.stream) {
            av_packet_unref(packet.get());
            continue;
        }
        // At the end the decoder is drained: a clip of one frame still gives it.
        avcodec_send_packet(decoder.codec.get(), read >= 0 ? packet.get() : nullptr);
        av_packet_unref(packet.get());
        if (avcodec_receive_frame(decoder.codec.get(), frame.get()) == 0) {
            return frame;
        }
        if (read < 0) {
            break;
        }
    }
    return nullptr;
}

int scaledHeight(const AVFrame& frame) {
    const double aspect = frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0
                              ? av_q2d(frame.sample_aspect_ratio)
                              : 1.0;
    const double height = thumbnailWidth * frame.height / (frame.width * aspect);
    return std::max(2, static_cast<int>(std::lround(height / 2)) * 2);
}

Frame scaled(const AVFrame& frame) {
    Frame out{av_frame_alloc()};
    if (!out || frame.width <= 0 || frame.height <= 0) {
        return nullptr;
    }
    out->format = AV_PIX_FMT_YUVJ420P;
    out->width = thumbnailWidth;
    out->height = scaledHeight(frame);
    const std::unique_ptr<SwsContext, ScaleFree> scale{sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), out->width,
        out->height, AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr)};
    if (!scale || av_frame_get_buffer(out.get(), 0) < 0 ||
        sws_scale(scale.get(), frame.data, frame.linesize, 0, frame.height, out->data,
                  out->linesize) <= 0) {
        return nullptr;
    }
    return out;
}

bool writeJpeg(AVFrame& frame) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    Codec codec{encoder ? avcodec_alloc_context3(encoder) : nullptr};
    if (!codec) {
        return false;
    }
    codec->width = frame.width;
    codec->height = frame.height;
    codec->pix_fmt = AV_PIX_FMT_YUVJ420P;
    codec->time_base = AVRational{1, 25};
    codec->flags |= AV_CODEC_FLAG_QSCALE;
    frame.quality = FF_QP2LAMBDA * 4;
    frame.pts = 0;
    Packet packet{av_packet_alloc()};
    if (!packet || avcodec_open2(codec.get(), encoder, nullptr) < 0 ||
        avcodec_send_frame(codec.get(), &frame) < 0 ||
        avcodec_receive_packet(codec.get(), packet.get()) < 0) {
        return false;
    }
    return std::fwrite(packet->data, 1, static_cast<std::size_t>(packet->size), stdout) ==
               static_cast<std::size_t>(packet->size) &&
           std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quaymark-thumbnail CLIP > preview.jpg\n", stderr);
        return 2;
    }
    av_log_set_level(AV_LOG_QUIET);
    ClipDeadline deadline{std::chrono::steady_clock::now() + std::chrono::minutes(1)};
    const OpenInput input = openClip(argv[1], deadline);
    if (!input) {
        return exitUnreadable;
    }
    Decoder decoder = openDecoder(*input);
    if (!decoder.codec) {
        return decoder.status;
    }
    const Frame frame = firstFrameFrom(*input, decoder);
    const Frame small = frame ? scaled(*frame) : nullptr;
    return small && writeJpeg(*small) ? 0 : exitUnreadable;
}
