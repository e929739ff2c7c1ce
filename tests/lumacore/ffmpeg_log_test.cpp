// FFmpeg's one log, routed by the object each message is about: an owner hears its objects'
// errors from any thread, and nothing of another owner's, whatever else is decoding meanwhile.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "audio_test_support.h"
#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_owners.h"

extern "C" {
#include <libavutil/log.h>
}

namespace lumacore::cli::test {
namespace {

// The least FFmpeg logs about: an object whose first member names its class.
struct FakeContext {
    const AVClass* type;
};
const AVClass kFakeClass = [] {
    AVClass type{};
    type.class_name = "fake";
    type.item_name = av_default_item_name;
    type.version = LIBAVUTIL_VERSION_INT;
    return type;
}();

TEST(FfmpegLog, RoutesErrorsToTheOwnerOfTheirObjectFromAnyThread) {
    FfmpegLog decoder, encoder;
    FakeContext decoding{&kFakeClass}, encoding{&kFakeClass}, nobodys{&kFakeClass};
    decoder.watch(&decoding);
    encoder.watch(&encoding);
    const auto logMany = [](FakeContext* object, const char* who) {
        for (int i = 0; i < 2000; ++i)
            av_log(object, AV_LOG_ERROR, "%s error %d\n", who, i);
    };
    std::thread first(logMany, &decoding, "decoder");
    std::thread second(logMany, &encoding, "encoder");
    av_log(&nobodys, AV_LOG_ERROR, "nobody's error\n");
    first.join();
    second.join();
    EXPECT_EQ(decoder.takeLastError(), "decoder error 1999");
    EXPECT_EQ(encoder.takeLastError(), "encoder error 1999");
    EXPECT_EQ(decoder.takeLastError(), "") << "taken once";

    av_log(&decoding, AV_LOG_WARNING, "only a warning\n");
    EXPECT_EQ(decoder.takeLastError(), "");
    decoder.forget(&decoding);
    av_log(&decoding, AV_LOG_ERROR, "after forgetting\n");
    EXPECT_EQ(decoder.takeLastError(), "");
}

// A real encoder refusing its settings on a worker thread, while a decoder is open on this one:
// its reason reaches the owner's message (a per-thread record lost it, and the decoder's
// silencing of FFmpeg's log hid it).
TEST(FfmpegLog, AnEncodersReasonReachesItsOwnerWhileADecoderIsOpen) {
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!aac) GTEST_SKIP() << "no AAC encoder in this FFmpeg";
    if (!haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool to make the decoder's file";
    ScratchDir dir;
    const std::string wav = dir.file("a.wav");
    ASSERT_TRUE(runFfmpegTool({"-f", "lavfi", "-i", "sine=d=0.5", wav}));
    std::unique_ptr<AudioSource> decoding = openAudio(wav);

    FfmpegLog owner, bystander;
    std::string message;
    std::thread worker([&] {
        CodecPtr context(avcodec_alloc_context3(aac));
        owner.watch(context.get());
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        av_channel_layout_copy(&context->ch_layout, &stereo);
        context->sample_fmt = AV_SAMPLE_FMT_FLTP;
        context->sample_rate = 12345; // no AAC rate
        context->time_base = {1, 12345};
        message = errorText(avcodec_open2(context.get(), aac, nullptr), &owner);
    });
    worker.join();
    EXPECT_NE(message.find("12345"), std::string::npos) << message;
    EXPECT_EQ(bystander.takeLastError(), "");
    std::vector<float> samples = readAll(*decoding);
    EXPECT_FALSE(samples.empty());
}

} // namespace
} // namespace lumacore::cli::test
