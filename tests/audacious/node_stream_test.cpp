// The nodes Audacious hands a visualiser, made a continuous stream at the true time: each node
// stands for the time since the one before, its frames repeated back and forth to fill it (or its
// newest frames alone when the time is shorter); any channel count becomes stereo.
#include "node_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumacore::audacious {
namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 512;

// A node whose sample of frame f, channel c is f + c / 10 (f up to 511, so exact in a float).
std::vector<float> node(int channels) {
    std::vector<float> pcm(std::size_t(kFrames) * channels);
    for (int f = 0; f < kFrames; ++f)
        for (int c = 0; c < channels; ++c)
            pcm[std::size_t(f) * channels + c] = float(f) + float(c) / 10;
    return pcm;
}

struct Row {
    const char* what;
    int channels;
    std::vector<double> times; // when each node is heard, in seconds
    std::vector<std::int64_t> spans;
    std::vector<bool> restarts;
    float left;  // the last node's frame just after the fade in, left
    float right; // and right
};

// Times in seconds; 30 ms at 44.1 kHz is 1323 frames, 4 ms 176, half a second 22050.
const Row kRows[] = {
    {"a first node: its own length", 2, {5.0}, {512}, {true}, 64.0f, 64.1f},
    {"30 ms: back and forth", 2, {5.0, 5.03}, {512, 1323}, {true, false}, 64.0f, 64.1f},
    {"4 ms: the newest frames", 2, {5.0, 5.004}, {512, 176}, {true, false}, 400.0f, 400.1f},
    {"0.5 s, as at 8 kHz: still sound", 2, {5.0, 5.5}, {512, 22050}, {true, false}, 64.0f, 64.1f},
    {"a stall over 1 s: afresh", 2, {5.0, 6.1}, {512, 512}, {true, true}, 64.0f, 64.1f},
    {"an earlier moment: afresh", 2, {5.0, 4.9}, {512, 512}, {true, true}, 64.0f, 64.1f},
    {"the same moment: no time", 2, {5.0, 5.0}, {512, 0}, {true, false}, 0.0f, 0.0f},
    {"mono on both sides", 1, {5.0}, {512}, {true}, 64.0f, 64.0f},
    {"six channels: the front pair", 6, {5.0}, {512}, {true}, 64.0f, 64.1f},
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

class NodeStreamRows : public ::testing::TestWithParam<Row> {};

TEST_P(NodeStreamRows, SpansAndFrames) {
    const Row& row = GetParam();
    SCOPED_TRACE(row.what);
    NodeStream stream(kRate);
    const std::vector<float> pcm = node(row.channels);
    for (std::size_t i = 0; i < row.times.size(); ++i) {
        EXPECT_EQ(stream.hear(pcm.data(), row.channels, kFrames, row.times[i]), row.spans[i])
            << "node " << i;
        EXPECT_EQ(stream.restarted(), row.restarts[i]) << "node " << i;
        EXPECT_EQ(stream.stereo().size(), std::size_t(2 * row.spans[i])) << "node " << i;
    }
    if (row.spans.back() == 0) return;
    const std::vector<float>& stereo = stream.stereo();
    EXPECT_EQ(stereo[2 * NodeStream::kFadeFrames], row.left);
    EXPECT_EQ(stereo[2 * NodeStream::kFadeFrames + 1], row.right);
    if (row.spans.back() > kFrames) { // then backwards from its last frame, then forwards
        EXPECT_EQ(stereo[2 * kFrames], float(kFrames - 1));
        EXPECT_EQ(stereo[4 * kFrames], 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Nodes, NodeStreamRows, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return "Row" + std::to_string(info.index);
                         });

// Over many nodes at uneven moments the stream is exactly as long as the time heard: no drift
// from rounding each gap.
TEST(NodeStream, LengthFollowsTheClockWithoutDrift) {
    NodeStream stream(kRate);
    const std::vector<float> pcm = node(2);
    std::int64_t total = 0;
    double now = 1000.0;
    for (int i = 0; i < 1000; ++i) {
        now += 0.029 + 0.002 * (i % 3); // 29, 31 or 33 ms
        total += stream.hear(pcm.data(), 2, kFrames, now);
    }
    const double first = 1000.0 + 0.029;
    EXPECT_EQ(total, kFrames + std::llround(now * kRate) - std::llround(first * kRate));
}

// Where one node meets the next, and where a node turns back, the stream moves on smoothly: the
// node here is a ramp (a step of 1 a frame), and no step of the stream is much larger than the
// ramp's whole height over the fade (without the fade, the joins jump by 511).
TEST(NodeStream, JoinsDoNotJump) {
    NodeStream stream(kRate);
    const std::vector<float> pcm = node(2);
    std::vector<float> left;
    for (int i = 0; i < 10; ++i) {
        stream.hear(pcm.data(), 2, kFrames, 5.0 + 0.032 * i);
        for (std::size_t f = 0; f < stream.stereo().size(); f += 2)
            left.push_back(stream.stereo()[f]);
    }
    float largest = 0;
    for (std::size_t i = 1; i < left.size(); ++i)
        largest = std::max(largest, std::abs(left[i] - left[i - 1]));
    EXPECT_LE(largest, 1.0f + float(kFrames) / NodeStream::kFadeFrames);
}

} // namespace
} // namespace lumacore::audacious
