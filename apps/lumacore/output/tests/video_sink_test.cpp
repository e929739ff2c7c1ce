// Tests of the video sinks: each container is written with a sine as its sound, then read back
// with libavformat and libavcodec to check the streams, their lengths, frame counts and colours.
#include <gtest/gtest.h>

#include <functional>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/intreadwrite.h>
}

#include "output/frame_sink.h"
#include "test_support.h"

namespace lumacore::cli {
namespace {

using testing_support::bufferOf;
using testing_support::ScratchFolder;
using testing_support::SineSource;
using testing_support::solidPicture;
using testing_support::testPicture;

struct StreamFacts {
    AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    AVColorSpace colourSpace = AVCOL_SPC_UNSPECIFIED;
    AVColorRange colourRange = AVCOL_RANGE_UNSPECIFIED;
    std::int64_t packets = 0;
    double seconds = 0; // from the first packet's start to the last one's end, as played
};

struct Probe {
    bool opened = false;
    std::vector<StreamFacts> streams;
    const StreamFacts* find(AVMediaType type) const {
        for (const StreamFacts& stream : streams)
            if (stream.type == type) return &stream;
        return nullptr;
    }
    // The mean Y, U and V of the first picture.
    double meanY = -1, meanU = -1, meanV = -1;
};

double meanOfPlane(const AVFrame* frame, int plane, int width, int height) {
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            sum += frame->data[plane][y * frame->linesize[plane] + x];
    return sum / (width * height);
}

// Reads every packet of the file; decodes the first picture. The durations count what a player
// plays: packets marked for discarding (MP4's priming), the start-up padding the container
// declares (WebM's Opus delay) and the samples the last packet says to drop are left out.
Probe probe(const std::string& path) {
    Probe result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return result;
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> closer(
        format, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format, nullptr) < 0) return result;
    result.opened = true;

    std::vector<std::int64_t> start(format->nb_streams, INT64_MAX);
    std::vector<std::int64_t> end(format->nb_streams, INT64_MIN);
    std::vector<std::uint32_t> droppedAtEnd(format->nb_streams, 0);
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        StreamFacts facts;
        facts.type = p->codec_type;
        facts.codec = p->codec_id;
        facts.width = p->width;
        facts.height = p->height;
        facts.sampleRate = p->sample_rate;
        facts.colourSpace = p->color_space;
        facts.colourRange = p->color_range;
        result.streams.push_back(facts);
    }

    const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        nullptr, [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (videoIndex >= 0) {
        const AVCodecParameters* p = format->streams[videoIndex]->codecpar;
        decoder.reset(avcodec_alloc_context3(avcodec_find_decoder(p->codec_id)));
        avcodec_parameters_to_context(decoder.get(), p);
        if (avcodec_open2(decoder.get(), nullptr, nullptr) < 0) decoder.reset();
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto takePicture = [&] {
        if (result.meanY < 0 && avcodec_receive_frame(decoder.get(), frame) == 0) {
            result.meanY = meanOfPlane(frame, 0, frame->width, frame->height);
            result.meanU = meanOfPlane(frame, 1, frame->width / 2, frame->height / 2);
            result.meanV = meanOfPlane(frame, 2, frame->width / 2, frame->height / 2);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        const int i = packet->stream_index;
        StreamFacts& facts = result.streams[i];
        ++facts.packets;
        if (packet->pts != AV_NOPTS_VALUE && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
            start[i] = std::min(start[i], packet->pts);
            if (packet->pts + packet->duration >= end[i]) {
                end[i] = packet->pts + packet->duration;
                std::size_t size = 0;
                const std::uint8_t* skip =
                    av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
                droppedAtEnd[i] = skip && size >= 8 ? AV_RL32(skip + 4) : 0;
            }
        }
        if (i == videoIndex && decoder && result.meanY < 0) {
            avcodec_send_packet(decoder.get(), packet);
            takePicture();
        }
        av_packet_unref(packet);
    }
    if (decoder && result.meanY < 0) {
        avcodec_send_packet(decoder.get(), nullptr);
        takePicture();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);

    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        StreamFacts& facts = result.streams[i];
        if (facts.packets == 0) continue;
        double seconds = static_cast<double>(end[i] - start[i]) * av_q2d(stream->time_base);
        if (facts.type == AVMEDIA_TYPE_AUDIO && facts.sampleRate > 0)
            seconds -= static_cast<double>(stream->codecpar->initial_padding + droppedAtEnd[i]) /
                       facts.sampleRate;
        facts.seconds = seconds;
    }
    return result;
}

SinkOptions videoOptions(int width, int height, double soundSeconds, int fps = 30) {
    SinkOptions options;
    options.width = width;
    options.height = height;
    options.fpsNumerator = fps;
    options.fpsDenominator = 1;
    if (soundSeconds > 0)
        options.sound =
            std::make_shared<SampleBuffer>(std::make_unique<SineSource>(44100, soundSeconds));
    return options;
}

void render(const std::string& path, const SinkOptions& options, int frames) {
    auto sink = openSink(path, options);
    for (int i = 0; i < frames; ++i)
        sink->write(testPicture(options.width, options.height, i));
    sink->finish();
}

struct ContainerCase {
    const char* file;
    AVCodecID video;
    AVCodecID audio;
    // Audio a player may play beyond the sound: FFmpeg's Matroska muxer cannot mark AAC's
    // start-up frame or the padding of its last frame, so up to two frames of near-silence
    // (the pictures are delayed by the first, keeping the two in step).
    double extraAudio;
};

const ContainerCase kContainers[] = {
    {"clip.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, 0},
    {"clip.mkv", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, 2 * 1024 / 44100.0},
    {"clip.webm", AV_CODEC_ID_VP9, AV_CODEC_ID_OPUS, 0},
};

constexpr double kVideoSlack = 0.5 / 30; // half a frame
constexpr double kAudioSlack = 0.003;    // Matroska keeps timestamps in whole milliseconds

// The audio plays for the sound's length: never less, and more only by what the container adds.
void expectAudioLength(const StreamFacts* audio, double expected, const ContainerCase& c) {
    ASSERT_TRUE(audio) << c.file;
    EXPECT_GE(audio->seconds, expected - kAudioSlack) << c.file;
    EXPECT_LE(audio->seconds, expected + c.extraAudio + kAudioSlack) << c.file;
}

TEST(VideoSink, WritesPicturesAndSoundOfTheSameLength) {
    ScratchFolder folder;
    for (const ContainerCase& c : kContainers) {
        render(folder / c.file, videoOptions(96, 64, 2.0), 60);
        const Probe p = probe(folder / c.file);
        ASSERT_TRUE(p.opened) << c.file;
        ASSERT_EQ(p.streams.size(), 2u) << c.file;
        const StreamFacts* video = p.find(AVMEDIA_TYPE_VIDEO);
        const StreamFacts* audio = p.find(AVMEDIA_TYPE_AUDIO);
        ASSERT_TRUE(video && audio) << c.file;
        EXPECT_EQ(video->codec, c.video) << c.file;
        EXPECT_EQ(audio->codec, c.audio) << c.file;
        EXPECT_EQ(video->width, 96) << c.file;
        EXPECT_EQ(video->height, 64) << c.file;
        EXPECT_EQ(video->packets, 60) << c.file;
        EXPECT_NEAR(video->seconds, 2.0, kVideoSlack) << c.file;
        expectAudioLength(audio, 2.0, c);
    }
    EXPECT_EQ(folder.names().size(), 3u) << "temporary files left";
}

TEST(VideoSink, SoundDecidesTheAudioLengthNotThePictures) {
    struct Case {
        double soundSeconds;
        double limitSeconds; // durationSeconds; -1 for the whole sound
        int frames;          // at 30 per second
        double expected;
    };
    const Case cases[] = {
        {3.0, 1.0, 30, 1.0}, // trimmed to the duration
        {2.0, -1, 15, 2.0},  // sound beyond the last picture is kept
        {0.5, -1, 30, 0.5},  // pictures beyond the sound's end
    };
    ScratchFolder folder;
    for (const ContainerCase& container : kContainers)
        for (const Case& c : cases) {
            SinkOptions options = videoOptions(32, 32, c.soundSeconds);
            options.durationSeconds = c.limitSeconds;
            const std::string path = folder / container.file;
            render(path, options, c.frames);
            const Probe p = probe(path);
            const StreamFacts* video = p.find(AVMEDIA_TYPE_VIDEO);
            const StreamFacts* audio = p.find(AVMEDIA_TYPE_AUDIO);
            ASSERT_TRUE(video && audio) << container.file;
            SCOPED_TRACE("sound " + std::to_string(c.soundSeconds) + " limit " +
                         std::to_string(c.limitSeconds));
            expectAudioLength(audio, c.expected, container);
            EXPECT_NEAR(video->seconds, c.frames / 30.0, kVideoSlack) << container.file;
        }
}

TEST(VideoSink, HasNoAudioTrackWithoutSound) {
    struct Case {
        const char* what;
        std::function<std::shared_ptr<SampleBuffer>()> sound;
        double durationSeconds;
    };
    const Case cases[] = {
        {"no sound", nullptr, -1},
        {"no source", [] { return std::shared_ptr<SampleBuffer>(); }, -1},
        {"empty sound", [] { return bufferOf(std::make_unique<SineSource>(44100, 0.0)); }, -1},
        {"zero duration", [] { return bufferOf(std::make_unique<SineSource>(44100, 1.0)); }, 0},
    };
    ScratchFolder folder;
    for (const ContainerCase& container : kContainers)
        for (const Case& c : cases) {
            SinkOptions options = videoOptions(32, 32, 0);
            if (c.sound) options.sound = c.sound();
            options.durationSeconds = c.durationSeconds;
            render(folder / container.file, options, 10);
            const Probe p = probe(folder / container.file);
            ASSERT_EQ(p.streams.size(), 1u) << container.file << ": " << c.what;
            EXPECT_EQ(p.streams[0].codec, container.video) << container.file;
            EXPECT_EQ(p.streams[0].packets, 10) << container.file;
        }
}

TEST(VideoSink, PadsOddSizesByOnePixel) {
    ScratchFolder folder;
    for (auto [width, height] : {std::pair{33, 20}, {32, 17}, {1, 1}}) {
        render(folder / "odd.mp4", videoOptions(width, height, 0), 3);
        const Probe p = probe(folder / "odd.mp4");
        ASSERT_EQ(p.streams.size(), 1u);
        EXPECT_EQ(p.streams[0].width, width + width % 2);
        EXPECT_EQ(p.streams[0].height, height + height % 2);
        EXPECT_EQ(p.streams[0].packets, 3);
    }
}

// Full-range RGB becomes BT.709 limited-range YUV, and the stream says so: a player then shows
// the picture's colours, not shifted ones.
TEST(VideoSink, ConvertsColoursToLabelledBt709) {
    struct Colour {
        std::uint8_t r, g, b;
    };
    constexpr double kr = 0.2126, kb = 0.0722, kg = 1 - kr - kb;
    ScratchFolder folder;
    for (const char* file : {"colour.mp4", "colour.webm"})
        for (Colour c : {Colour{255, 0, 0}, Colour{30, 200, 90}, Colour{255, 255, 255}}) {
            const auto picture = solidPicture(64, 48, c.r, c.g, c.b);
            SinkOptions options = videoOptions(64, 48, 0);
            {
                auto sink = openSink(folder / file, options);
                for (int i = 0; i < 3; ++i)
                    sink->write(picture);
                sink->finish();
            }
            const Probe p = probe(folder / file);
            ASSERT_EQ(p.streams.size(), 1u);
            EXPECT_EQ(p.streams[0].colourSpace, AVCOL_SPC_BT709) << file;
            EXPECT_EQ(p.streams[0].colourRange, AVCOL_RANGE_MPEG) << file;
            const double y = (kr * c.r + kg * c.g + kb * c.b) / 255;
            const double expectedY = 16 + 219 * y;
            const double expectedU = 128 + 224 * (c.b / 255.0 - y) / (2 * (1 - kb));
            const double expectedV = 128 + 224 * (c.r / 255.0 - y) / (2 * (1 - kr));
            EXPECT_NEAR(p.meanY, expectedY, 2.5) << file << " " << int(c.r) << "," << int(c.g);
            EXPECT_NEAR(p.meanU, expectedU, 2.5) << file << " " << int(c.r) << "," << int(c.g);
            EXPECT_NEAR(p.meanV, expectedV, 2.5) << file << " " << int(c.r) << "," << int(c.g);
        }
}

TEST(VideoSink, KeepsAFractionalFrameRate) {
    ScratchFolder folder;
    SinkOptions options = videoOptions(32, 32, 1.0);
    options.fpsNumerator = 30000;
    options.fpsDenominator = 1001;
    render(folder / "ntsc.mkv", options, 30);
    const Probe p = probe(folder / "ntsc.mkv");
    const StreamFacts* video = p.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_TRUE(video);
    EXPECT_NEAR(video->seconds, 30 * 1001 / 30000.0, 0.002);
    expectAudioLength(p.find(AVMEDIA_TYPE_AUDIO), 1.0, kContainers[1]);
}

} // namespace
} // namespace lumacore::cli
