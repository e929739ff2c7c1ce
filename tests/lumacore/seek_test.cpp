// Seeking every kind of source (files of each format at the renderer's rate and resampled, the
// demo tune): after seek(n), reads give the samples that reading from the start and discarding
// n frames gives; beyond the end they give nothing; and a negative position is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio_test_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kFileSeconds = 6.0;

struct SeekRow {
    const char* name;
    const char* extension; // nullptr: the demo tune
    const char* encoder;
    int rate;        // asked of the source
    float tolerance; // largest difference allowed from reading from the start
};

std::string seekRowName(const ::testing::TestParamInfo<SeekRow>& info) {
    return info.param.name;
}

// A stereo sound with something in every band a codec might treat apart: two sines, a chirp and
// noise bursts, so that a misplaced or half-decoded frame cannot hide.
void encodeTestSound(const std::string& path, const char* encoder) {
    // Commas inside the expression are escaped from the filter graph's syntax.
    const std::string left = "0.3*sin(2*PI*440*t)+0.2*sin(2*PI*(200+900*t)*t)";
    const std::string right = "0.3*sin(2*PI*1250*t)+0.15*(random(0)-0.5)*gt(mod(t\\,0.5)\\,0.4)";
    ASSERT_TRUE(runFfmpegTool(
        {"-f", "lavfi", "-i",
         "aevalsrc=" + left + "|" + right + ":s=44100:d=" + std::to_string(kFileSeconds), "-c:a",
         encoder, path}))
        << "ffmpeg could not make " << path;
}

class SeekTest : public ::testing::TestWithParam<SeekRow> {
  protected:
    std::unique_ptr<AudioSource> open() {
        const SeekRow& row = GetParam();
        return row.extension ? openAudio(path_, row.rate) : demoTune(row.rate);
    }
    std::string path_;
};

// The largest difference between `count` frames read now and the reference from `frame` on.
float differenceAt(AudioSource& source, const std::vector<float>& reference, std::int64_t frame,
                   std::size_t count, std::size_t& got) {
    std::vector<float> samples(2 * count);
    got = 0;
    while (got < count) {
        const std::size_t n = source.read(samples.data() + 2 * got, count - got);
        if (n == 0) break;
        got += n;
    }
    float worst = 0;
    for (std::size_t i = 0; i < 2 * got; ++i)
        worst = std::max(
            worst, std::fabs(samples[i] - reference[static_cast<std::size_t>(2 * frame) + i]));
    return worst;
}

TEST_P(SeekTest, GivesWhatReadingFromTheStartGives) {
    const SeekRow& row = GetParam();
    ScratchDir dir;
    if (row.extension) {
        if (!haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool to make the test file";
        if (!haveEncoder(row.encoder)) GTEST_SKIP() << "ffmpeg has no " << row.encoder;
        path_ = dir.file(std::string("sound.") + row.extension);
        encodeTestSound(path_, row.encoder);
    }
    std::vector<float> reference;
    {
        std::unique_ptr<AudioSource> whole = open();
        reference = readAll(*whole, 1000);
    }
    const auto total = static_cast<std::int64_t>(reference.size() / 2);
    ASSERT_GT(total, row.rate); // more than a second
    const std::int64_t second = row.rate;

    // Each step: where to read to first (-1: nowhere), where to seek, how much to compare.
    struct Step {
        const char* what;
        std::int64_t readTo;
        std::int64_t seekTo;
        std::int64_t compare;
    };
    const Step steps[] = {
        {"the start, after reading", second / 2, 0, second / 2},
        {"the middle, from the start", -1, total / 2, second / 2},
        {"the middle, on an odd frame", -1, total / 2 + 777, second / 4},
        {"near the end", -1, total - second / 10, second},
        {"the very end", -1, total, 10},
        {"beyond the end", -1, total + 10 * second, 10},
        {"backward by a second and more", 3 * second, total / 2 - 7 * second / 5, second / 2},
        {"forward a little", second, second + second / 3, second / 4},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        std::unique_ptr<AudioSource> source = open();
        if (step.readTo > 0) {
            std::vector<float> skipped(static_cast<std::size_t>(2 * step.readTo));
            ASSERT_EQ(source->read(skipped.data(), static_cast<std::size_t>(step.readTo)),
                      static_cast<std::size_t>(step.readTo));
        }
        source->seek(step.seekTo);
        const std::int64_t left = std::max<std::int64_t>(0, total - step.seekTo);
        const auto count = static_cast<std::size_t>(std::min(step.compare, left));
        std::size_t got = 0;
        const float worst = differenceAt(*source, reference, step.seekTo, count, got);
        EXPECT_EQ(got, count);
        EXPECT_LE(worst, row.tolerance);
        if (left <= step.compare) {
            float frame[2];
            EXPECT_EQ(source->read(frame, 1), 0u) << "a read after the end";
        }
    }

    std::unique_ptr<AudioSource> source = open();
    EXPECT_THROW(source->seek(-1), AudioError);
}

// Every format comes back exactly: WAV and FLAC frames stand alone, and the lossy decoders forget
// a jump within the second a seek decodes before its target (MP3's bit reservoir, the overlapping
// transforms of AAC, Vorbis and Opus, Opus's pre-roll). The tolerance is there for a format that
// could only approach what it decodes from the start; none needs it.
INSTANTIATE_TEST_SUITE_P(
    Sources, SeekTest,
    ::testing::Values(SeekRow{"wav", "wav", "pcm_s16le", 44100, 0.0f},
                      SeekRow{"wav_resampled", "wav", "pcm_s16le", 48000, 0.0f},
                      SeekRow{"flac", "flac", "flac", 44100, 0.0f},
                      SeekRow{"flac_resampled", "flac", "flac", 22050, 0.0f},
                      SeekRow{"mp3", "mp3", "libmp3lame", 44100, 0.0f},
                      SeekRow{"mp3_resampled", "mp3", "libmp3lame", 48000, 0.0f},
                      SeekRow{"aac", "m4a", "aac", 44100, 0.0f},
                      SeekRow{"vorbis", "ogg", "libvorbis", 44100, 0.0f},
                      SeekRow{"opus", "opus", "libopus", 48000, 0.0f},
                      SeekRow{"opus_resampled", "opus", "libopus", 44100, 0.0f},
                      SeekRow{"demo_tune", nullptr, nullptr, 44100, 0.0f},
                      SeekRow{"demo_tune_22k", nullptr, nullptr, 22050, 0.0f}),
    seekRowName);

} // namespace
} // namespace lumacore::cli::test
