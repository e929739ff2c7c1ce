// The demo tune: the same samples every time however it is read, about 30 s of sound with no
// gap, below full scale, at whatever rate it is asked for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "audio_test_support.h"

namespace lumacore::cli::test {
namespace {

TEST(DemoTune, IsTheSameHoweverItIsRead) {
    const std::unique_ptr<AudioSource> first = demoTune();
    const std::unique_ptr<AudioSource> second = demoTune();
    const std::vector<float> a = readAll(*first, 4096);
    const std::vector<float> b = readAll(*second, 333);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}

class DemoTuneRateTest : public ::testing::TestWithParam<int> {};

TEST_P(DemoTuneRateTest, LastsAboutThirtySecondsWithSoundThroughout) {
    const int rate = GetParam();
    const std::unique_ptr<AudioSource> tune = demoTune(rate);
    EXPECT_EQ(tune->info().sampleRate, rate);
    EXPECT_EQ(tune->info().title, "Lumacore demo");
    EXPECT_EQ(tune->info().artist, "Lumacore");
    const std::vector<float> samples = readAll(*tune);
    const double seconds = samples.size() / 2.0 / rate;
    EXPECT_GE(seconds, 29.0);
    EXPECT_LE(seconds, 31.0);
    EXPECT_NEAR(tune->info().durationSeconds, seconds, 0.01);

    float peak = 0;
    for (const float value : samples) {
        ASSERT_TRUE(std::isfinite(value));
        peak = std::max(peak, std::fabs(value));
    }
    EXPECT_LT(peak, 1.0f);
    EXPECT_GT(peak, 0.25f);
    // Every whole second has sound on both sides, the fades included.
    for (std::size_t second = 0; second + 1 <= static_cast<std::size_t>(seconds); ++second)
        for (int c = 0; c < 2; ++c) {
            double sum = 0;
            for (std::size_t i = second * rate; i < (second + 1) * rate; ++i)
                sum += samples[2 * i + c] * samples[2 * i + c];
            EXPECT_GT(std::sqrt(sum / rate), 0.01) << "second " << second << " channel " << c;
        }
    // Two channels, not one copied.
    bool differ = false;
    for (std::size_t i = 0; i < samples.size() && !differ; i += 2)
        differ = samples[i] != samples[i + 1];
    EXPECT_TRUE(differ);
}

INSTANTIATE_TEST_SUITE_P(Rates, DemoTuneRateTest, ::testing::Values(44100, 48000, 22050, 8000));

} // namespace
} // namespace lumacore::cli::test
