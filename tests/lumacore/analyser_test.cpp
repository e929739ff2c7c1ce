// The analyser against signals whose answer is known: sines at bin centres, silence, noise,
// exact waveform bytes, the timing of calls and the end of the sound, and the level of music.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "audio_test_support.h"

namespace lumacore::cli::test {
namespace {

// The documented curve: amplitude a (1 = a full-scale sine) gives round(255 * sqrt(a)), at most
// 255 (docs/analysis.md).
int documentedLevel(double amplitude) {
    return static_cast<int>(std::min(255.0, std::round(255.0 * std::sqrt(amplitude))));
}

struct BinRow {
    int leftBin;
    int rightBin;
};

class SineBinTest : public ::testing::TestWithParam<BinRow> {};

TEST_P(SineBinTest, PeaksAtItsBinOnItsOwnChannel) {
    const BinRow row = GetParam();
    SignalSource source(44100,
                        sines(0.5, binFrequency(row.leftBin), 0.5, binFrequency(row.rightBin)));
    const std::vector<Frame> frames = analyseAll(source, 30);
    ASSERT_EQ(frames.size(), 30u);
    for (std::size_t n = 1; n + 1 < frames.size(); ++n) { // whole windows only
        EXPECT_EQ(peakBin(frames[n].spectrum[0]), row.leftBin) << "call " << n;
        EXPECT_EQ(peakBin(frames[n].spectrum[1]), row.rightBin) << "call " << n;
        EXPECT_NEAR(frames[n].spectrum[0][row.leftBin], documentedLevel(0.5), 1);
        EXPECT_NEAR(frames[n].spectrum[1][row.rightBin], documentedLevel(0.5), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Bins, SineBinTest,
                         ::testing::Values(BinRow{1, 3}, BinRow{5, 8}, BinRow{26, 52},
                                           BinRow{100, 149}, BinRow{149, 100}, BinRow{300, 575},
                                           BinRow{575, 2}));

TEST(AnalyserLevels, FollowTheDocumentedCurve) {
    for (const double amplitude : {1.0, 0.7, 0.5, 0.1, 0.01, 0.001}) {
        SignalSource source(8000, sines(amplitude, binFrequency(40), amplitude, binFrequency(90)));
        const std::vector<Frame> frames = analyseAll(source, 10);
        ASSERT_GE(frames.size(), 2u);
        EXPECT_NEAR(frames[1].spectrum[0][40], documentedLevel(amplitude), 1) << amplitude;
        EXPECT_NEAR(frames[1].spectrum[1][90], documentedLevel(amplitude), 1) << amplitude;
    }
    // A constant (DC) of value d counts as amplitude d in bin 0.
    SignalSource dc(4000, [](long long, int channel) { return channel ? -0.25f : 0.125f; });
    const std::vector<Frame> frames = analyseAll(dc, 10);
    EXPECT_NEAR(frames[0].spectrum[0][0], documentedLevel(0.125), 1);
    EXPECT_NEAR(frames[0].spectrum[1][0], documentedLevel(0.25), 1);
}

// Silence, and sound no louder than inaudible() lets through however it is shaped, is all zeros;
// a little more is not.
TEST(AnalyserLevels, SilenceIsAllZeros) {
    struct Case {
        const char* name;
        SignalSource::Formula formula;
        bool audible;
    };
    const float quiet = 1.0f / 524288; // the loudest sample inaudible() passes
    const Case cases[] = {
        {"silence", [](long long, int) { return 0.0f; }, false},
        {"a constant at the limit", [=](long long, int) { return quiet; }, false},
        {"the highest frequency at the limit",
         [=](long long n, int) { return n % 2 ? quiet : -quiet; }, false},
        {"a sine on a bin at the limit", sines(quiet, binFrequency(40), quiet, binFrequency(41)),
         false},
        {"a sine on a bin four times louder",
         sines(4 * quiet, binFrequency(40), 4 * quiet, binFrequency(41)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SignalSource source(20000, c.formula);
        const std::vector<float> samples = readAll(source);
        EXPECT_EQ(inaudible(samples.data(), samples.size()), !c.audible);
        source.seek(0);
        const std::vector<Frame> frames = analyseAll(source, 60);
        ASSERT_EQ(frames.size(), 28u);
        bool zeros = true;
        for (const Frame& frame : frames)
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < kSamplesPerChannel; ++i)
                    zeros = zeros && frame.spectrum[ch][i] == 0 && frame.waveform[ch][i] == 0;
        EXPECT_EQ(zeros, !c.audible);
    }
}

TEST(AnalyserLevels, FullScaleNoiseStaysBelowTheTop) {
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> noise(2 * 88200);
    for (float& value : noise)
        value = uniform(random);
    SignalSource source(88200,
                        [&](long long frame, int channel) { return noise[2 * frame + channel]; });
    const std::vector<Frame> frames = analyseAll(source, 60);
    long long saturated = 0, total = 0;
    std::vector<double> mean(kSamplesPerChannel);
    for (const Frame& frame : frames)
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kSamplesPerChannel; ++i) {
                saturated += frame.spectrum[c][i] == 255;
                mean[i] += frame.spectrum[c][i];
                ++total;
            }
    EXPECT_LT(saturated, total / 100);
    // White noise is flat: no band of the spectrum is much stronger than another.
    const auto [low, high] = std::minmax_element(mean.begin() + 1, mean.end());
    EXPECT_GT(*low, 0.8 * *high);
}

// The demo tune stands in for ordinary music. Through the display's intensity,
// (2 + 0.01 i) * (left + right) capped at 245, its bass bins are bright and reach the cap on
// peaks only, its upper bins stay visible but dimmer, and no bin sits at the top of the scale.
TEST(AnalyserLevels, MusicLooksAliveOnTheDisplayWithoutSaturating) {
    const std::unique_ptr<AudioSource> tune = demoTune();
    const std::vector<Frame> frames = analyseAll(*tune, 30);
    double bass = 0, treble = 0;
    long long bassCount = 0, trebleCount = 0, capped = 0, saturated = 0;
    for (const Frame& frame : frames)
        for (int i = 0; i < 150; ++i) {
            const int sum = frame.spectrum[0][i] + frame.spectrum[1][i];
            const double intensity = std::min(245.0, (2 + 0.01 * i) * sum);
            saturated += (frame.spectrum[0][i] == 255) + (frame.spectrum[1][i] == 255);
            if (i < 30) {
                bass += intensity;
                capped += intensity == 245.0;
                ++bassCount;
            } else if (i >= 75) {
                treble += intensity;
                ++trebleCount;
            }
        }
    bass /= bassCount;
    treble /= trebleCount;
    EXPECT_GT(bass, 80.0);
    EXPECT_LT(bass, 200.0);
    EXPECT_GT(capped, 0);
    EXPECT_LT(capped, bassCount / 3);
    EXPECT_GT(treble, 15.0);
    EXPECT_LT(treble, bass);
    EXPECT_EQ(saturated, 0);
}

struct ByteRow {
    float sample;
    int expected; // the signed byte
};

class WaveformByteTest : public ::testing::TestWithParam<ByteRow> {};

TEST_P(WaveformByteTest, RoundsAndClamps) {
    const ByteRow row = GetParam();
    SignalSource source(1000, [&](long long, int) { return row.sample; });
    const std::vector<Frame> frames = analyseAll(source, 10);
    ASSERT_FALSE(frames.empty());
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kSamplesPerChannel; ++i)
            ASSERT_EQ(static_cast<signed char>(frames[0].waveform[c][i]), row.expected)
                << "sample " << row.sample;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(Samples, WaveformByteTest,
                         ::testing::Values(ByteRow{0.0f, 0}, ByteRow{0.5f, 64}, ByteRow{-0.5f, -64},
                                           ByteRow{1.0f, 127}, ByteRow{-1.0f, -128},
                                           ByteRow{1.5f, 127}, ByteRow{-3.0f, -128},
                                           ByteRow{1.0f / 256, 1}, ByteRow{-1.0f / 256, -1},
                                           ByteRow{0.99f / 256, 0}, ByteRow{kNaN, 0},
                                           ByteRow{kInfinity, 0}, ByteRow{-kInfinity, 0}));

// Call n shows the samples from floor(n * rate / callsPerSecond) on: with a ramp whose byte is
// known for every sample, each call's waveform shows exactly where it starts.
TEST(AnalyserTiming, WaveformStartsAtTheCallsSample) {
    const auto ramp = [](long long frame, int channel) {
        return static_cast<float>((frame % 200 - 100 + channel) / 128.0);
    };
    SignalSource source(5 * 44100, ramp);
    const std::vector<Frame> frames = analyseAll(source, 30000.0 / 1001);
    ASSERT_EQ(frames.size(), 150u); // ceil(5 s * 29.97)
    for (std::size_t n = 0; n < frames.size(); ++n) {
        const long long start = static_cast<long long>(n) * 44100 * 1001 / 30000;
        EXPECT_EQ(frames[n].timeUs, static_cast<std::uint64_t>(std::llround(n * 1001 / 30e-3)));
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kSamplesPerChannel; i += 25)
                ASSERT_EQ(static_cast<signed char>(frames[n].waveform[c][i]),
                          (start + i) % 200 - 100 + c)
                    << "call " << n << " channel " << c << " index " << i;
    }
}

struct EndRow {
    long long frames;
    int sampleRate;
    double callsPerSecond;
    long long expectedCalls; // ceil(frames * callsPerSecond / sampleRate)
};

class AnalyserEndTest : public ::testing::TestWithParam<EndRow> {};

// Every call whose time lies inside the sound happens; the window past the end is zeros.
TEST_P(AnalyserEndTest, CallsEveryTimeInsideTheSoundAndPadsTheLast) {
    const EndRow row = GetParam();
    SignalSource source(
        row.frames, [](long long, int) { return 0.5f; }, row.sampleRate);
    const std::vector<Frame> frames = analyseAll(source, row.callsPerSecond);
    ASSERT_EQ(static_cast<long long>(frames.size()), row.expectedCalls);
    if (frames.empty()) return;
    const auto start = static_cast<long long>(
        std::floor((row.expectedCalls - 1) * row.sampleRate / row.callsPerSecond + 1e-6));
    for (int i = 0; i < kSamplesPerChannel; ++i)
        ASSERT_EQ(frames.back().waveform[0][i], start + i < row.frames ? 64 : 0) << "index " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, AnalyserEndTest,
    ::testing::Values(EndRow{0, 44100, 60, 0}, EndRow{1, 44100, 60, 1},
                      EndRow{735 * 10, 44100, 60, 10}, EndRow{735 * 10 + 1, 44100, 60, 11},
                      EndRow{88200, 44100, 25, 50}, EndRow{441000, 44100, 0.5, 5},
                      EndRow{441001, 44100, 0.5, 6}, EndRow{48000, 48000, 1000, 1000},
                      EndRow{100, 8000, 200, 3}));

TEST(AnalyserTiming, ShortReadsGiveTheSameCalls) {
    const auto formula = sines(0.3, 440, 0.6, 3000);
    SignalSource whole(30000, formula);
    SignalSource trickle(30000, formula, 44100, 7);
    const std::vector<Frame> expected = analyseAll(whole, 0.7 * 60);
    const std::vector<Frame> got = analyseAll(trickle, 0.7 * 60);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t n = 0; n < got.size(); ++n) {
        ASSERT_EQ(std::memcmp(got[n].spectrum, expected[n].spectrum, sizeof got[n].spectrum), 0);
        ASSERT_EQ(std::memcmp(got[n].waveform, expected[n].waveform, sizeof got[n].waveform), 0);
    }
}

} // namespace
} // namespace lumacore::cli::test
