// The live clock and the live path every live end shares, against simulated sources: a sound
// made in real time and handed over as real sources hand it over (steadily, in bursts, late and
// unevenly, not at all for a while, early for a monitor), taken by a picture loop at 60 pictures
// a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "analysis/analyser.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "pipeline/live_analysis.h"
#include "pipeline/live_clock.h"

namespace lumacore::cli::test {
namespace {

constexpr int kRate = 44100;
constexpr double kPicture = 1.0 / 60;
constexpr double kWarmUp = 1.0; // seconds the clock may take to learn the source's pace, at least

struct Source {
    double every = 0.01;     // seconds between deliveries
    double spread = 0;       // each delivery up to this much later, at random
    double latency = 0;      // what the server says of the newest frame's age
    double quietFrom = -1;   // the source makes no sound at all from here...
    double quietUntil = -1;  // ...to here (a suspended sink)
    double pace = 1;         // the source's clock against the wall clock
    double switchAt = -1;    // from here on deliveries come...
    double thenEvery = 0.01; // ...this often instead (an idle sink that begins to play)
};

// Frames the source has made by wall time `t`.
std::int64_t made(const Source& source, double t) {
    double sounding = t;
    if (source.quietFrom >= 0 && t > source.quietFrom)
        sounding -= std::min(t, source.quietUntil) - source.quietFrom;
    return static_cast<std::int64_t>(std::floor(sounding * source.pace * kRate));
}

struct Picturing {
    double warmUp = kWarmUp;         // two of the source's deliveries, at least kWarmUp
    std::vector<double> wall, shown; // one a picture
    std::int64_t silence = 0;        // frames of silence added
    std::int64_t dropped = 0;        // frames that came in and were not kept
    std::int64_t beyond = 0;         // pictures that showed time no frame covered
};

Picturing simulate(const Source& source, double seconds) {
    LiveClock clock(kRate, kAnalysisWindow);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> late(0, source.spread);
    // When each delivery reaches the program, and up to which of the source's moments it holds.
    std::vector<std::pair<double, double>> deliveries;
    // A capture's frames are `latency` old when they come; a monitor's are yet to be heard.
    const double age = std::max(source.latency, 0.0);
    for (double at = source.every; at < seconds;) {
        deliveries.emplace_back(at + late(random), at - age);
        at += source.switchAt >= 0 && at >= source.switchAt ? source.thenEvery : source.every;
    }
    std::sort(deliveries.begin(), deliveries.end());
    Picturing run;
    run.warmUp = std::max(kWarmUp, 2 * source.every + source.spread);
    std::int64_t taken = 0;
    std::size_t next = 0;
    for (double now = 0; now < seconds; now += kPicture) {
        std::int64_t delivered = taken;
        while (next < deliveries.size() && deliveries[next].first <= now)
            delivered = std::max(delivered, made(source, deliveries[next++].second));
        const std::int64_t frames = delivered - taken;
        taken = delivered;
        const std::int64_t kept = clock.arrived(now, frames, source.latency);
        run.dropped += frames - kept;
        run.silence += clock.silenceDue(now);
        const double shown = clock.at(now);
        if (shown * kRate + kAnalysisWindow > static_cast<double>(clock.covered()) + 0.5)
            ++run.beyond;
        run.wall.push_back(now);
        run.shown.push_back(shown);
    }
    return run;
}

// The smallest and largest pace of the time shown over any `span` seconds after the warm-up.
std::pair<double, double> paces(const Picturing& run, double span) {
    double least = 1e9, most = -1e9;
    const auto pictures = static_cast<std::size_t>(std::round(span / kPicture));
    for (std::size_t i = 0; i + pictures < run.wall.size(); ++i) {
        if (run.wall[i] < run.warmUp) continue;
        const double pace =
            (run.shown[i + pictures] - run.shown[i]) / (run.wall[i + pictures] - run.wall[i]);
        least = std::min(least, pace);
        most = std::max(most, pace);
    }
    return {least, most};
}

// The most pictures in a row, after the warm-up, that showed the same time as the one before.
int longestStand(const Picturing& run) {
    int longest = 0, standing = 0;
    for (std::size_t i = 1; i < run.shown.size(); ++i) {
        if (run.wall[i] < run.warmUp) continue;
        standing = run.shown[i] == run.shown[i - 1] ? standing + 1 : 0;
        longest = std::max(longest, standing);
    }
    return longest;
}

TEST(LiveClock, KeepsTheSourcesTimeHoweverItIsHandedOver) {
    struct Case {
        const char* name;
        Source source;
        double silenceSeconds; // silence the quiet stretch should give, within 0.1 s
        double quiet;          // within 0.1 s
    };
    // clang-format off
    const Case cases[] = {
        {"10 ms fragments", {}, 0, 0},
        {"bursts of 0.3 s every 0.3 s", {.every = 0.3}, 0, 0},
        {"bursts of a second", {.every = 1.0}, 0, 0},
        {"fragments late by up to 80 ms", {.every = 0.02, .spread = 0.08}, 0, 0},
        {"a monitor 0.2 s ahead of what is heard", {.latency = -0.2}, 0, 0},
        {"a microphone 50 ms behind", {.latency = 0.05}, 0, 0},
        {"a sound card 0.3 % fast", {.pace = 1.003}, 0, 0},
        {"a sound card 0.3 % slow", {.pace = 0.997}, 0, 0},
        {"a sink suspended for three seconds", {.quietFrom = 4, .quietUntil = 7}, 3, 0},
        {"bursts, then suspended for five seconds", {.every = 0.3, .quietFrom = 4, .quietUntil = 9}, 5, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double seconds = 25;
        const Picturing run = simulate(c.source, seconds);
        EXPECT_EQ(run.beyond, 0) << "pictures of time the sound had not yet covered";
        EXPECT_TRUE(std::is_sorted(run.shown.begin(), run.shown.end())) << "the time went back";
        // Silence only for the time no sound covers; nothing of it counted twice.
        EXPECT_NEAR(run.silence / double(kRate), c.silenceSeconds, 0.1);
        EXPECT_LT(run.dropped / double(kRate), 0.1);
        if (c.source.quietFrom < 0) {
            // Over any ten seconds the picture keeps the wall clock's pace (the source's own pace
            // where it drifts), within 2 %, and it never waits for sound.
            const auto [least, most] = paces(run, 10);
            EXPECT_GE(least, c.source.pace * 0.98);
            EXPECT_LE(most, c.source.pace * 1.02);
            EXPECT_LE(longestStand(run), 1) << "the picture stood still while sound came in";
        } else {
            // A source gone quiet keeps the picture waiting a fifth of a second, then it draws
            // silence at the wall clock's pace.
            const auto [least, most] = paces(run, seconds - run.warmUp - 1);
            EXPECT_NEAR(least, 1, 0.02);
            EXPECT_NEAR(most, 1, 0.02);
            EXPECT_LE(longestStand(run) * kPicture, 0.25);
        }
    }
}

TEST(LiveClock, ShowsWhatIsHeardAsSoonAsItsSoundIsIn) {
    struct Case {
        const char* name;
        Source source;
        double mostBehind; // the newest call whose sound is in, less the time shown, at most
    };
    // The picture lags the newest call it could show by no more than the source's unevenness,
    // or, for a monitor, by how far its sound is ahead of the speakers.
    const Case cases[] = {
        {"10 ms fragments", {}, 0.02},
        {"bursts of 0.3 s every 0.3 s", {.every = 0.3}, 0.35},
        {"a monitor 0.2 s ahead of what is heard", {.latency = -0.2}, 0.23},
        {"an idle sink's second-long bursts, then play", {.every = 1.0, .switchAt = 6}, 0.02},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picturing run = simulate(c.source, 12);
        const double newest =
            made(c.source, run.wall.back() - std::max(c.source.latency, 0.0)) / double(kRate) -
            kAnalysisWindow / double(kRate);
        EXPECT_LE(newest - run.shown.back(), c.mostBehind);
    }
}

TEST(LiveClock, RemembersABoundedNumberOfArrivals) {
    // An hour of a capture's 2.5 ms fragments, pictured 60 times a second: what the clock keeps
    // of the arrivals stays what its few seconds of memory hold.
    LiveClock clock(kRate, kAnalysisWindow);
    constexpr double kFragment = 0.0025;
    constexpr std::int64_t kFrames = 110; // 2.5 ms at 44.1 kHz
    std::size_t most = 0;
    double nextPicture = 0;
    for (double t = 0; t < 3600; t += kFragment) {
        clock.arrived(t, kFrames, 0.01);
        if (t >= nextPicture) {
            clock.silenceDue(t);
            clock.at(t);
            nextPicture += kPicture;
        }
        most = std::max(most, clock.remembered());
    }
    // Of each arrival its lag (two while pictured), the wait before it and its base.
    EXPECT_LE(most, 4 * static_cast<std::size_t>(4.0 / kFragment) + 4);
}

// The live path as every live end drives it: blocks of sound heard as they come, a picture's
// time asked for 60 times a second, a runner drawing the calls.
struct Path {
    std::vector<double> shown;  // one a picture
    std::int64_t delivered = 0; // frames heard
    std::int64_t covered = 0;   // frames covered at the end: heard and silence
    double lastCall = -1;       // the runner's
    double pausedMoved = 0;     // how far the time shown moved while paused
};

// Sound until `soundUntil` but none from `quietFrom` to `quietUntil`, pictured for `seconds`,
// paused from `pauseFrom` to `pauseUntil`.
Path drive(double seconds, double soundUntil, double quietFrom, double quietUntil,
           double pauseFrom = -1, double pauseUntil = -1) {
    constexpr int kBlock = 441; // 10 ms
    FreetypeTextRenderer text;
    LiveAnalysis live(kRate);
    live.restartAt(0, 60);
    ModuleRunner runner({.width = 64, .height = 48}, "", live.calls(), text);
    runner.boundCatchUp(true);
    live.drive(&runner);
    std::vector<float> tone(2 * kBlock);
    for (int i = 0; i < 2 * kBlock; ++i)
        tone[i] = (i / 2 % 40 < 20) ? 0.5f : -0.5f;
    Path path;
    double nextBlock = 0, pausedAt = 0;
    for (double t = 0; t < seconds; t += kPicture) {
        for (; nextBlock + kBlock / double(kRate) <= t; nextBlock += kBlock / double(kRate)) {
            if (nextBlock >= soundUntil || (nextBlock >= quietFrom && nextBlock < quietUntil))
                continue;
            live.hear(t, tone.data(), kBlock, 0.01);
            path.delivered += kBlock;
        }
        const bool pausing = t >= pauseFrom && t < pauseUntil;
        if (pausing != live.paused()) {
            live.setPaused(pausing);
            if (pausing) pausedAt = live.shown();
        }
        const double time = live.pictureTime(t);
        if (pausing) path.pausedMoved = std::max(path.pausedMoved, time - pausedAt);
        runner.advanceTo(time);
        path.shown.push_back(time);
    }
    live.drive(nullptr);
    path.lastCall = runner.lastCallTime();
    path.covered = live.covered();
    return path;
}

TEST(LiveAnalysis, FollowsTheSoundDrawsSilenceWithoutItAndNeverGoesBack) {
    struct Case {
        const char* name;
        double soundUntil, quietFrom, quietUntil, pauseFrom, pauseUntil;
        bool silenceAdded;
    };
    // clang-format off
    const Case cases[] = {
        {"steady sound", 10, -1, -1, -1, -1, false},
        {"a gap of 1.5 s", 10, 1.5, 3.0, -1, -1, true},
        {"sound that stops", 2, -1, -1, -1, -1, true},
        {"no sound at all", 0, -1, -1, -1, -1, true},
        {"paused for 1 s", 10, -1, -1, 2.0, 3.0, false},
    };
    // clang-format on
    constexpr double kSeconds = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Path run =
            drive(kSeconds, c.soundUntil, c.quietFrom, c.quietUntil, c.pauseFrom, c.pauseUntil);
        EXPECT_TRUE(std::is_sorted(run.shown.begin(), run.shown.end())) << "went back";
        // On the move at the wall's pace, sound or silence; a pause only holds the picture.
        EXPECT_GE(run.shown.back(), kSeconds - 1.5);
        EXPECT_LE(run.shown.back(), kSeconds);
        EXPECT_EQ(run.pausedMoved, 0);
        // The picture shows the present: its last call is the one due by the time shown.
        EXPECT_NEAR(run.lastCall, run.shown.back(), 2.0 / 60);
        // Silence only where no sound came.
        if (c.silenceAdded)
            EXPECT_GT(run.covered, run.delivered + kRate / 2);
        else
            EXPECT_LE(run.covered, run.delivered + 441);
    }
}

} // namespace
} // namespace lumacore::cli::test
