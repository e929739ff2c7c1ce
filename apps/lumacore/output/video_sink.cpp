// Video outputs through FFmpeg: H.264 with AAC in MP4 or Matroska, VP9 with Opus in WebM. The
// sound is read from the shared sample buffer (decoded once, for the pictures and this track
// alike) as the pictures arrive, so the two streams are encoded side by side and the muxer
// interleaves them with little buffering, however long the render is.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_owners.h"
#include "host/posix/temporary_files.h"
#include "output/pixels.h"
#include "output/sinks.h"
#include "output/yuv420.h"
#include "audio/limits.h"

namespace lumacore::cli {
namespace {

struct ContainerSpec {
    const char* format;        // FFmpeg's muxer
    AVCodecID video;           // any encoder of this codec will do, the preferred one first
    const char* videoEncoder;  // the preferred one, named in errors
    const char* videoCodec;    // for messages
    const char* audioEncoder;  // preferred
    const char* audioFallback; // FFmpeg's own, experimental encoder, or nullptr
    const char* audioCodec;
};

ContainerSpec specFor(VideoContainer container) {
    switch (container) {
    case VideoContainer::Mp4:
        return {"mp4", AV_CODEC_ID_H264, "libx264", "H.264", "aac", nullptr, "AAC"};
    case VideoContainer::Matroska:
        return {"matroska", AV_CODEC_ID_H264, "libx264", "H.264", "aac", nullptr, "AAC"};
    case VideoContainer::Mov:
        // prores_aw: four times prores_ks's speed at 1080p (docs/performance.md).
        return {"mov", AV_CODEC_ID_PRORES, "prores_aw", "ProRes 4444", "aac", nullptr, "AAC"};
    case VideoContainer::WebM:
        break;
    }
    return {"webm", AV_CODEC_ID_VP9, "libvpx-vp9", "VP9", "libopus", "opus", "Opus"};
}

// The encoder settings of each quality, chosen by measurement (docs/performance.md). Balanced:
// x264's fastest preset at a quality no lower than veryfast at crf 20 gave (files about twice
// the size), which encodes 1080p60 faster than real time on two cores. Best: the size of a
// slower preset at that quality. VP9 has no faster setting at its quality.
struct EncoderSettings {
    const char* x264Preset;
    int x264Crf;
    int vp9CpuUsed; // libvpx's real-time speed, 5 (slowest) to 8
    int vp9Crf;
};

EncoderSettings settingsFor(VideoQuality quality) {
    switch (quality) {
    case VideoQuality::Fast:
        return {"ultrafast", 26, 8, 36};
    case VideoQuality::Best:
        return {"fast", 20, 8, 24};
    case VideoQuality::Balanced:
        break;
    }
    return {"ultrafast", 23, 8, 32};
}

// The encoders to try for a codec: the preferred one, then any other FFmpeg has for it (a
// hardware encoder, say). Encoders taking RGB input do not fit a yuv420p stream.
std::vector<const AVCodec*> encoderCandidates(AVCodecID id, const char* preferred) {
    std::vector<const AVCodec*> candidates;
    if (const AVCodec* codec = avcodec_find_encoder_by_name(preferred)) candidates.push_back(codec);
    void* state = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&state)) {
        if (!av_codec_is_encoder(codec) || codec->id != id) continue;
        if (std::strcmp(codec->name, preferred) == 0 || std::strstr(codec->name, "rgb")) continue;
        candidates.push_back(codec);
    }
    return candidates;
}

// The encoder's rate nearest above the sound's (Opus has no 44.1 kHz), or the sound's own.
int chooseSampleRate(const AVCodec* codec, int soundRate) {
    if (!codec->supported_samplerates) return soundRate;
    int above = 0, below = 0;
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
        if (*rate == soundRate) return soundRate;
        if (*rate > soundRate && (above == 0 || *rate < above)) above = *rate;
        if (*rate<soundRate&& * rate> below) below = *rate;
    }
    return above ? above : below ? below : soundRate;
}

AVSampleFormat chooseSampleFormat(const AVCodec* codec) {
    if (!codec->sample_fmts) return AV_SAMPLE_FMT_FLTP;
    for (AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT})
        for (const AVSampleFormat* format = codec->sample_fmts; *format != AV_SAMPLE_FMT_NONE;
             ++format)
            if (*format == wanted) return wanted;
    return codec->sample_fmts[0];
}

class VideoSink : public FrameSink {
  public:
    VideoSink(const std::string& path, VideoContainer container, const SinkOptions& options)
        : file_(path), spec_(specFor(container)), settings_(settingsFor(options.quality)),
          scale_(options.scale), width_(options.width), height_(options.height),
          codedWidth_(options.width + (options.width & 1)),
          codedHeight_(options.height + (options.height & 1)),
          pixelFormat_(pixelFormatFor(container, options.transparent)) {
        if (options.fpsNumerator <= 0 || options.fpsDenominator <= 0)
            throw OutputError("frame rate " + std::to_string(options.fpsNumerator) + "/" +
                              std::to_string(options.fpsDenominator) + " is not positive");
        frameRate_ = {options.fpsNumerator, options.fpsDenominator};

        const std::string url = "file:" + file_.path();
        AVFormatContext* format = nullptr;
        int error = avformat_alloc_output_context2(&format, nullptr, spec_.format, url.c_str());
        if (error < 0 || !format)
            throw OutputError(std::string("FFmpeg cannot write ") + spec_.format + ": " +
                              errorText(error, &log_));
        format_.reset(format);
        log_.watch(format);

        openVideoEncoder();
        if (options.sound) startSound(options.sound, options.soundFrom, options.durationSeconds);
        if (sound_) openAudioEncoder();

        error = avio_open(&format_->pb, url.c_str(), AVIO_FLAG_WRITE);
        if (error < 0) fail(error);
        log_.watch(format_->pb);
        AVDictionary* muxerOptions = nullptr;
        if (container == VideoContainer::Mp4)
            av_dict_set(&muxerOptions, "movflags", "+faststart", 0); // playable while loading
        error = avformat_write_header(format_.get(), &muxerOptions);
        av_dict_free(&muxerOptions);
        if (error < 0) fail(error);

        packet_.reset(av_packet_alloc());
        picture_.reset(av_frame_alloc());
        if (!packet_ || !picture_) throw OutputError("out of memory");
        picture_->format = pixelFormat_;
        picture_->width = codedWidth_;
        picture_->height = codedHeight_;
        if ((error = av_frame_get_buffer(picture_.get(), 0)) < 0) fail(error);
    }

    void write(const Bitmap& picture) override {
        if (finished_) throw OutputError("'" + file_.target() + "' is already finished");
        // The bitmap's rows as they are when nothing needs enlarging or padding.
        const std::uint32_t* source = picture.row(0);
        std::ptrdiff_t stride = picture.stride();
        if (scale_ != 1 || codedWidth_ != width_ || codedHeight_ != height_) {
            enlarge(picture, scale_, codedWidth_, codedHeight_, enlarged_);
            source = enlarged_.data();
            stride = codedWidth_;
        }
        int error = av_frame_make_writable(picture_.get());
        if (error < 0) fail(error);
        if (pixelFormat_ == AV_PIX_FMT_YUV420P)
            toYuv420(source, stride, codedWidth_, codedHeight_,
                     {{picture_->data[0], picture_->data[1], picture_->data[2]},
                      {picture_->linesize[0], picture_->linesize[1], picture_->linesize[2]}});
        else
            scale(source, stride);
        picture_->pts = frames_++;
        encode(video_.get(), videoStream_, picture_.get());
        if (sound_)
            pumpAudio(av_rescale_rnd(frames_,
                                     static_cast<std::int64_t>(frameRate_.den) * soundRate_,
                                     frameRate_.num, AV_ROUND_UP));
    }

    void finish() override {
        if (finished_) return;
        if (frames_ == 0) throw OutputError("no picture was written to '" + file_.target() + "'");
        if (sound_) {
            pumpAudio(-1);
            resample(nullptr, 0); // what the resampler still holds
            encodeAudio(true);
            encode(audio_.get(), audioStream_, nullptr);
        }
        encode(video_.get(), videoStream_, nullptr);
        int error = av_write_trailer(format_.get());
        if (error < 0) fail(error);
        if ((error = avio_closep(&format_->pb)) < 0) fail(error);
        file_.commit();
        finished_ = true;
    }

  private:
    // H.264 and VP9 in 4:2:0, VP9 with an alpha plane, ProRes 4444 with or without one.
    static AVPixelFormat pixelFormatFor(VideoContainer container, bool alpha) {
        if (container == VideoContainer::Mov)
            return alpha ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV444P10LE;
        return alpha ? AV_PIX_FMT_YUVA420P : AV_PIX_FMT_YUV420P;
    }
    bool alpha() const {
        return pixelFormat_ == AV_PIX_FMT_YUVA420P || pixelFormat_ == AV_PIX_FMT_YUVA444P10LE;
    }

    // The formats without a converter of our own go through libswscale: the words as they are,
    // or, with an alpha plane, as unassociated R, G, B, A; full-range BT.709 in, limited out,
    // like the 4:2:0 converter.
    void scale(const std::uint32_t* words, std::ptrdiff_t stride) {
        const AVPixelFormat from = alpha() ? AV_PIX_FMT_RGBA : AV_PIX_FMT_0RGB32;
        if (!scaler_) {
            scaler_.reset(sws_getContext(
                codedWidth_, codedHeight_, from, codedWidth_, codedHeight_, pixelFormat_,
                SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr));
            if (!scaler_)
                throw OutputError("cannot convert the pictures for '" + file_.target() + "'");
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(scaler_.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        }
        const std::uint8_t* planes[1];
        int strides[1];
        if (alpha()) {
            const std::size_t count = static_cast<std::size_t>(codedWidth_) * codedHeight_;
            rgba_.resize(4 * count);
            if (stride == codedWidth_) {
                straightRgba(words, count, rgba_.data());
            } else {
                for (int y = 0; y < codedHeight_; ++y)
                    straightRgba(words + y * stride, codedWidth_,
                                 rgba_.data() + 4 * y * codedWidth_);
            }
            planes[0] = rgba_.data();
            strides[0] = 4 * codedWidth_;
        } else {
            planes[0] = reinterpret_cast<const std::uint8_t*>(words);
            strides[0] = static_cast<int>(stride * sizeof *words);
        }
        sws_scale(scaler_.get(), planes, strides, 0, codedHeight_, picture_->data,
                  picture_->linesize);
    }

    [[noreturn]] void fail(int error) const {
        throw OutputError("cannot write '" + file_.target() + "': " + errorText(error, &log_));
    }

    AVStream* addStream(AVCodecContext* codec) {
        AVStream* stream = avformat_new_stream(format_.get(), nullptr);
        if (!stream) throw OutputError("out of memory");
        const int error = avcodec_parameters_from_context(stream->codecpar, codec);
        if (error < 0) fail(error);
        stream->time_base = codec->time_base;
        return stream;
    }

    void openVideoEncoder() {
        const auto candidates = encoderCandidates(spec_.video, spec_.videoEncoder);
        std::string lastError = "not in this FFmpeg";
        for (const AVCodec* codec : candidates) {
            CodecPtr context(avcodec_alloc_context3(codec));
            if (!context) throw OutputError("out of memory");
            log_.watch(context.get());
            context->width = codedWidth_;
            context->height = codedHeight_;
            context->pix_fmt = pixelFormat_;
            context->time_base = av_inv_q(frameRate_);
            context->framerate = frameRate_;
            context->sample_aspect_ratio = {1, 1};
            context->color_range = AVCOL_RANGE_MPEG;
            context->colorspace = AVCOL_SPC_BT709;
            context->color_primaries = AVCOL_PRI_BT709;
            context->color_trc = AVCOL_TRC_BT709;
            // Three frame threads: with two, both cores idle whenever the output's thread
            // waits for one; a third keeps them busy for about 12 MB more at 1080p.
            context->thread_count = 3;
            if (format_->oformat->flags & AVFMT_GLOBALHEADER)
                context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            const std::string name = codec->name;
            if (name == "libx264") {
                av_opt_set(context->priv_data, "preset", settings_.x264Preset, 0);
                av_opt_set_int(context->priv_data, "crf", settings_.x264Crf, 0);
                // No look-ahead and no B-frames: the encoder holds few pictures (each several
                // megabytes at 1080p), so a 1080p render stays near 120 MB whatever its length.
                av_opt_set(context->priv_data, "x264-params",
                           "rc-lookahead=0:bframes=0:sync-lookahead=0", 0);
            } else if (name == "libvpx-vp9") {
                // Constant quality at a real-time speed.
                av_opt_set(context->priv_data, "deadline", "realtime", 0);
                av_opt_set_int(context->priv_data, "cpu-used", settings_.vp9CpuUsed, 0);
                av_opt_set_int(context->priv_data, "row-mt", 1, 0);
                av_opt_set_int(context->priv_data, "crf", settings_.vp9Crf, 0);
                context->bit_rate = 0;
            } else if (spec_.video == AV_CODEC_ID_PRORES) {
                // The 4444 profile: full chroma, and the alpha plane when there is one.
                av_opt_set(context->priv_data, "profile", "4444", 0);
                if (alpha() && name == "prores_ks")
                    av_opt_set_int(context->priv_data, "alpha_bits", 16, 0);
            } else {
                // Other encoders get a bit rate: about 0.1 bit per pixel.
                context->bit_rate = std::clamp<std::int64_t>(
                    static_cast<std::int64_t>(0.1 * codedWidth_ * codedHeight_ *
                                              av_q2d(frameRate_)),
                    500'000, 50'000'000);
            }
            const int error = avcodec_open2(context.get(), codec, nullptr);
            if (error >= 0) {
                video_ = std::move(context);
                videoStream_ = addStream(video_.get());
                videoStream_->avg_frame_rate = frameRate_;
                return;
            }
            lastError = errorText(error, &log_);
        }
        throw OutputError(std::string("cannot encode ") + spec_.videoCodec + " for '" +
                          file_.target() + "': encoder " + spec_.videoEncoder + " " +
                          (candidates.empty() ? "is not in this FFmpeg" : "failed: " + lastError));
    }

    // Reads the sound's first block, so that a sound with nothing in it (or a zero duration)
    // gives a file without an audio track, as no sound at all does.
    void startSound(std::shared_ptr<SampleBuffer> buffer, std::int64_t from,
                    double durationSeconds) {
        soundBuffer_ = std::move(buffer);
        sound_.emplace(*soundBuffer_, from);
        soundFrom_ = from;
        soundRate_ = soundBuffer_->info().sampleRate; // in range: every source checks its own
        if (std::isfinite(durationSeconds) && durationSeconds >= 0)
            soundLimit_ = checkedInt64(std::round(durationSeconds * soundRate_), "--duration");
        soundBlock_.resize(kSoundBlock * 2);
        firstBlock_ = readSound(-1);
        if (firstBlock_ == 0) sound_.reset();
    }

    void openAudioEncoder() {
        const AVCodec* codec = avcodec_find_encoder_by_name(spec_.audioEncoder);
        bool experimental = false;
        if (!codec && spec_.audioFallback) {
            codec = avcodec_find_encoder_by_name(spec_.audioFallback);
            experimental = codec != nullptr;
        }
        if (!codec)
            throw OutputError(std::string("cannot encode ") + spec_.audioCodec + " for '" +
                              file_.target() + "': encoder " + spec_.audioEncoder +
                              " is not in this FFmpeg");
        CodecPtr context(avcodec_alloc_context3(codec));
        if (!context) throw OutputError("out of memory");
        log_.watch(context.get());
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO; // not const: swr wants it so
        av_channel_layout_copy(&context->ch_layout, &stereo);
        context->sample_fmt = chooseSampleFormat(codec);
        context->sample_rate = chooseSampleRate(codec, soundRate_);
        context->time_base = {1, context->sample_rate};
        context->bit_rate = 160'000;
        if (experimental) context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
        // FFmpeg's AAC encoder searches its quantisers in two loops by default, at about a
        // millisecond of a core for every picture of a 60 frames/s video; its fast coder gives
        // the same 160 kbit/s stereo in a fraction of that.
        if (std::strcmp(codec->name, "aac") == 0)
            av_opt_set(context->priv_data, "aac_coder", "fast", 0);
        if (format_->oformat->flags & AVFMT_GLOBALHEADER)
            context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int error = avcodec_open2(context.get(), codec, nullptr);
        if (error < 0)
            throw OutputError(std::string("cannot encode ") + spec_.audioCodec + " for '" +
                              file_.target() + "': encoder " + codec->name +
                              " failed: " + errorText(error, &log_));
        audio_ = std::move(context);
        audioStream_ = addStream(audio_.get());
        const bool variable = codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
        audioFrameSize_ = (variable || audio_->frame_size <= 0) ? 1024 : audio_->frame_size;
        shortLastFrame_ = variable || (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);

        SwrContext* resampler = nullptr;
        error = swr_alloc_set_opts2(&resampler, &audio_->ch_layout, audio_->sample_fmt,
                                    audio_->sample_rate, &stereo, AV_SAMPLE_FMT_FLT, soundRate_, 0,
                                    nullptr);
        resampler_.reset(resampler);
        log_.watch(resampler);
        if (error < 0 || (error = swr_init(resampler)) < 0)
            throw OutputError("cannot convert the sound: " + errorText(error, &log_));
        fifo_.reset(av_audio_fifo_alloc(audio_->sample_fmt, 2, audioFrameSize_ * 4));
        if (!fifo_) throw OutputError("out of memory");
        resample(soundBlock_.data(), static_cast<int>(firstBlock_)); // encoded at the next write
    }

    // Sends a frame (nullptr: the end) and writes every packet the encoder has ready.
    void encode(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        int error = avcodec_send_frame(codec, frame);
        if (error < 0) fail(error);
        for (;;) {
            error = avcodec_receive_packet(codec, packet_.get());
            if (error == AVERROR(EAGAIN) || error == AVERROR_EOF) return;
            if (error < 0) fail(error);
            if (codec == video_.get() && packet_->duration == 0) packet_->duration = 1;
            av_packet_rescale_ts(packet_.get(), codec->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if ((error = av_interleaved_write_frame(format_.get(), packet_.get())) < 0) fail(error);
        }
    }

    // Reads the next block of sound, at most up to `until` frames from its start (-1: no
    // bound but the limit) into soundBlock_. Returns how many frames; 0 at the end.
    std::size_t readSound(std::int64_t until) {
        std::int64_t wanted = soundLimit_ - soundRead_;
        if (until >= 0) wanted = std::min(wanted, until - soundRead_);
        if (soundEnded_ || wanted <= 0) return 0;
        const auto asked = static_cast<std::size_t>(std::min<std::int64_t>(wanted, kSoundBlock));
        const std::size_t got = sound_->read(soundFrom_ + soundRead_, soundBlock_.data(), asked);
        if (got == 0) soundEnded_ = true;
        soundRead_ += static_cast<std::int64_t>(got);
        return got;
    }

    // Encodes the sound up to `until` frames of it from the start (-1: to its end or the limit).
    void pumpAudio(std::int64_t until) {
        encodeAudio(false);
        while (const std::size_t got = readSound(until)) {
            resample(soundBlock_.data(), static_cast<int>(got));
            encodeAudio(false);
        }
    }

    void resample(const float* samples, int count) {
        const int room = swr_get_out_samples(resampler_.get(), count);
        if (room <= 0) return;
        const int bytes = av_get_bytes_per_sample(audio_->sample_fmt);
        const bool planar = av_sample_fmt_is_planar(audio_->sample_fmt);
        const std::size_t planeBytes = static_cast<std::size_t>(room) * bytes * (planar ? 1 : 2);
        for (auto& plane : converted_)
            if (plane.size() < planeBytes) plane.resize(planeBytes);
        std::uint8_t* planes[2] = {converted_[0].data(), converted_[1].data()};
        const std::uint8_t* input = reinterpret_cast<const std::uint8_t*>(samples);
        const int made =
            swr_convert(resampler_.get(), planes, room, samples ? &input : nullptr, count);
        if (made < 0) throw OutputError("cannot convert the sound: " + errorText(made, &log_));
        if (made > 0 &&
            av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), made) < made)
            throw OutputError("out of memory");
    }

    // Encodes every whole frame of sound waiting; at the end, the short remainder too (padded
    // with silence for encoders that need whole frames).
    void encodeAudio(bool last) {
        for (;;) {
            const int waiting = av_audio_fifo_size(fifo_.get());
            if (waiting == 0 || (waiting < audioFrameSize_ && !last)) return;
            const int take = std::min(waiting, audioFrameSize_);
            FramePtr frame(av_frame_alloc());
            if (!frame) throw OutputError("out of memory");
            frame->format = audio_->sample_fmt;
            frame->sample_rate = audio_->sample_rate;
            frame->nb_samples = shortLastFrame_ ? take : audioFrameSize_;
            av_channel_layout_copy(&frame->ch_layout, &audio_->ch_layout);
            int error = av_frame_get_buffer(frame.get(), 0);
            if (error < 0) fail(error);
            if (take < frame->nb_samples)
                av_samples_set_silence(frame->data, 0, frame->nb_samples, 2, audio_->sample_fmt);
            av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), take);
            frame->pts = audioSamples_;
            audioSamples_ += frame->nb_samples;
            encode(audio_.get(), audioStream_, frame.get());
        }
    }

    static constexpr int kSoundBlock = 4096;

    TemporaryFile file_; // first: removed after everything writing into it has closed
    ContainerSpec spec_;
    EncoderSettings settings_;
    int scale_;
    int width_; // of the enlarged picture
    int height_;
    int codedWidth_; // even, as yuv420p needs
    int codedHeight_;
    AVPixelFormat pixelFormat_;
    ScalerPtr scaler_;               // for the formats libswscale converts
    std::vector<std::uint8_t> rgba_; // unassociated R, G, B, A, for them
    AVRational frameRate_ = {60, 1};
    mutable FfmpegLog log_; // before the objects it watches, so that it outlives them
    OutputFormatPtr format_;
    CodecPtr video_;
    AVStream* videoStream_ = nullptr;
    FramePtr picture_;
    PacketPtr packet_;
    std::vector<std::uint32_t> enlarged_; // the picture enlarged or padded, when it must be
    std::int64_t frames_ = 0;
    bool finished_ = false;

    std::shared_ptr<SampleBuffer> soundBuffer_; // before its reader: outlives it
    std::optional<SampleBuffer::Reader> sound_;
    std::int64_t soundFrom_ = 0; // the buffer's frame where the video starts
    int soundRate_ = 0;
    std::int64_t soundLimit_ = INT64_MAX; // frames of sound to use
    std::int64_t soundRead_ = 0;
    bool soundEnded_ = false;
    std::vector<float> soundBlock_;
    std::size_t firstBlock_ = 0; // frames read before the encoder was opened
    CodecPtr audio_;
    AVStream* audioStream_ = nullptr;
    int audioFrameSize_ = 1024;
    bool shortLastFrame_ = false;
    ResamplerPtr resampler_;
    AudioFifoPtr fifo_;
    std::vector<std::uint8_t> converted_[2];
    std::int64_t audioSamples_ = 0;
};

} // namespace

std::unique_ptr<FrameSink> openVideo(const std::string& path, VideoContainer container,
                                     const SinkOptions& options) {
    checkPictureSize(options);
    // The encoders' messages go to the sink's log (FfmpegLog), which adds their errors to its
    // one-line messages; a render shows its own progress instead of their statistics.
    return std::make_unique<VideoSink>(path, container, options);
}

} // namespace lumacore::cli
