// The source's pictures against made-up OBS audio: blocks time-stamped on OBS's clock pass
// through the feed as the audio thread hands them over, and a picture is advanced every video
// frame. The time shown must follow the sound's time stamps while it comes, go on at the wall
// clock's pace as silence while none comes, and never go back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audio_feed.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "pipeline/live_picture.h"
#include "source_settings.h"

namespace lumacore::obs::test {
namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 480;         // 10 ms, as OBS hands its audio over
constexpr double kFrame = 1.0 / 60; // OBS's video frames
constexpr double kStart = 1000;     // OBS's clock counts from the machine's start
constexpr double kLatency = 0.03;   // a block's stamp lags its delivery this much
constexpr double kWarmUp = 1.0;

struct Pictured {
    std::vector<double> wall, shown;
    std::int64_t changed = 0; // pictures that changed
    double lastCall = -1;
    std::int64_t delivered = 0, covered = 0;
};

// Sound from the start to `soundUntil`, none from `quietFrom` to `quietUntil` (its stamps then
// jump over the quiet time), pictured for `seconds`.
Pictured simulate(double seconds, double soundUntil, double quietFrom, double quietUntil) {
    FreetypeTextRenderer text;
    SourcePicture picture = pictureFor({.width = 64, .height = 48});
    cli::LivePicture live(picture.display, picture.callsPerSecond, "", kRate, "OBS's audio", text,
                          kStart);
    AudioFeed feed(kRate);
    const std::vector<float> tone = [] {
        std::vector<float> samples(kBlock);
        for (int i = 0; i < kBlock; ++i)
            samples[i] = (i % 48 < 24) ? 0.5f : -0.5f;
        return samples;
    }();
    const float* planes[] = {tone.data(), tone.data()};
    Pictured run;
    double nextBlock = 0; // stream seconds of the next block's start
    std::vector<float> incoming;
    for (double t = 0; t < seconds; t += kFrame) {
        // The audio thread's deliveries up to now.
        while (nextBlock + kBlock / double(kRate) + kLatency <= t) {
            const bool quiet = nextBlock >= quietFrom && nextBlock < quietUntil;
            if (nextBlock < soundUntil && !quiet) {
                const auto stamp = static_cast<std::uint64_t>((kStart + nextBlock) * 1e9);
                feed.push(planes, 2, kBlock, stamp);
                run.delivered += kBlock;
            }
            nextBlock += kBlock / double(kRate);
        }
        const double now = kStart + t;
        incoming.clear();
        const AudioFeed::Taken taken = feed.take(incoming);
        live.hear(incoming.data(), taken.frames, static_cast<double>(taken.endNs) / 1e9,
                  taken.restarted, now);
        run.changed += live.advance(now);
        run.wall.push_back(t);
        run.shown.push_back(live.shownSeconds());
    }
    run.lastCall = live.runner().lastCallTime();
    run.covered = live.covered();
    return run;
}

// The least pace of the time shown over any second from `from` on.
double leastPace(const Pictured& run, double from) {
    double least = 1e9;
    const auto span = static_cast<std::size_t>(1 / kFrame);
    for (std::size_t i = 0; i + span < run.wall.size(); ++i)
        if (run.wall[i] >= from)
            least = std::min(least, (run.shown[i + span] - run.shown[i]) /
                                        (run.wall[i + span] - run.wall[i]));
    return least;
}

TEST(LivePicture, FollowsTheSoundAndDrawsSilenceWithoutIt) {
    struct Case {
        const char* name;
        double soundUntil, quietFrom, quietUntil;
        double leastShownAtEnd; // of 5 s pictured
        bool silenceAdded;
    };
    // clang-format off
    const Case cases[] = {
        // What the OBS end adds to the live path (whose own table has the rest): OBS's rate
        // resampled, its time stamps made latencies, and a jump in them made a restart.
        {"steady sound", 10, -1, -1, 4.0, false},
        {"a gap of 1.5 s", 10, 1.5, 3.0, 4.0, true},
    };
    // clang-format on
    constexpr double kSeconds = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Pictured run = simulate(kSeconds, c.soundUntil, c.quietFrom, c.quietUntil);
        EXPECT_TRUE(std::is_sorted(run.shown.begin(), run.shown.end())) << "went back";
        EXPECT_GE(run.shown.back(), c.leastShownAtEnd);
        EXPECT_LE(run.shown.back(), kSeconds);
        // Always on the move at about the wall's pace once started, sound or silence.
        EXPECT_GT(leastPace(run, kWarmUp + 0.5), 0.7);
        // The picture shows the present: its last call is the one due by the time shown.
        EXPECT_NEAR(run.lastCall, run.shown.back(), 2.0 / 60);
        EXPECT_GT(run.changed, static_cast<std::int64_t>((kSeconds - kWarmUp) * 30));
        // Silence only where no sound came.
        if (c.silenceAdded)
            EXPECT_GT(run.covered, run.delivered + kRate / 2);
        else
            EXPECT_LE(run.covered, run.delivered + kBlock);
    }
}

} // namespace
} // namespace lumacore::obs::test
