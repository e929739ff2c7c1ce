// OBS's planar blocks as the analysis takes them: interleaved stereo, placed by their time
// stamps (gaps silent, repeats dropped, jumps starting the sound afresh).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "audio_feed.h"

namespace lumacore::obs::test {
namespace {

constexpr int kRate = 48000;
constexpr std::uint64_t kStart = 5'000'000'000; // OBS's clock counts from the machine's start

TEST(AudioFeed, InterleavesTheFrontChannels) {
    const std::vector<float> a{1, 2, 3}, b{-1, -2, -3}, c{9, 9, 9};
    const float* mono[] = {a.data()};
    const float* surround[] = {a.data(), b.data(), c.data(), c.data(), c.data(), c.data()};
    const float* missingRight[] = {a.data(), nullptr};
    struct Case {
        const char* name;
        const float* const* planes;
        int channels;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {"mono on both sides", mono, 1, {1, 1, 2, 2, 3, 3}},
        {"5.1: the front pair", surround, 6, {1, -1, 2, -2, 3, -3}},
        {"a missing plane is silent", missingRight, 2, {1, 0, 2, 0, 3, 0}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<float> out{7, 7}; // appended after what is there
        appendStereo(test.planes, test.channels, 3, out);
        std::vector<float> expected{7, 7};
        expected.insert(expected.end(), test.expected.begin(), test.expected.end());
        EXPECT_EQ(out, expected);
    }
}

// A block of `frames` frames whose samples all hold `value`, starting at `atNs`.
struct Block {
    std::int64_t frames;
    std::int64_t atNs; // from kStart
    float value;
};

TEST(AudioFeed, PlacesBlocksByTheirTimeStamps) {
    constexpr std::int64_t ms = 1'000'000;
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        std::vector<std::pair<float, std::int64_t>> runs; // the values taken, run by run
        std::int64_t endNs;                               // from kStart
        bool restarted;
    };
    // clang-format off
    const Case cases[] = {
        {"steady 10 ms blocks", {{480, 0, 1}, {480, 10 * ms, 2}, {480, 20 * ms, 3}},
         {{1, 480}, {2, 480}, {3, 480}}, 30 * ms, false},
        {"a stamp off by a fraction of a frame", {{480, 0, 1}, {480, 10 * ms + 7'000, 2}},
         {{1, 480}, {2, 480}}, 20 * ms, false},
        {"a 5 ms gap becomes silence", {{480, 0, 1}, {480, 15 * ms, 2}},
         {{1, 480}, {0, 240}, {2, 480}}, 25 * ms, false},
        {"a block repeating 2 ms loses them", {{480, 0, 1}, {480, 8 * ms, 2}},
         {{1, 480}, {2, 384}}, 18 * ms, false},
        {"a block wholly repeated adds nothing", {{480, 0, 1}, {240, 2 * ms, 2}},
         {{1, 480}}, 10 * ms, false},
        {"a jump of two seconds starts afresh", {{480, 0, 1}, {480, 2000 * ms, 2}},
         {{2, 480}}, 2010 * ms, true},
        {"a stamp two seconds back starts afresh", {{480, 3000 * ms, 1}, {480, 1000 * ms, 2}},
         {{2, 480}}, 1010 * ms, true},
    };
    // clang-format on
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        AudioFeed feed(kRate);
        for (const Block& block : test.blocks) {
            const std::vector<float> samples(static_cast<std::size_t>(block.frames), block.value);
            const float* planes[] = {samples.data(), samples.data()};
            feed.push(planes, 2, samples.size(), kStart + static_cast<std::uint64_t>(block.atNs));
        }
        std::vector<float> out;
        const AudioFeed::Taken taken = feed.take(out);
        std::vector<float> expected;
        for (const auto& [value, frames] : test.runs)
            expected.insert(expected.end(), 2 * static_cast<std::size_t>(frames), value);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(taken.frames, static_cast<std::int64_t>(expected.size() / 2));
        EXPECT_EQ(taken.endNs, kStart + static_cast<std::uint64_t>(test.endNs));
        EXPECT_EQ(taken.restarted, test.restarted);
        // Taken once: the next take is empty and continues the same sound.
        const AudioFeed::Taken again = feed.take(out);
        EXPECT_EQ(again.frames, 0);
        EXPECT_FALSE(again.restarted);
    }
}

TEST(AudioFeed, KeepsOnlyTheNewestWhenNobodyTakesTheSound) {
    AudioFeed feed(kRate);
    const std::vector<float> samples(480, 0.5f);
    const float* planes[] = {samples.data()};
    std::uint64_t at = kStart;
    for (int i = 0; i < 1000; ++i, at += 10'000'000) // ten seconds
        feed.push(planes, 1, samples.size(), at);
    std::vector<float> out;
    const AudioFeed::Taken taken = feed.take(out);
    EXPECT_EQ(taken.frames, static_cast<std::int64_t>(AudioFeed::kMaxWaitingSeconds * kRate));
    EXPECT_TRUE(taken.restarted);
    EXPECT_EQ(taken.endNs, at);
}

} // namespace
} // namespace lumacore::obs::test
