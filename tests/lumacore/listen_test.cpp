// `lumacore listen` run as a user would: tones played with paplay into the null sinks of a real
// sound server, the program's dumped picture read for the rows they light, its list of sources,
// its answers to a missing server or source, and the server killed and started again under it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "compositor.h"
#include "fake_mpris.h"
#include "history/history_render.h"
#include "history/history_state.h"
#include "play_support.h"
#include "player_process.h"
#include "program_support.h"
#include "session_bus.h"
#include "sound_server.h"
#include "virtual_display.h"
#include "x_window.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

constexpr double kRunSeconds = 60;  // the most one run of the program may take
constexpr double kStepSeconds = 15; // the most the program may take to react to a change
constexpr int kWidth = 640;         // the window's client area
constexpr int kHeight = 480;
constexpr double kToneSeconds = 60; // longer than any run: the tones play throughout
constexpr const char* kFirstSink = "lumacore_first";
constexpr const char* kSecondSink = "lumacore_second";

// Tones centred on spectrum bins, quiet enough that neither the bin nor its neighbours reach the
// display's cap, so that the tone's own band is the brightest.
constexpr int kFirstToneBin = 20;
constexpr int kSecondToneBin = 45;
constexpr double kToneAmplitude = 0.02;

class ListenTest : public ::testing::Test {
  protected:
    void SetUp() override { setUpFor(SoundServer::Kind::PulseAudio); }
    void setUpFor(std::optional<SoundServer::Kind> kind) {
        if (!VirtualDisplay::installed()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        if (kind && (!SoundServer::installed(*kind) || !Playback::installed()))
            GTEST_SKIP() << "one of " << testing::PrintToString(SoundServer::programs(*kind))
                         << " or paplay is not installed";
        display_.emplace();
        ASSERT_EQ(display_->problem(), "");
    }

    fs::path folder() const { return fs::path(scratch_.file("")); }
    std::string file(const std::string& name) const { return scratch_.file(name); }
    // Settings are read and written in the scratch folder, never the user's.
    EnvironmentChanges environment(const EnvironmentChanges& more = {}) const {
        EnvironmentChanges changes = more;
        changes["XDG_CONFIG_HOME"] = scratch_.file("config");
        changes["LUMACORE_TIMING_LOG"] = scratch_.file("timing.log");
        return changes;
    }

    // A stereo WAV of a sine centred on spectrum bin `bin`, on both channels.
    std::string toneFile(int bin) const {
        const std::string name = file("bin" + std::to_string(bin) + ".wav");
        writeSineWav(name, binFrequency(bin), kToneAmplitude, kToneSeconds);
        return name;
    }

    // The newest call's time in the timing log; nullopt before the first picture.
    std::optional<double> newestCall() const {
        const std::vector<PresentedFrame> frames = readTimingLog(file("timing.log"));
        if (frames.empty()) return std::nullopt;
        return frames.back().newestCall;
    }

    std::optional<VirtualDisplay> display_;
    ScratchDir scratch_;
};
using ListenClock = ListenTest;

// A sound server and the way lumacore records it: on PipeWire its own API (the automatic choice)
// or, as on PulseAudio, the PulseAudio API that its pulse server answers.
struct ServerApi {
    SoundServer::Kind kind;
    bool pulseApi; // `--sound-api pulse` given
    // The arguments that choose it.
    std::vector<std::string> args() const {
        return pulseApi ? std::vector<std::string>{"--sound-api", "pulse"}
                        : std::vector<std::string>{};
    }
    // Whether PipeWire's own API records.
    bool native() const { return kind == SoundServer::Kind::PipeWire && !pulseApi; }
};
constexpr ServerApi kServerApis[] = {{SoundServer::Kind::PulseAudio, false},
                                     {SoundServer::Kind::PipeWire, false},
                                     {SoundServer::Kind::PipeWire, true}};
// Without the PipeWire server seen through its PulseAudio API.
constexpr ServerApi kOwnApis[] = {kServerApis[0], kServerApis[1]};
std::string nameOf(const ::testing::TestParamInfo<ServerApi>& info) {
    return SoundServer::name(info.param.kind) + (info.param.pulseApi ? "PulseApi" : "");
}
void PrintTo(const ServerApi& api, std::ostream* out) {
    *out << SoundServer::name(api.kind) << (api.pulseApi ? " through its PulseAudio API" : "");
}

// The same on each server and API.
class ListenOnServer : public ListenTest, public ::testing::WithParamInterface<ServerApi> {
  protected:
    void SetUp() override { setUpFor(GetParam().kind); }
    std::vector<std::string> with(std::vector<std::string> args) const {
        for (const std::string& arg : GetParam().args())
            args.push_back(arg);
        return args;
    }
};

std::string showsToneAlone(const Picture& picture, int shownBin, int silentBin) {
    return showsTones(picture, {shownBin}, {silentBin});
}

// ---------------------------------------------------------------------------------------------

// `listen --wallpaper` on a headless sway with two outputs of the window's size: the tone's row
// is lit on each output's picture, as the compositor draws it.
class ListenWallpaper : public ListenTest {
  protected:
    void SetUp() override {
        if (!Compositor::installed()) GTEST_SKIP() << "sway, swaymsg or grim is not installed";
        if (!SoundServer::installed(SoundServer::Kind::PulseAudio) || !Playback::installed())
            GTEST_SKIP() << "pulseaudio or paplay is not installed";
    }
};

TEST_F(ListenWallpaper, TheTonesRowIsLitOnEveryOutput) {
    Compositor compositor(kWidth, kHeight);
    ASSERT_EQ(compositor.problem(), "");
    const std::string second = compositor.addOutput(kWidth, kHeight);
    ASSERT_NE(second, "");
    SoundServer server(kFirstSink, SoundServer::Kind::PulseAudio);
    ASSERT_EQ(server.problem(), "");
    Playback tone(server, toneFile(kFirstToneBin), kFirstSink);
    ASSERT_EQ(tone.problem(), "");
    ChildProcess listen(
        {LUMACORE_PROGRAM, "listen", "--wallpaper", "--mode", "2d", "--duration", "60"},
        environment(), folder(), "/dev/null", file("errors.txt"));
    ASSERT_TRUE(pollUntil([&] { return newestCall().value_or(0) > 1; }, kStepSeconds))
        << "listen drew nothing: " << fileBytes(file("errors.txt"));
    for (const std::string& output : {std::string("HEADLESS-1"), second}) {
        SCOPED_TRACE(output);
        std::string shows = "no screenshot";
        EXPECT_TRUE(pollUntil(
            [&] {
                const auto shot = compositor.screenshot(output);
                if (!shot) return false;
                shows = showsToneAlone({shot->width, shot->height, shot->rgb}, kFirstToneBin,
                                       kSecondToneBin);
                return shows.empty();
            },
            kStepSeconds))
            << shows;
    }
    listen.stop();
}

using ListenPicture = ListenOnServer;
INSTANTIATE_TEST_SUITE_P(, ListenPicture, ::testing::ValuesIn(kServerApis), nameOf);

// The stream that records for lumacore as the server lists it: PipeWire's own API records at the
// graph's rate through a client of its own (our node, "lumacore"), the PulseAudio API at 44.1 kHz
// (on PipeWire through its pulse server). Empty when it is so, else what the server lists.
std::string recordsAsItShould(const SoundServer& server, const ServerApi& api) {
    const auto streams = server.recordingStreams();
    std::string listed;
    for (auto properties : streams) {
        const bool native = properties["node.name"] == "lumacore" &&
                            properties["client.api"].empty() &&
                            properties["sample.specification"] == "float32le 2ch 48000Hz";
        const bool pulse = properties["node.name"] != "lumacore" &&
                           properties["sample.specification"] == "float32le 2ch 44100Hz" &&
                           (api.kind == SoundServer::Kind::PulseAudio ||
                            properties["client.api"] == "pipewire-pulse");
        if (streams.size() == 1 && (api.native() ? native : pulse)) return "";
        listed += properties["node.name"] + " (" + properties["client.api"] + ", " +
                  properties["sample.specification"] + "); ";
    }
    return "recording: " + listed;
}

TEST_P(ListenPicture, TheSourceListenedToIsTheOneWhoseToneIsDrawn) {
    struct Case {
        const char* name;
        std::vector<std::string> args; // besides mode, size, dump and duration
        bool switchDefault;            // the default sink becomes the second one mid-run
        int shownBin, silentBin;
        bool inspected; // the server's list of recording streams is checked mid-run
    };
    // clang-format off
    const Case cases[] = {
        {"the default sink's monitor", {}, false, kFirstToneBin, kSecondToneBin, true},
        {"another sink's monitor by name", {"--source", std::string(kSecondSink) + ".monitor"},
         false, kSecondToneBin, kFirstToneBin, false},
        {"the default sink followed when it changes", {}, true, kSecondToneBin, kFirstToneBin,
         false},
        {"a named source kept when the default changes",
         {"--source", std::string(kFirstSink) + ".monitor"}, true, kFirstToneBin, kSecondToneBin,
         false},
    };
    // clang-format on
    SoundServer server(kFirstSink, GetParam().kind);
    ASSERT_EQ(server.problem(), "");
    ASSERT_TRUE(server.addSink(kSecondSink)) << server.problem();
    Playback first(server, toneFile(kFirstToneBin), kFirstSink);
    Playback second(server, toneFile(kSecondToneBin), kSecondSink);
    ASSERT_EQ(first.problem(), "");
    ASSERT_EQ(second.problem(), "");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server.setDefaultSink(kFirstSink));
        fs::remove(file("shown.png"));
        fs::remove(file("timing.log"));
        std::vector<std::string> args = {
            LUMACORE_PROGRAM, "listen",
            "--mode",         "2d",
            "--size",         std::to_string(kWidth) + "x" + std::to_string(kHeight),
            "--dump",         "shown.png"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args = with(args);
        // Without a switch the run ends by itself; with one, once a second of sound has been drawn
        // after it.
        args.insert(args.end(), {"--duration", c.switchDefault ? "50" : "3"});
        ChildProcess listen(args, environment(), folder(), "/dev/null", file("errors.txt"));
        if (c.inspected) {
            ASSERT_TRUE(pollUntil([&] { return newestCall().value_or(0) > 0.3; }, kStepSeconds))
                << "listen drew nothing: " << fileBytes(file("errors.txt"));
            EXPECT_EQ(recordsAsItShould(server, GetParam()), "");
        }
        if (c.switchDefault) {
            ASSERT_TRUE(pollUntil([&] { return newestCall().value_or(0) > 0.3; }, kStepSeconds))
                << "listen drew nothing: " << fileBytes(file("errors.txt"));
            ASSERT_TRUE(server.setDefaultSink(kSecondSink));
            const double switched = newestCall().value_or(0);
            ASSERT_TRUE(
                pollUntil([&] { return newestCall().value_or(0) > switched + 1; }, kStepSeconds));
            const auto window = findWindow(listen.pid(), kStepSeconds);
            ASSERT_TRUE(window) << "no window appeared";
            ASSERT_TRUE(typeKey(*window, "q"));
        }
        ASSERT_EQ(listen.waitExit(kRunSeconds), 0) << fileBytes(file("errors.txt"));
        const auto shown = readPng(file("shown.png"));
        ASSERT_TRUE(shown);
        ASSERT_EQ(shown->width, kWidth);
        ASSERT_EQ(shown->height, kHeight);
        EXPECT_EQ(showsToneAlone(*shown, c.shownBin, c.silentBin), "");
    }
}

// Silence draws nothing new once the picture is all silence: the window then shows a picture
// only when the banner ticks (every four seconds of sound), and the next sound starts the
// pictures again at once.
TEST_P(ListenPicture, ThePicturesStopForSilenceAndStartWithTheNextSound) {
    const char* modes[] = {"2d", "3d"};
    SoundServer server(kFirstSink, GetParam().kind);
    ASSERT_EQ(server.problem(), "");
    const std::string tone = file("short.wav");
    writeSineWav(tone, binFrequency(kFirstToneBin), kToneAmplitude, 2);
    const auto presented = [&] { return readTimingLog(file("timing.log")); };
    // Whether, after picture `from`, two pictures in a row lie 3.5 s of sound apart: the pictures
    // stopped in between, counted by the sound's own clock.
    const auto stoppedAfter = [&](std::size_t from) {
        const std::vector<PresentedFrame> frames = presented();
        for (std::size_t i = std::max<std::size_t>(from, 1); i < frames.size(); ++i)
            if (frames[i].heard - frames[i - 1].heard >= 3.5) return true;
        return false;
    };
    for (const char* mode : modes) {
        SCOPED_TRACE(mode);
        fs::remove(file("timing.log"));
        // 160 columns: the history scrolls out in 161 calls.
        ChildProcess listen(with({LUMACORE_PROGRAM, "listen", "--mode", mode, "--size", "160x120",
                                  "--rate", "60", "--duration", "60"}),
                            environment(), folder(), "/dev/null", file("errors.txt"));
        ASSERT_TRUE(pollUntil([&] { return stoppedAfter(0); }, kRunSeconds / 2))
            << presented().size() << " pictures, never stopping: " << fileBytes(file("errors.txt"));
        const std::size_t resting = presented().size();
        {
            Playback playing(server, tone, kFirstSink);
            ASSERT_EQ(playing.problem(), "");
            EXPECT_TRUE(pollUntil([&] { return presented().size() >= resting + 30; }, kStepSeconds))
                << "the sound did not start the pictures again";
        }
        const std::size_t woken = presented().size();
        EXPECT_TRUE(pollUntil([&] { return stoppedAfter(woken); }, kRunSeconds / 2))
            << "the pictures did not stop again after the sound";
        const auto window = findWindow(listen.pid(), kStepSeconds);
        ASSERT_TRUE(window) << "no window";
        ASSERT_TRUE(typeKey(*window, "q"));
        ASSERT_EQ(listen.waitExit(kRunSeconds), 0) << fileBytes(file("errors.txt"));
    }
}

// The stream time drawn over the wall time it took, from the timing log's pictures after the
// first second of drawing; 0 when there are too few.
double streamOverWall(const std::vector<PresentedFrame>& frames) {
    const auto drawing = std::find_if(frames.begin(), frames.end(),
                                      [](const PresentedFrame& f) { return f.newestCall >= 0; });
    if (drawing == frames.end()) return 0;
    const auto from = std::find_if(drawing, frames.end(), [&](const PresentedFrame& f) {
        return f.presentedNs - drawing->presentedNs >= 1'000'000'000LL;
    });
    if (from == frames.end() || frames.back().presentedNs - from->presentedNs < 2'000'000'000LL)
        return 0;
    return (frames.back().newestCall - from->newestCall) /
           ((frames.back().presentedNs - from->presentedNs) / 1e9);
}

// Sources that deliver in bursts keep their own time: the picture scrolls at the wall clock's
// pace, and nothing but the source's sound is drawn between the bursts.
TEST_F(ListenClock, SourcesThatDeliverInBurstsKeepTheWallClocksPace) {
    struct Case {
        const char* name;
        double burst; // seconds a burst holds, and between bursts; 0: nothing fed
        std::string source;
    };
    const Case cases[] = {
        {"a pipe source fed 0.3 s at a time", 0.3, "lumacore_burst"},
        {"the monitor of an idle null sink", 0, std::string(kFirstSink) + ".monitor"},
    };
    constexpr double kSeconds = 8;
    constexpr int kCheckedColumns = 300; // the last five seconds of the 2D history
    SoundServer server(kFirstSink);
    ASSERT_EQ(server.problem(), "");
    const fs::path fifo = file("burst.fifo");
    ASSERT_TRUE(server.addPipeSource("lumacore_burst", fifo)) << server.problem();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(file("shown.png"));
        fs::remove(file("timing.log"));
        std::optional<BurstFeeder> feeder;
        if (c.burst > 0) feeder.emplace(fifo, binFrequency(kFirstToneBin), kToneAmplitude, c.burst);
        const ProgramRun run =
            runPlay({"listen", "--source", c.source, "--mode", "2d", "--size",
                     std::to_string(kWidth) + "x" + std::to_string(kHeight), "--dump", "shown.png",
                     "--duration", std::to_string(kSeconds)},
                    folder(), environment(), kRunSeconds);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        if (feeder) {
            EXPECT_EQ(feeder->problem(), "");
        }
        const double pace = streamOverWall(readTimingLog(file("timing.log")));
        EXPECT_NEAR(pace, 1.0, 0.1) << "stream time over wall time";
        if (c.burst == 0) continue;
        // Every column of the last seconds shows the tone: no silence between the bursts.
        const auto shown = readPng(file("shown.png"));
        ASSERT_TRUE(shown);
        const BinRows rows = binRows(kFirstToneBin, shown->width, shown->height);
        int blank = 0;
        for (int x = shown->width - kCheckedColumns; x < shown->width; ++x) {
            int lit = 0;
            for (int y = rows.first; y < rows.end; ++y)
                lit = std::max(lit, brightness(*shown, x, y));
            blank += lit < kLit;
        }
        EXPECT_EQ(blank, 0) << "columns without the tone among the last " << kCheckedColumns;
    }
}

using ListenSources = ListenOnServer;
INSTANTIATE_TEST_SUITE_P(, ListenSources, ::testing::ValuesIn(kServerApis), nameOf);

TEST_P(ListenSources, TheListAndEachRefusalIsWhatTheUserReads) {
    struct Case {
        const char* name;
        std::vector<std::string> args; // after "listen"
        bool noServer;   // PULSE_SERVER and PIPEWIRE_REMOTE name sockets nobody listens on
        bool hungServer; // or one that takes the connection and never answers (the one the
                         // capture tested talks to)
        const char* defaultSink;
        int exitCode;
        std::vector<std::string> output; // standard output, line by line
        std::vector<std::string> errors; // the start of each line of standard error, in order
    };
    const std::string first = std::string(kFirstSink) + ".monitor\t";
    const std::string second = std::string(kSecondSink) + ".monitor\t";
    const std::string nowhere = "unix:" + file("nowhere/native");
    const std::string nowhereNative = file("nowhere/pipewire-0");
    const std::string refused = "lumacore: no sound server: cannot connect to '" + nowhere + "' (";
    HungServer hung(file("hung.socket"));
    ASSERT_EQ(hung.problem(), "");
    const std::string silent =
        GetParam().native()
            ? "lumacore: no sound server: PipeWire at '" + file("hung.socket") +
                  "' did not answer within 5 s"
            : "lumacore: no sound server: '" + hung.address() + "' did not answer within 5 s";
    const std::string through = std::string("lumacore: recording through ") +
                                (GetParam().native() ? "PipeWire" : "PulseAudio's API");
    // clang-format off
    const Case cases[] = {
        {"both monitors, the first default", {"--list-sources"}, false, false, kFirstSink, 0,
         {"* " + first, "  " + second}, {through}},
        {"both monitors, the second default", {"--list-sources"}, false, false, kSecondSink, 0,
         {"  " + first, "* " + second}, {through}},
        {"an unknown source, then the list", {"--source", "nowhere.monitor", "--duration", "1"},
         false, false, kFirstSink, 1, {},
         {"lumacore: no source named 'nowhere.monitor'", "", "* " + first, "  " + second}},
        {"no sound server", {"--duration", "1"}, true, false, kFirstSink, 1, {}, {refused}},
        {"no sound server to list", {"--list-sources"}, true, false, kFirstSink, 1, {}, {refused}},
        {"a server that never answers", {"--duration", "1"}, false, true, kFirstSink, 1, {},
         {silent}},
        {"PipeWire's own API asked for where it is not",
         {"--sound-api", "pipewire", "--list-sources"}, true, false, kFirstSink, 1, {},
         {"lumacore: no sound server: cannot connect to PipeWire at '" + nowhereNative + "' ("}},
    };
    // clang-format on
    SoundServer server(kFirstSink, GetParam().kind);
    ASSERT_EQ(server.problem(), "");
    ASSERT_TRUE(server.addSink(kSecondSink)) << server.problem();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(server.setDefaultSink(c.defaultSink));
        std::vector<std::string> args = {"listen", "--size", "320x180"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (std::find(args.begin(), args.end(), "--sound-api") == args.end()) args = with(args);
        EnvironmentChanges changes;
        if (c.noServer) {
            changes["PULSE_SERVER"] = nowhere;
            changes["PIPEWIRE_REMOTE"] = nowhereNative;
        }
        if (c.hungServer) {
            changes["PULSE_SERVER"] = hung.address();
            if (GetParam().native()) changes["PIPEWIRE_REMOTE"] = file("hung.socket");
        }
        const ProgramRun run = runPlay(args, folder(), environment(changes), kRunSeconds);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors;

        // Each line begins as wanted; a source's description follows its name and a tab.
        const auto matches = [](const std::vector<std::string>& said,
                                const std::vector<std::string>& wanted) {
            if (said.size() != wanted.size()) return false;
            for (std::size_t i = 0; i < said.size(); ++i)
                if (!said[i].starts_with(wanted[i]) ||
                    (wanted[i].ends_with("\t") && said[i].size() == wanted[i].size()))
                    return false;
            return true;
        };
        EXPECT_TRUE(matches(lines(run.output), c.output)) << "printed:\n" << run.output;
        std::vector<std::string> said = lines(run.errors);
        // The line that introduces the list is the program's to word.
        if (c.errors.size() > 1 && said.size() > 1) said[1] = "";
        EXPECT_TRUE(matches(said, c.errors)) << "said:\n" << run.errors;
    }
}

using ListenReconnection = ListenOnServer;
INSTANTIATE_TEST_SUITE_P(, ListenReconnection, ::testing::ValuesIn(kOwnApis), nameOf);

TEST_P(ListenReconnection, TheSoundIsDrawnAgainOnceTheServerIsBack) {
    SoundServer server(kFirstSink, GetParam().kind);
    ASSERT_EQ(server.problem(), "");
    const std::string tone = toneFile(kFirstToneBin);
    std::optional<Playback> playing(std::in_place, server, tone, kFirstSink);
    ASSERT_EQ(playing->problem(), "");

    ChildProcess listen({LUMACORE_PROGRAM, "listen", "--mode", "2d", "--size",
                         std::to_string(kWidth) + "x" + std::to_string(kHeight), "--dump",
                         "shown.png", "--duration", "60"},
                        environment(), folder(), "/dev/null", file("errors.txt"));
    ASSERT_TRUE(pollUntil([&] { return newestCall().value_or(0) > 1; }, kStepSeconds))
        << "listen drew nothing: " << fileBytes(file("errors.txt"));

    // With the server gone nothing more is captured: the window stays and its clock stands.
    playing.reset();
    server.kill();
    const auto standing = [&] {
        const std::vector<PresentedFrame> frames = readTimingLog(file("timing.log"));
        const std::size_t count = 30; // half a second of pictures
        return frames.size() > count &&
               std::all_of(frames.end() - count, frames.end(), [&](const PresentedFrame& f) {
                   return f.newestCall == frames.back().newestCall;
               });
    };
    ASSERT_TRUE(pollUntil(standing, kStepSeconds)) << "the clock did not stop";
    ASSERT_TRUE(listen.running()) << fileBytes(file("errors.txt"));
    const double stood = newestCall().value_or(0);

    // A server that takes the connection and never answers: the window never waits for it, past
    // one attempt's time limit too.
    {
        HungServer hung(GetParam().native()
                            ? server.nativeSocket()
                            : fs::path(server.address().substr(std::string("unix:").size())));
        ASSERT_EQ(hung.problem(), "");
        const long long from = readTimingLog(file("timing.log")).back().presentedNs;
        const auto presentedFor = [&](double seconds) {
            const std::vector<PresentedFrame> frames = readTimingLog(file("timing.log"));
            return frames.back().presentedNs - from >= seconds * 1e9;
        };
        ASSERT_TRUE(pollUntil([&] { return presentedFor(6.5); }, kStepSeconds))
            << "the window stopped presenting";
        const std::vector<PresentedFrame> frames = readTimingLog(file("timing.log"));
        long long longest = 0;
        for (std::size_t i = 1; i < frames.size(); ++i)
            if (frames[i].presentedNs > from)
                longest = std::max(longest, frames[i].presentedNs - frames[i - 1].presentedNs);
        EXPECT_LT(longest, 500'000'000LL) << "a picture waited for the server";
    }

    ASSERT_TRUE(server.restart()) << server.problem();
    playing.emplace(server, tone, kFirstSink);
    ASSERT_EQ(playing->problem(), "");
    EXPECT_TRUE(pollUntil([&] { return newestCall().value_or(0) > stood + 2; }, kStepSeconds))
        << "the clock did not move again: " << fileBytes(file("errors.txt"));
    const auto window = findWindow(listen.pid(), kStepSeconds);
    ASSERT_TRUE(window) << "no window";
    ASSERT_TRUE(typeKey(*window, "q"));

    ASSERT_EQ(listen.waitExit(kRunSeconds), 0) << fileBytes(file("errors.txt"));
    const std::vector<PresentedFrame> frames = readTimingLog(file("timing.log"));
    const auto wentBack = std::adjacent_find(
        frames.begin(), frames.end(), [](const PresentedFrame& a, const PresentedFrame& b) {
            return b.newestCall < a.newestCall || b.presentedNs < a.presentedNs;
        });
    EXPECT_EQ(wentBack, frames.end()) << "the clock went back";
    const auto shown = readPng(file("shown.png"));
    ASSERT_TRUE(shown);
    std::string last; // what the last pictures showed, should the tone be missing
    for (std::size_t i = frames.size() > 10 ? frames.size() - 10 : 0; i < frames.size(); ++i)
        last += std::to_string(frames[i].presentedNs) + " " + std::to_string(frames[i].heard) +
                " " + std::to_string(frames[i].newestCall) + "\n";
    EXPECT_EQ(showsToneAlone(*shown, kFirstToneBin, kSecondToneBin), "")
        << "the clock's return at " << stood << " s; the last pictures:\n"
        << last << fileBytes(file("errors.txt"));
}

// `listen --fifo`: what a player writes into a FIFO, without a sound server.
class ListenFifo : public ListenTest {
  protected:
    void SetUp() override { setUpFor(std::nullopt); }
};

// Whether column `x` of the 2D history shows bin `bin` lit.
bool columnLit(const Picture& picture, int x, int bin) {
    const BinRows rows = binRows(bin, picture.width, picture.height);
    int most = 0;
    for (int y = rows.first; y < rows.end; ++y)
        most = std::max(most, brightness(picture, x, y));
    return most >= kLit;
}

// The columns of the history, newest first, as runs of lit and dark in the rows of `bin`:
// {lit, dark, lit, ...}, the first run's length 0 when the newest column is dark.
std::vector<int> litRuns(const Picture& picture, int bin) {
    std::vector<int> runs = {0};
    bool lit = true;
    for (int x = picture.width - 1; x >= 0; --x) {
        if (columnLit(picture, x, bin) != lit) {
            lit = !lit;
            runs.push_back(0);
        }
        ++runs.back();
    }
    return runs;
}

TEST_F(ListenFifo, WhatThePlayerWritesIsDrawnAtItsPace) {
    enum class Writer { Steady, Pauses, Reopens };
    struct Case {
        const char* name;
        std::vector<std::string> format; // --fifo-format, or nothing for the default
        BurstFeeder::Sound sound;
        Writer writer;
        bool file = false; // a regular file being written, not a named pipe
    };
    const double first = binFrequency(kFirstToneBin);
    const BurstFeeder::Sound mpd{first, kToneAmplitude, 44100, 2, true};
    // clang-format off
    const Case cases[] = {
        {"a tone at its pace, in MPD's usual format", {}, mpd, Writer::Steady},
        {"mono floats at 48 kHz", {"--fifo-format", "48000:f:1"},
         {first, kToneAmplitude, 48000, 1, false}, Writer::Steady},
        {"a writer that pauses 2 s", {}, mpd, Writer::Pauses},
        {"a writer that closes the FIFO and opens it again", {}, mpd, Writer::Reopens},
        {"a file being written", {}, mpd, Writer::Steady, true},
    };
    // clang-format on
    constexpr double kCallsPerSecond = 60;
    constexpr double kBurst = 0.01; // as a player writes, a few hundred frames at a time
    const fs::path fifo = file("sound.fifo");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(fifo);
        fs::remove(file("shown.png"));
        fs::remove(file("timing.log"));
        if (c.file) {
            std::ofstream(fifo).flush();
        } else {
            ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        }
        std::vector<std::string> args = {LUMACORE_PROGRAM, "listen",  "--fifo", fifo.string(),
                                         "--mode",         "2d",      "--rate", "60",
                                         "--size",         "640x480", "--dump", "shown.png",
                                         "--duration",     "50"};
        args.insert(args.end(), c.format.begin(), c.format.end());
        ChildProcess listen(args, environment(), folder(), "/dev/null", file("errors.txt"));
        BurstFeeder feeder(fifo, c.sound, kBurst);
        // Until the picture has shown `seconds` more than at `from`.
        const auto drawUntil = [&](double from, double seconds) {
            return pollUntil([&] { return newestCall().value_or(0) >= from + seconds; },
                             kStepSeconds);
        };
        ASSERT_TRUE(drawUntil(0, 1.5)) << "listen drew nothing: " << fileBytes(file("errors.txt"));
        const double paused = newestCall().value_or(0);
        if (c.writer != Writer::Steady) {
            feeder.pause(c.writer == Writer::Reopens);
            ASSERT_TRUE(drawUntil(paused, 2));
            feeder.resume(c.writer == Writer::Reopens ? binFrequency(kSecondToneBin) : first);
        }
        ASSERT_TRUE(drawUntil(newestCall().value_or(0), 1));
        listen.signal(SIGTERM);
        ASSERT_TRUE(listen.waitExit(kRunSeconds)) << "still running";
        EXPECT_EQ(feeder.problem(), "");
        const auto shown = readPng(file("shown.png"));
        ASSERT_TRUE(shown) << fileBytes(file("errors.txt"));
        switch (c.writer) {
        case Writer::Steady:
            EXPECT_EQ(showsToneAlone(*shown, kFirstToneBin, kSecondToneBin), "");
            break;
        case Writer::Pauses: {
            // The tone, then about two seconds of silence, then the tone before them.
            EXPECT_EQ(showsToneAlone(*shown, kFirstToneBin, kSecondToneBin), "");
            const std::vector<int> runs = litRuns(*shown, kFirstToneBin);
            ASSERT_GE(runs.size(), 3u) << testing::PrintToString(runs);
            EXPECT_NEAR(runs[1], 2 * kCallsPerSecond, 0.25 * kCallsPerSecond)
                << testing::PrintToString(runs);
            EXPECT_GT(runs[2], kCallsPerSecond) << testing::PrintToString(runs);
            break;
        }
        case Writer::Reopens: {
            // The second tone now; the first before the pause.
            EXPECT_EQ(showsToneAlone(*shown, kSecondToneBin, kFirstToneBin), "");
            const std::vector<int> runs = litRuns(*shown, kFirstToneBin);
            ASSERT_GE(runs.size(), 3u) << testing::PrintToString(runs);
            EXPECT_GT(runs[2], kCallsPerSecond) << testing::PrintToString(runs);
            break;
        }
        }
    }
}

} // namespace
} // namespace lumacore::cli::test

namespace lumacore::cli::test {
namespace {

using ListenTitle = ListenTest;

// The banner and the window's title are set together: what a media player on the session bus
// announces reaches them, and so do its track changes; without a player, the source's
// description.
TEST_F(ListenTitle, TheTrackAMediaPlayerAnnouncesIsTheBanners) {
    SoundServer server(kFirstSink);
    ASSERT_EQ(server.problem(), "");
    SessionBus bus;
    ASSERT_TRUE(bus.started()) << "dbus-daemon did not start";
    ChildProcess listen({LUMACORE_PROGRAM, "listen", "--duration", "60"}, environment(), folder(),
                        "/dev/null", file("errors.txt"));
    const auto window = findWindow(listen.pid(), kStepSeconds);
    ASSERT_TRUE(window) << "no window (running: " << listen.running()
                        << "): " << fileBytes(file("errors.txt"));

    std::optional<FakePlayer> player;
    const auto titleBecomes = [&](const std::string& wanted) {
        return pollUntil(
            [&] {
                if (player) player->process();
                return windowName(*window).value_or("") == "Lumacore - " + wanted;
            },
            kStepSeconds);
    };
    EXPECT_TRUE(titleBecomes("Monitor of Null Output")) << windowName(*window).value_or("");
    player.emplace("fake", Track{"Playing", {"Artist"}, "Title"});
    EXPECT_TRUE(titleBecomes("Artist - Title")) << windowName(*window).value_or("");
    player->change(Track{"Playing", {"Artist"}, "Next"});
    EXPECT_TRUE(titleBecomes("Artist - Next")) << windowName(*window).value_or("");
    player.reset(); // the player leaves the bus
    EXPECT_TRUE(titleBecomes("Monitor of Null Output")) << windowName(*window).value_or("");

    ASSERT_TRUE(typeKey(*window, "q"));
    EXPECT_EQ(listen.waitExit(kStepSeconds), 0) << fileBytes(file("errors.txt"));
}

} // namespace
} // namespace lumacore::cli::test

namespace lumacore::cli::test {
namespace {

// Two more tones, for the streams that start as the runs go.
constexpr int kThirdToneBin = 70;
constexpr int kFourthToneBin = 95;

// What plays around one run of `listen --app` or `--follow-player`: two applications in one sink
// throughout ("alpha" on the first tone, "beta" on the second), and what a case adds.
struct AppScene {
    SoundServer& server;
    SessionBus& bus;
    Playback& alpha;
    Playback& beta;
    std::function<std::string(int bin)> tone;
    std::optional<Playback> extra;
    std::optional<PlayerProcess> one, two;

    // The media player lumacore_one ("One") or lumacore_two ("Two") playing tone `bin`.
    std::string startPlayer(std::optional<PlayerProcess>& player, const std::string& name,
                            const std::string& title, int bin) {
        player.emplace(bus, server, name, Track{"Playing", {"Artist"}, title}, kFirstSink,
                       std::vector<PlayerProcess::Stream>{{name + "-stream", tone(bin)}});
        return player->problem();
    }
    std::string play(const std::string& client, int bin) {
        extra.emplace(server, tone(bin), kFirstSink, client);
        return extra->problem();
    }
};

class ListenApp : public ListenOnServer {
  protected:
    void SetUp() override {
        setUpFor(GetParam().kind);
        if (!PlayerProcess::installed()) GTEST_SKIP() << "the test's media player was not built";
    }
    // A tone's file, written once.
    std::string tone(int bin) {
        if (!tones_.contains(bin)) tones_[bin] = toneFile(bin);
        return tones_[bin];
    }
    std::map<int, std::string> tones_;
};
INSTANTIATE_TEST_SUITE_P(, ListenApp, ::testing::ValuesIn(kServerApis), nameOf);

// The application recorded is the one drawn, alone, as its streams come, go and move, and as the
// player the banner shows changes; --list-apps names each and marks the player.
TEST_P(ListenApp, OneApplicationsSoundIsDrawnAlone) {
    using Step = std::function<std::string(AppScene&)>; // empty, or why it could not be done
    struct Case {
        const char* name;
        std::function<std::vector<std::string>(AppScene&)> args; // what to record
        Step before;                                             // when given, before the run
        Step during;                                             // when given, mid-run
        std::vector<int> lit, dark;                              // at the end
        std::string said;  // a line of its standard error, when given
        std::string title; // the window's title after the step mid-run, when given
    };
    const auto app = [](std::string name) {
        return [name](AppScene&) { return std::vector<std::string>{"--app", name}; };
    };
    const auto follow = [](AppScene&) { return std::vector<std::string>{"--follow-player"}; };
    const Step playerOne = [](AppScene& s) {
        return s.startPlayer(s.one, "lumacore_one", "One", kThirdToneBin);
    };
    // clang-format off
    const Case cases[] = {
        {"an application by name, beside another in its sink", app("alpha"), {}, {},
         {kFirstToneBin}, {kSecondToneBin}, "", ""},
        {"an application by its process",
         [](AppScene& s) { return std::vector<std::string>{"--app", std::to_string(s.beta.pid())}; },
         {}, {}, {kSecondToneBin}, {kFirstToneBin}, "", ""},
        {"its stream moved to another sink is followed", app("ALPHA"), {},
         [](AppScene& s) {
             return s.server.keepOnSink(s.alpha.stream(), kSecondSink) ? "" : s.server.problem();
         },
         {kFirstToneBin}, {kSecondToneBin}, "", ""},
        {"a second stream of it joins the first", app("alpha"), {},
         [](AppScene& s) { return s.play("alpha", kThirdToneBin); },
         {kFirstToneBin, kThirdToneBin}, {kSecondToneBin}, "", ""},
        {"an application that plays only later", app("gamma"), {},
         [](AppScene& s) { return s.play("gamma", kThirdToneBin); },
         {kThirdToneBin}, {kFirstToneBin, kSecondToneBin},
         "lumacore: nothing of 'gamma' is playing now; waiting for it to play", ""},
        {"the player the banner shows", follow, playerOne, {},
         {kThirdToneBin}, {kFirstToneBin, kSecondToneBin}, "", ""},
        {"a player that starts later is followed", follow, playerOne,
         [](AppScene& s) { return s.startPlayer(s.two, "lumacore_two", "Two", kFourthToneBin); },
         {kFourthToneBin}, {kFirstToneBin, kSecondToneBin, kThirdToneBin}, "",
         "Lumacore - Artist - Two"},
        {"without a player all the desktop is drawn", follow, playerOne,
         [](AppScene& s) { return s.one->stop() == 0 ? "" : "the player did not end well"; },
         {kFirstToneBin, kSecondToneBin}, {kThirdToneBin}, "",
         "Lumacore - no media player: all the desktop plays"},
    };
    // clang-format on
    SoundServer server(kFirstSink, GetParam().kind);
    ASSERT_EQ(server.problem(), "");
    ASSERT_TRUE(server.addSink(kSecondSink)) << server.problem();
    SessionBus bus;
    ASSERT_TRUE(bus.started()) << "dbus-daemon did not start";
    Playback alpha(server, tone(kFirstToneBin), kFirstSink, "alpha");
    Playback beta(server, tone(kSecondToneBin), kFirstSink, "beta");
    ASSERT_EQ(alpha.problem(), "");
    ASSERT_EQ(beta.problem(), "");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppScene scene{server, bus, alpha, beta, [this](int bin) { return tone(bin); }, {}, {}, {}};
        if (c.before) {
            ASSERT_EQ(c.before(scene), "");
        }
        fs::remove(file("shown.png"));
        fs::remove(file("timing.log"));
        std::vector<std::string> args = {LUMACORE_PROGRAM, "listen",  "--mode", "2d",
                                         "--size",         "640x480", "--dump", "shown.png",
                                         "--duration",     "50"};
        for (const std::string& arg : c.args(scene))
            args.push_back(arg);
        args = with(args);
        ChildProcess listen(args, environment(), folder(), "/dev/null", file("errors.txt"));
        const auto window = findWindow(listen.pid(), kStepSeconds);
        ASSERT_TRUE(window) << "no window: " << fileBytes(file("errors.txt"));
        ASSERT_TRUE(pollUntil([&] { return newestCall().value_or(0) > 0.5; }, kStepSeconds))
            << "listen drew nothing: " << fileBytes(file("errors.txt"));
        if (c.during) {
            ASSERT_EQ(c.during(scene), "");
        }
        if (!c.title.empty()) {
            EXPECT_TRUE(pollUntil([&] { return windowName(*window).value_or("") == c.title; },
                                  kStepSeconds))
                << windowName(*window).value_or("") << fileBytes(file("errors.txt"));
        }
        // Two seconds drawn after the change: the newest columns show only what followed it.
        const double changed = newestCall().value_or(0);
        ASSERT_TRUE(
            pollUntil([&] { return newestCall().value_or(0) > changed + 2; }, kStepSeconds));
        ASSERT_TRUE(typeKey(*window, "q")) << fileBytes(file("errors.txt"));
        ASSERT_EQ(listen.waitExit(kRunSeconds), 0) << fileBytes(file("errors.txt"));
        const auto shown = readPng(file("shown.png"));
        ASSERT_TRUE(shown);
        EXPECT_EQ(showsTones(*shown, c.lit, c.dark), "") << fileBytes(file("errors.txt"));
        if (!c.said.empty()) {
            const std::vector<std::string> said = lines(fileBytes(file("errors.txt")));
            EXPECT_NE(std::find(said.begin(), said.end(), c.said), said.end())
                << fileBytes(file("errors.txt"));
        }
        ASSERT_TRUE(server.keepOnSink(alpha.stream(), kFirstSink)) << server.problem();
    }

    // The list: each application with its binary, process, sinks and player's title; the one
    // --follow-player takes marked.
    AppScene scene{server, bus, alpha, beta, [this](int bin) { return tone(bin); }, {}, {}, {}};
    ASSERT_EQ(playerOne(scene), "");
    const ProgramRun run =
        runPlay(with({"listen", "--list-apps"}), folder(), environment(), kRunSeconds);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    // The binary is what the server says plays (paplay is pacat under another name).
    const auto line = [&](bool marked, const std::string& name, const std::string& stream,
                          pid_t pid, const std::string& title) {
        return std::string(marked ? "* " : "  ") + name + "\t" +
               server.streamProperties(stream)["application.process.binary"] + "\t" +
               std::to_string(pid) + "\t" + kFirstSink + "\t" + title;
    };
    const std::vector<std::string> wanted = {
        line(false, "alpha", alpha.stream(), alpha.pid(), "-"),
        line(false, "beta", beta.stream(), beta.pid(), "-"),
        line(true, "lumacore_one-stream", scene.one->streams().at(0),
             scene.one->streamProcesses().at(0), "Artist - One"),
    };
    EXPECT_EQ(lines(run.output), wanted) << run.output;
}

} // namespace
} // namespace lumacore::cli::test
