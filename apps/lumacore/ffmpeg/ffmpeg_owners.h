// Owners of FFmpeg objects, shared by the decoder and the video encoder: each frees its object
// with the function FFmpeg provides for it, so every object has exactly one owner and none leaks
// on an early return or an exception.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace lumacore::cli {

namespace ffmpeg_free {
struct InputFormat { // opened with avformat_open_input
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputFormat { // made with avformat_alloc_output_context2, its file opened by avio_open
    void operator()(AVFormatContext* context) const {
        avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct Codec {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct Frame {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct Packet {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct Resampler {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct Scaler {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct AudioFifo {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
} // namespace ffmpeg_free

using InputFormatPtr = std::unique_ptr<AVFormatContext, ffmpeg_free::InputFormat>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, ffmpeg_free::OutputFormat>;
using CodecPtr = std::unique_ptr<AVCodecContext, ffmpeg_free::Codec>;
using FramePtr = std::unique_ptr<AVFrame, ffmpeg_free::Frame>;
using PacketPtr = std::unique_ptr<AVPacket, ffmpeg_free::Packet>;
using ResamplerPtr = std::unique_ptr<SwrContext, ffmpeg_free::Resampler>;
using ScalerPtr = std::unique_ptr<SwsContext, ffmpeg_free::Scaler>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, ffmpeg_free::AudioFifo>;

class Dictionary {
  public:
    Dictionary() = default;
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    ~Dictionary() { av_dict_free(&dictionary_); }
    AVDictionary** address() { return &dictionary_; }

  private:
    AVDictionary* dictionary_ = nullptr;
};

class ChannelLayout {
  public:
    ChannelLayout() = default;
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    AVChannelLayout* get() { return &layout_; }
    const AVChannelLayout* get() const { return &layout_; }

  private:
    AVChannelLayout layout_{};
};

} // namespace lumacore::cli
