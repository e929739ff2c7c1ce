// Audacious playing tones with the Lumacore plug-in: the dock's picture, read off the screen,
// lights the tone's row of the 2D history, follows a track change, holds through a pause, comes
// back after the dock was closed, follows the dock's size, and takes mono, six channels, 8 kHz and
// 192 kHz alike. Each test has an X display, a sound server and an Audacious of its own.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "audacious_player.h"
#include "audio_test_support.h"
#include "play_support.h"
#include "sound_server.h"
#include "virtual_display.h"

namespace lumacore::cli::test {
namespace {

constexpr double kShowSeconds = 15; // the most a change may take to show
constexpr double kHoldSeconds = 1;  // how long a paused picture is watched for a change
constexpr double kToneSeconds = 60; // longer than any test: the tones play throughout
// Tones centred on spectrum bins, quiet enough that neither the bin nor its neighbours reach the
// display's cap, so that the tone's own band is the brightest.
constexpr int kFirstToneBin = 20;
constexpr int kSecondToneBin = 45;
constexpr double kToneAmplitude = 0.02;

class AudaciousTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!AudaciousPlayer::installed()) GTEST_SKIP() << "audacious or audtool is not installed";
        if (!VirtualDisplay::installed()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        if (!SoundServer::installed()) GTEST_SKIP() << "PulseAudio is not installed";
        display_.emplace();
        ASSERT_EQ(display_->problem(), "");
        server_.emplace();
        ASSERT_EQ(server_->problem(), "");
    }

    // A tone on `bin` as a WAV file of `rate` and `channels`, the same on each.
    std::string tone(const std::string& name, int bin, int rate = 44100, int channels = 2) {
        const std::string file = folder_.file(name + ".wav");
        writeSineWav(file, binFrequency(bin), kToneAmplitude, kToneSeconds, rate, channels);
        return file;
    }

    void start(const std::vector<std::string>& files) {
        player_.emplace(LUMACORE_AUDACIOUS_MODULE, files);
        ASSERT_EQ(player_->problem(), "");
    }

    // Polls the dock's picture until `shows` finds nothing against it (true) or the deadline
    // (false, `last` then what the last picture showed).
    bool showsWithin(const std::function<std::string(const Picture&)>& shows, std::string& last,
                     double seconds = kShowSeconds) {
        return pollUntil(
            [&] {
                const std::optional<Picture> picture = player_->picture();
                last = picture ? shows(*picture) : "no picture";
                return last.empty();
            },
            seconds);
    }

    // Waits until the picture shows the tone of `lit` and not that of `dark`.
    void expectTone(int lit, int dark) {
        std::string last;
        EXPECT_TRUE(
            showsWithin([&](const Picture& p) { return showsTones(p, {lit}, {dark}); }, last))
            << last;
    }

    ScratchDir folder_;
    std::optional<VirtualDisplay> display_;
    std::optional<SoundServer> server_;
    std::optional<AudaciousPlayer> player_;
};

TEST_F(AudaciousTest, ToneLightsItsRowAndTheNextTrackItsOwn) {
    start({tone("first", kFirstToneBin), tone("second", kSecondToneBin)});
    expectTone(kFirstToneBin, kSecondToneBin);
    ASSERT_TRUE(player_->audtool({"playlist-advance"}));
    expectTone(kSecondToneBin, kFirstToneBin);
}

TEST_F(AudaciousTest, PauseHoldsThePictureAndPlayMovesItAgain) {
    start({tone("first", kFirstToneBin)});
    expectTone(kFirstToneBin, kSecondToneBin);
    ASSERT_TRUE(player_->audtool({"playback-pause"}));
    ASSERT_TRUE(player_->waitForStatus("paused"));
    const std::optional<Picture> paused = player_->picture();
    ASSERT_TRUE(paused);
    std::string last;
    const auto differs = [&](const Picture& p) { return p == *paused ? "the same" : ""; };
    EXPECT_FALSE(showsWithin(differs, last, kHoldSeconds)) << "the paused picture changed";
    // A picture drawn for the pause's time would be the tone's row scrolled away into silence.
    // (Only the tone's own rows: the last sound before the pause may end in a click, and a click
    // on a loaded machine lights every row for a column or two.)
    const BinRows rows = binRows(kFirstToneBin, paused->width, paused->height);
    EXPECT_GE(brightestIn(*paused, rows.first, rows.end), kLit);
    ASSERT_TRUE(player_->audtool({"playback-pause"}));
    EXPECT_TRUE(showsWithin(differs, last)) << "the picture stayed after play went on";
}

TEST_F(AudaciousTest, DockClosedAndOpenedAgainShowsAndFollowsItsSize) {
    start({tone("first", kFirstToneBin)});
    expectTone(kFirstToneBin, kSecondToneBin);
    ASSERT_TRUE(player_->closeDock());
    ASSERT_TRUE(player_->openDock());
    expectTone(kFirstToneBin, kSecondToneBin);
    ASSERT_TRUE(player_->resizeDock(480, 300));
    std::string last;
    EXPECT_TRUE(showsWithin(
        [&](const Picture& p) {
            if (p.width != 480 || p.height != 300) return std::string("another size");
            return showsTones(p, {kFirstToneBin}, {kSecondToneBin});
        },
        last))
        << last;
    EXPECT_TRUE(player_->running());
}

// Audacious hands its visualisers the sound at the file's own rate and channels.
struct Format {
    const char* name;
    int rate;
    int channels;
};
void PrintTo(const Format& format, std::ostream* out) {
    *out << format.name;
}

class AudaciousFormats : public AudaciousTest, public ::testing::WithParamInterface<Format> {};

TEST_P(AudaciousFormats, ToneLightsItsRow) {
    start({tone(GetParam().name, kFirstToneBin, GetParam().rate, GetParam().channels)});
    expectTone(kFirstToneBin, kSecondToneBin);
}

INSTANTIATE_TEST_SUITE_P(Files, AudaciousFormats,
                         ::testing::Values(Format{"Mono8kHz", 8000, 1},
                                           Format{"SixChannels48kHz", 48000, 6},
                                           Format{"Stereo192kHz", 192000, 2}),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace lumacore::cli::test
