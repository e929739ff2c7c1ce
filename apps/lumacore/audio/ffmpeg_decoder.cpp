// Decodes an audio file of any kind FFmpeg knows (WAV, FLAC, Ogg, Opus, MP3, M4A, ...) into
// stereo float samples at the renderer's rate, one decoded packet at a time, with seeking.
//
// Faults are reported as one-line AudioErrors that name the file. A packet that cannot be
// decoded is skipped, as players do, and its time filled with silence so that what follows
// keeps its place; the amount skipped is said once on standard error. Only a file where nothing
// decodes fails. Errors in the last few packets of a file end the sound instead: a file cut
// short usually ends in a partial packet. Where the file declares its length exactly (a FLAC
// header, an MP3 Xing header, a WAV data chunk, an MP4 index), audio that stops more than half a
// second short of it is reported as truncated.
//
// Seeking goes back in the container to well before the target, decodes from there and starts
// the resampler on a sample where its phase is the one it has when decoding from the start, then
// discards up to the target: the samples are those that reading from the start would give, once
// the decoder and the resampler have forgotten the jump.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "audio/audio_source.h"
#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace lumacore::cli {
namespace {

// Decoding errors this many packets or fewer before the end of the file end the sound instead.
constexpr int kTolerableTailPackets = 4;
// A sound that ends this much before the length the file declares is a truncated file.
constexpr double kTruncationSlackSeconds = 0.5;
// How far before its target a seek enters the file, so that the decoder has forgotten the jump
// (an MP3 bit reservoir, overlapping transforms, Opus's prediction) by the time it gets there.
constexpr double kSeekMarginSeconds = 1.0;
// Of that margin, the part the resampler needs to fill its filter before the target.
constexpr double kResamplerWarmupSeconds = 0.05;
// After a failed packet, frames that start this many samples or fewer after the last one ended
// follow it without a gap; without one, only gaps longer than the time stamps' wandering count.
constexpr std::int64_t kGapSlackSamples = 2;
constexpr double kSilentGapSeconds = 0.25;
// Forward seeks shorter than this decode and discard rather than entering the file anew.
constexpr double kDiscardAheadSeconds = 2.0;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

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

// The notes said so far, by file, and who hears them (standard error when nobody was set).
struct Notes {
    std::mutex lock;
    std::set<std::string> said;
    std::function<void(const std::string&)> handler;
};

Notes& notes() {
    static Notes shared;
    return shared;
}

// Says `line` once per file for the whole run, however often the file is opened (the video's
// sound track reads it a second time).
void sayOncePerFile(const std::string& path, const std::string& line) {
    Notes& all = notes();
    std::lock_guard<std::mutex> guard(all.lock);
    if (!all.said.insert(path).second) return;
    if (all.handler)
        all.handler(line);
    else
        std::fprintf(stderr, "lumacore: %s\n", line.c_str());
}

class FfmpegSource final : public AudioSource {
  public:
    // `decodeFirst` false opens the file's headers only (a probe of its length and tags).
    FfmpegSource(const std::string& path, int sampleRate, bool decodeFirst = true);
    ~FfmpegSource() override;
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override;
    void seek(std::int64_t frame) override;

  private:
    [[noreturn]] void fail(const std::string& problem);
    std::string errorText(int code) { return cli::errorText(code, &log_); }
    void checkFile() const;
    void open();
    void openContainer();
    void openDecoder();
    void resetDecoding();
    bool decodeMore();
    void readPacket();
    void noteDecodingError(int code);
    void recoverFromErrors(std::int64_t sample);
    void reportLost(double length, std::int64_t key);
    std::int64_t sampleOf(const AVFrame* frame) const;
    void advanceExpected(const AVFrame* frame);
    void finishDecoding();
    bool alignAfterSeek(const AVFrame* frame, int& offset);
    void convert(const AVFrame* frame, int offset);
    void configureResampler(const AVFrame* frame);
    void drainResampler();
    void append(const float* samples, int frames);
    void appendSilence(double seconds);
    void checkLength();
    void discard(std::int64_t frames);
    bool seekInContainer(std::int64_t frame);
    std::int64_t position() const {
        return decodedFrames_ - static_cast<std::int64_t>(pending_.size() / 2 - pendingAt_);
    }
    double decodedSeconds() const { return static_cast<double>(decodedFrames_) / info_.sampleRate; }

    FfmpegLog log_; // first: it outlives every object it watches
    AudioInfo info_;
    InputFormatPtr format_;
    CodecPtr codec_;
    ResamplerPtr resampler_;
    PacketPtr packet_;
    FramePtr frame_;
    int streamIndex_ = -1;
    double declaredSeconds_ = -1; // the stream's exact length, when the file states it
    bool seekable_ = false;       // whether the container can go back

    // What the resampler was set up for, as the decoder delivered it.
    ChannelLayout resamplerLayout_;
    int resamplerFormat_ = -1;
    int resamplerRate_ = 0;
    int outChannels_ = 2;

    std::vector<float> converted_;   // the resampler's output for one decoded frame
    std::vector<float> pending_;     // stereo frames decoded but not yet read
    std::size_t pendingAt_ = 0;      // in frames
    std::int64_t decodedFrames_ = 0; // stereo frames produced so far, counted from the start

    bool demuxerDone_ = false;
    bool decoderDone_ = false;
    bool finished_ = false;
    std::string failure_; // once set, every read repeats it

    // Where the sound starts: the time stamp and rate of the first decoded frame from the start.
    std::int64_t originPts_ = AV_NOPTS_VALUE;
    int originRate_ = 0;
    bool originKnown_ = false;
    // After a container seek: decoded samples before this one (at the decoder's rate, from the
    // start) are dropped, and the resampler starts on it.
    bool aligning_ = false;
    bool alignFailed_ = false;
    std::int64_t alignSample_ = 0;
    std::int64_t alignEarliest_ = 0; // a seek landing later than this has too little margin

    // Packets that failed since the last good frame: skipped when good audio follows, the end of
    // a cut file when nothing does.
    std::string firstError_; // the first decoding error of the file, for when nothing decodes
    int failedRun_ = 0;
    double failedSeconds_ = 0; // their length, when time stamps cannot tell
    std::int64_t failedPosition_ = -1;
    std::int64_t packetSerial_ = 0; // packets sent to the decoder
    std::int64_t erroredSerial_ = -1;
    std::int64_t lastPacketPos_ = -1;
    double lastPacketSeconds_ = 0;
    std::int64_t expectedSample_ = -1; // where the next frame should start, when known
    // What was lost, counted once per place however often a seek decodes it again.
    std::set<std::int64_t> lostPlaces_;
    double skippedSeconds_ = 0;
    double firstSkippedAt_ = -1;
    double silenceCarry_ = 0; // fractions of a frame of silence owed
};

FfmpegSource::FfmpegSource(const std::string& path, int sampleRate, bool decodeFirst) {
    info_.path = path;
    info_.sampleRate = sampleRate;
    checkSampleRate(sampleRate, path.empty() ? "(empty file name)" : path);
    checkFile();
    open();
    if (!decodeFirst) return;
    // Decode the first samples now, so that a file with no usable audio fails here.
    if (!decodeMore()) {
        if (!firstError_.empty()) fail(firstError_);
        fail("no audio samples in the file");
    }
}

FfmpegSource::~FfmpegSource() {
    if (skippedSeconds_ <= 0 || !failure_.empty()) return; // a failure says enough
    sayOncePerFile(info_.path, info_.path + ": skipped " + seconds(skippedSeconds_) +
                                   " of damaged audio (the first at " + seconds(firstSkippedAt_) +
                                   "), played as silence");
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

// Opens the container and the decoder afresh, positioned at the start.
void FfmpegSource::open() {
    codec_.reset();
    format_.reset();
    resetDecoding();
    decodedFrames_ = 0;
    openContainer();
    openDecoder();
    if (!packet_) packet_.reset(av_packet_alloc());
    if (!frame_) frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) fail("out of memory");
}

void FfmpegSource::openContainer() {
    Dictionary options;
    // Only local files, also for playlists and the like that name other inputs.
    av_dict_set(options.address(), "protocol_whitelist", "file", 0);
    // Allocated here so that its log is watched from the first message.
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) fail("out of memory");
    log_.watch(raw);
    const std::string url = "file:" + info_.path;
    if (int code = avformat_open_input(&raw, url.c_str(), nullptr, options.address()); code < 0) {
        if (code == AVERROR_EOF) fail("truncated: the file ends inside its headers");
        if (code == AVERROR(EACCES) || code == AVERROR(ENOENT) || code == AVERROR(EISDIR))
            fail("cannot open the file (" + errorText(code) + ")");
        fail("not an audio file, or a damaged one (" + errorText(code) + ")");
    }
    format_.reset(raw);
    log_.watch(format_->pb);
    if (int code = avformat_find_stream_info(format_.get(), nullptr); code < 0)
        fail("cannot read the stream information (" + errorText(code) + ")");
    seekable_ = format_->pb && (format_->pb->seekable & AVIO_SEEKABLE_NORMAL);

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
    log_.watch(codec_.get());
    if (int code = avcodec_parameters_to_context(codec_.get(), stream->codecpar); code < 0)
        fail("cannot set up the decoder (" + errorText(code) + ")");
    codec_->pkt_timebase = stream->time_base;
    if (int code = avcodec_open2(codec_.get(), decoder, nullptr); code < 0)
        fail(std::string("cannot open the ") + decoder->name + " decoder (" + errorText(code) +
             ")");
    info_.sourceChannels = std::max(1, codec_->ch_layout.nb_channels);
}

// Forgets everything decoded but not read, for a seek.
void FfmpegSource::resetDecoding() {
    pending_.clear();
    pendingAt_ = 0;
    if (resampler_) log_.forget(resampler_.get());
    resampler_.reset();
    demuxerDone_ = decoderDone_ = finished_ = false;
    aligning_ = alignFailed_ = false;
    failedRun_ = 0;
    failedSeconds_ = 0;
    expectedSample_ = -1;
    silenceCarry_ = 0;
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

void FfmpegSource::discard(std::int64_t frames) {
    std::vector<float> scratch(2 * 4096);
    while (frames > 0) {
        const std::size_t got =
            read(scratch.data(), static_cast<std::size_t>(std::min<std::int64_t>(frames, 4096)));
        if (got == 0) return;
        frames -= static_cast<std::int64_t>(got);
    }
}

void FfmpegSource::seek(std::int64_t frame) {
    if (!failure_.empty()) throw AudioError(failure_);
    if (frame < 0)
        throw AudioError(info_.path + ": cannot seek to frame " + std::to_string(frame) +
                         ", before the start");
    const std::int64_t here = position();
    if (frame >= here && frame - here <= std::llround(kDiscardAheadSeconds * info_.sampleRate)) {
        discard(frame - here);
        return;
    }
    if (!seekable_) {
        if (frame < here)
            throw AudioError(info_.path + ": cannot seek back in an input that can only be read "
                                          "forward");
        discard(frame - here);
        return;
    }
    if (seekInContainer(frame)) return;
    // Near the start, or where the file's time stamps do not allow it: from the start.
    open();
    discard(frame);
}

// Enters the file well before `frame` and decodes up to it; false when that cannot give the
// samples a read from the start would (too near the start, no time stamps, a failed seek).
bool FfmpegSource::seekInContainer(std::int64_t frame) {
    if (!originKnown_) return false;
    const std::int64_t inRate = originRate_;
    const std::int64_t outRate = info_.sampleRate;
    // The resampler's phase repeats every `cycle` input samples; it starts on one of those.
    const std::int64_t cycle = inRate / std::gcd(inRate, outRate);
    const std::int64_t target = av_rescale_rnd(frame, inRate, outRate, AV_ROUND_DOWN);
    const std::int64_t warmup = std::llround(kResamplerWarmupSeconds * inRate);
    const std::int64_t align = (target - warmup) / cycle * cycle;
    const AVStream* stream = format_->streams[streamIndex_];
    const std::int64_t preroll = std::max(0, stream->codecpar->seek_preroll);
    const std::int64_t enter = align - std::llround(kSeekMarginSeconds * inRate) - preroll;
    if (enter <= 0) return false;

    resetDecoding();
    const std::int64_t timestamp =
        originPts_ +
        av_rescale_q(enter, AVRational{1, static_cast<int>(inRate)}, stream->time_base);
    if (avformat_seek_file(format_.get(), streamIndex_, INT64_MIN, timestamp, timestamp, 0) < 0) {
        open();
        return false;
    }
    avcodec_flush_buffers(codec_.get());
    aligning_ = true;
    alignSample_ = align;
    alignEarliest_ = align - std::llround((kSeekMarginSeconds - kResamplerWarmupSeconds) * inRate);
    decodedFrames_ = av_rescale(align, outRate, inRate);
    const bool more = decodeMore();
    if (alignFailed_) {
        open();
        return false;
    }
    if (!more) {
        // The target lies beyond the end of the sound.
        finished_ = true;
        return true;
    }
    discard(frame - position());
    return true;
}

// Decodes until at least one frame is pending; false at the end of the sound.
bool FfmpegSource::decodeMore() {
    while (pending_.size() / 2 == pendingAt_) {
        if (alignFailed_) return false;
        if (decoderDone_) {
            if (!resampler_) return false;
            drainResampler();
            log_.forget(resampler_.get());
            resampler_.reset();
            continue;
        }
        const int code = avcodec_receive_frame(codec_.get(), frame_.get());
        if (code == 0) {
            int offset = 0;
            if (alignAfterSeek(frame_.get(), offset)) {
                recoverFromErrors(sampleOf(frame_.get()));
                convert(frame_.get(), offset);
                advanceExpected(frame_.get());
            }
            av_frame_unref(frame_.get());
        } else if (code == AVERROR_EOF) {
            finishDecoding();
        } else if (code == AVERROR(EAGAIN)) {
            readPacket();
        } else if (demuxerDone_) {
            // An error while draining the last packets: the end of a truncated file.
            noteDecodingError(code);
            finishDecoding();
        } else {
            noteDecodingError(code);
            readPacket();
        }
    }
    return true;
}

void FfmpegSource::finishDecoding() {
    decoderDone_ = true;
    // Many failed packets at the end are damage too, not a last packet cut short.
    if (failedRun_ > kTolerableTailPackets) reportLost(failedSeconds_, failedPosition_);
    failedRun_ = 0;
    failedSeconds_ = 0;
    if (!aligning_) checkLength();
}

void FfmpegSource::readPacket() {
    if (demuxerDone_) {
        // Draining was requested already; the decoder has nothing more.
        finishDecoding();
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
        ++packetSerial_;
        lastPacketPos_ = packet_->pos;
        const AVStream* stream = format_->streams[streamIndex_];
        lastPacketSeconds_ = packet_->duration > 0 ? static_cast<double>(packet_->duration) *
                                                         av_q2d(stream->time_base)
                                                   : 0;
        const int sent = avcodec_send_packet(codec_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) noteDecodingError(sent);
        return;
    }
}

// A packet that would not decode: skipped if good audio follows.
void FfmpegSource::noteDecodingError(int code) {
    const std::string text = errorText(code);
    if (firstError_.empty())
        firstError_ = "corrupt audio data at " + seconds(decodedSeconds()) + " (" + text + ")";
    if (erroredSerial_ == packetSerial_) return; // one packet, one count
    erroredSerial_ = packetSerial_;
    if (failedRun_++ == 0) failedPosition_ = lastPacketPos_;
    // The packet's length: as the container states it, else one frame of the codec.
    double length = lastPacketSeconds_;
    if (length <= 0 && codec_->frame_size > 0 && codec_->sample_rate > 0)
        length = static_cast<double>(codec_->frame_size) / codec_->sample_rate;
    failedSeconds_ += length;
}

// Counts what was lost from where the sound was expected to go on (`key`: the same place
// decoded again after a seek is not counted twice).
void FfmpegSource::reportLost(double length, std::int64_t key) {
    if (length <= 0 || !lostPlaces_.insert(key).second) return;
    if (skippedSeconds_ == 0) firstSkippedAt_ = decodedSeconds();
    skippedSeconds_ += length;
}

// A good frame, starting on `sample` (-1: unknown). If audio is missing before it, from packets
// that failed or that the demuxer dropped as it found its way again, its time is filled with
// silence so that what follows keeps its place.
void FfmpegSource::recoverFromErrors(std::int64_t sample) {
    double lost = 0;
    std::int64_t key = failedPosition_;
    if (sample >= 0 && expectedSample_ >= 0) {
        // Some containers' time stamps wander a little (Vorbis in Ogg with its block sizes):
        // without a failed packet, only a long gap is audio the demuxer dropped.
        const std::int64_t gap = sample - expectedSample_;
        if (gap >
            (failedRun_ > 0 ? kGapSlackSamples : std::llround(kSilentGapSeconds * originRate_)))
            lost = static_cast<double>(gap) / originRate_;
        key = expectedSample_;
    } else if (failedRun_ > 0) {
        lost = failedSeconds_;
    }
    failedRun_ = 0;
    failedSeconds_ = 0;
    if (lost <= 0) return;
    reportLost(lost, key);
    appendSilence(lost);
}

// Where the frame after this one should start: after it on the time line, or, for a frame
// without a time stamp, right after the one before.
void FfmpegSource::advanceExpected(const AVFrame* frame) {
    const std::int64_t length =
        frame->sample_rate > 0 ? av_rescale(frame->nb_samples, originRate_, frame->sample_rate) : 0;
    if (const std::int64_t at = sampleOf(frame); at >= 0)
        expectedSample_ = at + length;
    else if (expectedSample_ >= 0)
        expectedSample_ += length;
}

// Where the frame starts, in samples at the source's rate from the start; -1 when unknown.
std::int64_t FfmpegSource::sampleOf(const AVFrame* frame) const {
    const std::int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (!originKnown_ || pts == AV_NOPTS_VALUE) return -1;
    return av_rescale_q(pts - originPts_, format_->streams[streamIndex_]->time_base,
                        AVRational{1, originRate_});
}

// After a container seek, places the decoded frame on the sound's time line: frames before the
// sample the resampler starts on are dropped (false), a frame across it is used from `offset`.
bool FfmpegSource::alignAfterSeek(const AVFrame* frame, int& offset) {
    offset = 0;
    const std::int64_t pts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (!aligning_) {
        if (!originKnown_ && frame->nb_samples > 0) {
            originKnown_ = pts != AV_NOPTS_VALUE && frame->sample_rate > 0;
            originPts_ = pts;
            originRate_ = frame->sample_rate;
        }
        return true;
    }
    if (pts == AV_NOPTS_VALUE || frame->sample_rate != originRate_) {
        alignFailed_ = true;
        return false;
    }
    const AVStream* stream = format_->streams[streamIndex_];
    const std::int64_t first =
        av_rescale_q(pts - originPts_, stream->time_base, AVRational{1, originRate_});
    if (first > alignEarliest_) { // landed too near the target for the decoder to settle
        alignFailed_ = true;
        return false;
    }
    if (first + frame->nb_samples <= alignSample_) return false;
    offset = static_cast<int>(alignSample_ - first);
    if (offset < 0) { // a gap in the time stamps across the target: no sure place for it
        alignFailed_ = true;
        return false;
    }
    aligning_ = false;
    failedRun_ = 0; // what failed before the target is not the sound's
    failedSeconds_ = 0;
    return true;
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
    if (resampler_) log_.forget(resampler_.get());
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
    if (!sampleRateInRange(resamplerRate_))
        fail("unsupported sample rate " + std::to_string(resamplerRate_) + " Hz (outside " +
             std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate) + ")");

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
    log_.watch(raw);
    if (code >= 0) code = swr_init(resampler_.get());
    if (code < 0) fail("cannot convert its samples (" + errorText(code) + ")");
}

// Converts the frame's samples from `offset` on.
void FfmpegSource::convert(const AVFrame* frame, int offset) {
    const int count = frame->nb_samples - offset;
    if (count <= 0) return;
    configureResampler(frame);
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = std::max(1, frame->ch_layout.nb_channels);
    const bool planar = av_sample_fmt_is_planar(format);
    const int step = av_get_bytes_per_sample(format) * (planar ? 1 : channels);
    std::vector<const std::uint8_t*> planes(planar ? channels : 1);
    for (std::size_t p = 0; p < planes.size(); ++p)
        planes[p] = frame->extended_data[p] + static_cast<std::ptrdiff_t>(offset) * step;

    const int capacity = swr_get_out_samples(resampler_.get(), count);
    if (capacity < 0) fail("cannot convert its samples (" + errorText(capacity) + ")");
    converted_.resize(static_cast<std::size_t>(capacity) * outChannels_);
    auto* out = reinterpret_cast<std::uint8_t*>(converted_.data());
    const int got = swr_convert(resampler_.get(), &out, capacity, planes.data(), count);
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

// Silence in place of skipped packets, so that the sound after them keeps its time.
void FfmpegSource::appendSilence(double length) {
    const double exact = length * info_.sampleRate + silenceCarry_;
    const auto frames = static_cast<std::int64_t>(std::floor(exact));
    silenceCarry_ = exact - static_cast<double>(frames);
    if (frames <= 0) return;
    pending_.resize(pending_.size() + 2 * static_cast<std::size_t>(frames), 0.0f);
    decodedFrames_ += frames;
}

} // namespace

void setNoteHandler(std::function<void(const std::string&)> handler) {
    Notes& all = notes();
    std::lock_guard<std::mutex> guard(all.lock);
    all.handler = std::move(handler);
}

std::unique_ptr<AudioSource> openAudio(const std::string& path, int sampleRate) {
    return std::make_unique<FfmpegSource>(path, sampleRate);
}

AudioInfo probeAudio(const std::string& path) {
    return FfmpegSource(path, 44100, false).info();
}

} // namespace lumacore::cli
