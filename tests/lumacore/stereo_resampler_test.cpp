// Sound of any format on its way to the analysis: each stored sample reaches the same level, every
// layout reaches both channels, and a rate's pitch survives the conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "audio/stereo_resampler.h"

namespace lumacore {
namespace {

using Sample = StereoResampler::Sample;

// `value` stored as `sample` would be, in the machine's byte order.
std::vector<unsigned char> stored(Sample sample, double value) {
    std::vector<unsigned char> bytes(sample == Sample::S8 ? 1 : sample == Sample::S16 ? 2 : 4);
    const auto put = [&](auto v) { std::memcpy(bytes.data(), &v, sizeof v); };
    switch (sample) {
    case Sample::S8:
        put(static_cast<std::int8_t>(std::lround(value * 128)));
        break;
    case Sample::S16:
        put(static_cast<std::int16_t>(std::lround(value * 32768)));
        break;
    case Sample::S24In32:
        put(static_cast<std::int32_t>(std::lround(value * 8388608)));
        break;
    case Sample::S32:
        put(static_cast<std::int32_t>(std::lround(value * 2147483648.0)));
        break;
    case Sample::Float:
        put(static_cast<float>(value));
        break;
    }
    return bytes;
}

TEST(StereoResampler, EveryStoredSampleReachesTheSameLevelOnBothChannels) {
    const struct {
        const char* name;
        Sample sample;
        int channels;
    } cases[] = {
        {"8-bit", Sample::S8, 2},
        {"16-bit", Sample::S16, 2},
        {"24 in 32 bits", Sample::S24In32, 2},
        {"32-bit", Sample::S32, 2},
        {"16-bit mono", Sample::S16, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StereoResampler resampler(44100, 44100, c.channels, c.sample);
        std::vector<unsigned char> frames;
        constexpr int kFrames = 64;
        for (int i = 0; i < kFrames * c.channels; ++i) {
            const std::vector<unsigned char> one = stored(c.sample, i % 2 == 0 ? 0.5 : -0.25);
            frames.insert(frames.end(), one.begin(), one.end());
        }
        ASSERT_EQ(frames.size(), kFrames * resampler.frameBytes());
        std::vector<float> out;
        const std::size_t made = resampler.convert(frames.data(), kFrames, out);
        ASSERT_GT(made, 0u);
        ASSERT_EQ(out.size(), 2 * made);
        // Stereo keeps its channels apart; mono reaches both alike.
        const float left = out[0], right = out[1];
        if (c.channels == 2) {
            EXPECT_NEAR(left, 0.5f, 1e-3f);
            EXPECT_NEAR(right, -0.25f, 1e-3f);
        } else {
            EXPECT_EQ(left, right);
            EXPECT_GT(left, 0.25f);
        }
    }
}

TEST(StereoResampler, APitchSurvivesAnotherRate) {
    constexpr int kRate = 48000;
    constexpr double kFrequency = 1000;
    std::vector<float> mono(kRate);
    for (int i = 0; i < kRate; ++i)
        mono[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * kFrequency * i / kRate));
    StereoResampler resampler(kRate, 44100, 1, Sample::Float);
    std::vector<float> out;
    const std::size_t made = resampler.convert(mono.data(), mono.size(), out);
    EXPECT_NEAR(static_cast<double>(made), 44100, 64); // a few wait inside for what follows
    int crossings = 0;
    for (std::size_t i = 2; i < out.size(); i += 2)
        crossings += (out[i - 2] < 0) != (out[i] < 0);
    EXPECT_NEAR(crossings, 2 * kFrequency * made / 44100.0, 2);
}

} // namespace
} // namespace lumacore
