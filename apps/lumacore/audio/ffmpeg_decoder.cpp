// Decodes an audio file of any kind FFmpeg knows (WAV, FLAC, Ogg, Opus, MP3, M4A, ...) into
// stereo float samples at the renderer's rate, one decoded packet at a time.
//
// Faults are reported as one-line AudioErrors that name the file. Decoding errors are reported,
// except in the last few packets of a file: a file cut short usually ends in a partial packet,
// and that is treated as the end of the sound. Where the file declares its length exactly (a
// FLAC header, an MP3 Xing header, a WAV data chunk, an MP4 index), audio that stops more than
// half a second short of it is reported as truncated.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "audio/audio_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

namespace lumacore::cli {
namespace {

// Decoding errors this many packets or fewer before the end of the file end the sound instead.
constexpr int kTolerableTailPackets = 4;
// A sound that ends this much before the length the file declares is a truncated file.
constexpr double kTruncationSlackSeconds = 0.5;
// The decoded sample rates accepted, as for the output.
constexpr int kMinSourceRate = 1000;
constexpr int kMaxSourceRate = 1000000;

// ---- owners of FFmpeg objects ----

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

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

// ---- FFmpeg's log ----

// FFmpeg prints nothing; the last error it logs on this thread explains a failure further.
thread_local std::string lastLoggedError;

void logCallback(void*, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    std::vsnprintf(line, sizeof line, format, arguments);
    lastLoggedError = line;
}

void quietenFfmpeg() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_QUIET);
        av_log_set_callback(logCallback);
    });
}

// Makes text safe for a one-line message or a title: control characters become spaces, and
// leading and trailing spaces go.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE]{};
    av_strerror(code, text, sizeof text);
    std::string result = oneLine(text);
    std::string logged = oneLine(lastLoggedError);
    lastLoggedError.clear();
    if (!logged.empty() && logged != result) result += ": " + logged;
    return result;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

std::string tag(const AVDictionary* container, const AVDictionary* stream, const char* key) {
    // av_dict_get ignores case unless told otherwise.
    for (const AVDictionary* dictionary : {container, stream})
        if (const AVDictionaryEntry* entry = av_dict_get(dictionary, key, nullptr, 0))
            if (std::string value = oneLine(entry->value); !value.empty()) return value;
    return {};
}

class FfmpegSource final : public AudioSource {
  public:
    FfmpegSource(const std::string& path, int sampleRate);
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override;

  private:
    [[noreturn]] void fail(const std::string& problem);
    void checkFile() const;
    void openContainer();
    void openDecoder();
    bool decodeMore();
    void readPacket();
    void noteDecodingError(int code);
    void convert(const AVFrame* frame);
    void configureResampler(const AVFrame* frame);
    void drainResampler();
    void append(const float* samples, int frames);
    void checkLength();
    double decodedSeconds() const { return static_cast<double>(decodedFrames_) / info_.sampleRate; }

    AudioInfo info_;
    FormatPtr format_;
    CodecPtr codec_;
    ResamplerPtr resampler_;
    PacketPtr packet_;
    FramePtr frame_;
    int streamIndex_ = -1;
    double declaredSeconds_ = -1; // the stream's exact length, when the file states it

    // What the resampler was set up for, as the decoder delivered it.
    ChannelLayout resamplerLayout_;
    int resamplerFormat_ = -1;
    int resamplerRate_ = 0;
    int outChannels_ = 2;

    std::vector<float> converted_; // the resampler's output for one decoded frame
    std::vector<float> pending_;   // stereo frames decoded but not yet read
    std::size_t pendingAt_ = 0;    // in frames
    long long decodedFrames_ = 0;  // stereo frames produced so far

    bool demuxerDone_ = false;
    bool decoderDone_ = false;
    bool finished_ = false;
    std::string failure_; // once set, every read repeats it

    // A decoding error waits here until it is clear whether the file ends right after it.
    std::string pendingError_;
    int packetsAfterError_ = 0;
};

FfmpegSource::FfmpegSource(const std::string& path, int sampleRate) {
    info_.path = path;
    info_.sampleRate = sampleRate;
    if (sampleRate < 1000 || sampleRate > 1000000)
        fail("output sample rate " + std::to_string(sampleRate) + " Hz is outside 1000..1000000");
    quietenFfmpeg();
    lastLoggedError.clear();
    checkFile();
    openContainer();
    openDecoder();
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) fail("out of memory");
    // Decode the first samples now, so that a file with no usable audio fails here.
    if (!decodeMore()) {
        if (!pendingError_.empty()) fail(pendingError_);
        fail("no audio samples in the file");
    }
}

void FfmpegSource::fail(const std::string& problem) {
    failure_ = info_.path + ": " + problem;
    throw AudioError(failure_);
}

// Finds the faults of the file itself before FFmpeg sees it, to name them plainly. Only regular
// files are accepted: the renderer reads its input twice (pictures, then the sound to mux).
void FfmpegSource::checkFile() const {
    namespace fs = std::filesystem;
    const auto problem = [this](const std::string& text) {
        throw AudioError(info_.path + ": " + text);
    };
    if (info_.path.empty()) throw AudioError("(empty file name): no such file");
    std::error_code error;
    const fs::file_status status = fs::status(info_.path, error);
    if (status.type() == fs::file_type::not_found) problem("no such file");
    if (error) problem("cannot read the file (" + error.message() + ")");
    if (fs::is_directory(status)) problem("is a directory, not an audio file");
    if (!fs::is_regular_file(status)) problem("not a regular file");
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(info_.path.c_str(), "rb"));
    if (!file) problem("cannot read the file (" + std::string(std::strerror(errno)) + ")");
    const auto size = fs::file_size(info_.path, error);
    if (!error && size == 0) problem("empty file");
}

void FfmpegSource::openContainer() {
    Dictionary options;
    // Only local files, also for playlists and the like that name other inputs.
    av_dict_set(options.address(), "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    const std::string url = "file:" + info_.path;
    if (int code = avformat_open_input(&raw, url.c_str(), nullptr, options.address()); code < 0) {
        if (code == AVERROR_EOF) fail("truncated: the file ends inside its headers");
        if (code == AVERROR(EACCES) || code == AVERROR(ENOENT) || code == AVERROR(EISDIR))
            fail("cannot open the file (" + errorText(code) + ")");
        fail("not an audio file, or a damaged one (" + errorText(code) + ")");
    }
    format_.reset(raw);
    if (int code = avformat_find_stream_info(format_.get(), nullptr); code < 0)
        fail("cannot read the stream information (" + errorText(code) + ")");

    const AVCodec* decoder = nullptr;
    streamIndex_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (streamIndex_ == AVERROR_STREAM_NOT_FOUND) fail("no audio stream in the file");
    if (streamIndex_ == AVERROR_DECODER_NOT_FOUND) {
        const int any = av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        const AVCodecID id =
            any >= 0 ? format_->streams[any]->codecpar->codec_id : AV_CODEC_ID_NONE;
        fail(std::string("no decoder for its audio codec (") + avcodec_get_name(id) + ")");
    }
    if (streamIndex_ < 0) fail("no usable audio stream (" + errorText(streamIndex_) + ")");
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;

    const AVStream* stream = format_->streams[streamIndex_];
    info_.artist = tag(format_->metadata, stream->metadata, "artist");
    info_.title = tag(format_->metadata, stream->metadata, "title");
    const bool estimated = format_->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
        info_.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        if (!estimated) declaredSeconds_ = info_.durationSeconds;
    } else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0) {
        info_.durationSeconds = static_cast<double>(format_->duration) / AV_TIME_BASE;
    }
}

void FfmpegSource::openDecoder() {
    const AVStream* stream = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        fail(std::string("no decoder for its audio codec (") +
             avcodec_get_name(stream->codecpar->codec_id) + ")");
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) fail("out of memory");
    if (int code = avcodec_parameters_to_context(codec_.get(), stream->codecpar); code < 0)
        fail("cannot set up the decoder (" + errorText(code) + ")");
    codec_->pkt_timebase = stream->time_base;
    if (int code = avcodec_open2(codec_.get(), decoder, nullptr); code < 0)
        fail(std::string("cannot open the ") + decoder->name + " decoder (" + errorText(code) +
             ")");
    info_.sourceChannels = std::max(1, codec_->ch_layout.nb_channels);
}

std::size_t FfmpegSource::read(float* out, std::size_t frames) {
    if (!failure_.empty()) throw AudioError(failure_);
    std::size_t done = 0;
    while (done < frames) {
        std::size_t available = pending_.size() / 2 - pendingAt_;
        if (available == 0) {
            pending_.clear();
            pendingAt_ = 0;
            if (finished_ || !decodeMore()) {
                finished_ = true;
                break;
            }
            available = pending_.size() / 2;
        }
        const std::size_t count = std::min(available, frames - done);
        std::copy_n(pending_.data() + 2 * pendingAt_, 2 * count, out + 2 * done);
        pendingAt_ += count;
        done += count;
    }
    return done;
}

// Decodes until at least one frame is pending; false at the end of the sound.
bool FfmpegSource::decodeMore() {
    while (pending_.size() / 2 == pendingAt_) {
        if (decoderDone_) {
            if (!resampler_) return false;
            drainResampler();
            resampler_.reset();
            continue;
        }
        const int code = avcodec_receive_frame(codec_.get(), frame_.get());
        if (code == 0) {
            convert(frame_.get());
            av_frame_unref(frame_.get());
        } else if (code == AVERROR_EOF) {
            decoderDone_ = true;
            checkLength();
        } else if (code == AVERROR(EAGAIN)) {
            readPacket();
        } else if (demuxerDone_) {
            // An error while draining the last packets: the end of a truncated file.
            noteDecodingError(code);
            decoderDone_ = true;
            checkLength();
        } else {
            noteDecodingError(code);
            readPacket();
        }
    }
    return true;
}

void FfmpegSource::readPacket() {
    if (demuxerDone_) {
        // Draining was requested already; the decoder has nothing more.
        decoderDone_ = true;
        return;
    }
    for (;;) {
        const int code = av_read_frame(format_.get(), packet_.get());
        if (code == AVERROR_EOF || (code < 0 && format_->pb && avio_feof(format_->pb))) {
            demuxerDone_ = true;
            avcodec_send_packet(codec_.get(), nullptr); // drain the decoder
            return;
        }
        if (code < 0)
            fail("read error at " + seconds(decodedSeconds()) + " (" + errorText(code) + ")");
        if (packet_->stream_index != streamIndex_) {
            av_packet_unref(packet_.get());
            continue;
        }
        if (!pendingError_.empty() && ++packetsAfterError_ > kTolerableTailPackets)
            fail(pendingError_);
        const int sent = avcodec_send_packet(codec_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) noteDecodingError(sent);
        return;
    }
}

void FfmpegSource::noteDecodingError(int code) {
    if (!pendingError_.empty()) return; // the first error is the one to report
    pendingError_ =
        "corrupt audio data at " + seconds(decodedSeconds()) + " (" + errorText(code) + ")";
    packetsAfterError_ = 0;
}

// A sound that stops well short of the length the file declares has lost its end.
void FfmpegSource::checkLength() {
    if (declaredSeconds_ < 0) return;
    const double decoded = decodedSeconds();
    if (decoded + kTruncationSlackSeconds < declaredSeconds_)
        fail("truncated or damaged: the audio ends at " + seconds(decoded) + " of the " +
             seconds(declaredSeconds_) + " the file declares");
}

void FfmpegSource::configureResampler(const AVFrame* frame) {
    const bool same = resampler_ && frame->format == resamplerFormat_ &&
                      frame->sample_rate == resamplerRate_ &&
                      av_channel_layout_compare(&frame->ch_layout, resamplerLayout_.get()) == 0;
    if (same) return;
    if (resampler_) drainResampler(); // the format changed mid-stream: finish the old part
    resampler_.reset();

    av_channel_layout_uninit(resamplerLayout_.get());
    if (av_channel_layout_copy(resamplerLayout_.get(), &frame->ch_layout) < 0)
        fail("out of memory");
    resamplerFormat_ = frame->format;
    resamplerRate_ = frame->sample_rate;
    if (resamplerRate_ <= 0)
        fail("corrupt audio data (sample rate " + std::to_string(resamplerRate_) + ")");
    // Beyond these rates there is no real audio, only a damaged header; converting from them
    // would cost a resampling filter as long as the ratio (seconds and gigabytes to build) or
    // thousands of output samples for every sample read.
    if (resamplerRate_ < kMinSourceRate || resamplerRate_ > kMaxSourceRate)
        fail("unsupported sample rate " + std::to_string(resamplerRate_) + " Hz (outside " +
             std::to_string(kMinSourceRate) + ".." + std::to_string(kMaxSourceRate) + ")");

    // Channels in no stated order are taken in the usual order for their number.
    const int channels = std::max(1, frame->ch_layout.nb_channels);
    ChannelLayout inLayout;
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0)
        av_channel_layout_default(inLayout.get(), channels);
    else if (av_channel_layout_copy(inLayout.get(), &frame->ch_layout) < 0)
        fail("out of memory");

    // Mono stays as it is through the resampler and is copied to both sides afterwards, at full
    // level (a mono-to-stereo matrix would lower it by 3 dB). Everything else is mixed to stereo.
    outChannels_ = channels == 1 ? 1 : 2;
    ChannelLayout outLayout;
    if (outChannels_ == 1) {
        if (av_channel_layout_copy(outLayout.get(), inLayout.get()) < 0) fail("out of memory");
    } else {
        av_channel_layout_default(outLayout.get(), 2);
    }
    SwrContext* raw = nullptr;
    int code = swr_alloc_set_opts2(&raw, outLayout.get(), AV_SAMPLE_FMT_FLT, info_.sampleRate,
                                   inLayout.get(), static_cast<AVSampleFormat>(resamplerFormat_),
                                   resamplerRate_, 0, nullptr);
    resampler_.reset(raw);
    if (code >= 0) code = swr_init(resampler_.get());
    if (code < 0) fail("cannot convert its samples (" + errorText(code) + ")");
}

void FfmpegSource::convert(const AVFrame* frame) {
    if (frame->nb_samples <= 0) return;
    configureResampler(frame);
    const int capacity = swr_get_out_samples(resampler_.get(), frame->nb_samples);
    if (capacity < 0) fail("cannot convert its samples (" + errorText(capacity) + ")");
    converted_.resize(static_cast<std::size_t>(capacity) * outChannels_);
    auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
    const int got =
        swr_convert(resampler_.get(), &out, capacity,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got < 0) fail("cannot convert its samples (" + errorText(got) + ")");
    append(converted_.data(), got);
}

void FfmpegSource::drainResampler() {
    const int capacity = swr_get_out_samples(resampler_.get(), 0);
    if (capacity <= 0) return;
    converted_.resize(static_cast<std::size_t>(capacity) * outChannels_);
    auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
    const int got = swr_convert(resampler_.get(), &out, capacity, nullptr, 0);
    if (got > 0) append(converted_.data(), got);
}

// Adds resampled frames to the pending stereo samples: mono doubled, values outside -1..1
// clipped, and NaN or infinity (possible in float files) silenced.
void FfmpegSource::append(const float* samples, int frames) {
    const auto clean = [](float value) {
        if (!std::isfinite(value)) return 0.0f;
        return std::clamp(value, -1.0f, 1.0f);
    };
    const std::size_t start = pending_.size();
    pending_.resize(start + 2 * static_cast<std::size_t>(frames));
    float* out = pending_.data() + start;
    for (int i = 0; i < frames; ++i) {
        const float left = clean(samples[i * outChannels_]);
        out[2 * i] = left;
        out[2 * i + 1] = outChannels_ == 1 ? left : clean(samples[i * outChannels_ + 1]);
    }
    decodedFrames_ += frames;
}

} // namespace

std::unique_ptr<AudioSource> openAudio(const std::string& path, int sampleRate) {
    return std::make_unique<FfmpegSource>(path, sampleRate);
}

} // namespace lumacore::cli
