// Which streams are one application's, and how its streams are summed, on their own: the names
// and processes a stream gives, a process tree, fragments arriving as a sound server sends them.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "listen/app_match.h"
#include "listen/stream_mixer.h"

namespace lumacore::cli {
namespace {

// A browser (100) with a child that plays (101, its grandchild 102), a player (200), and a shell
// (300) that started a program (301).
int parentIn(int pid) {
    static const std::map<int, int> parents = {{101, 100}, {102, 101}, {100, 1},
                                               {200, 1},   {301, 300}, {300, 1}};
    const auto found = parents.find(pid);
    return found == parents.end() ? 0 : found->second;
}

TEST(AppMatch, AStreamBelongsByNameBinaryOrProcessTree) {
    struct Case {
        const char* name;
        StreamOwner stream;
        std::string choice; // as --app takes it
        bool belongs;
    };
    // clang-format off
    const Case cases[] = {
        {"the application's name", {"Firefox", "firefox-esr", 101}, "firefox", true},
        {"the binary's name", {"Music", "mpv", 200}, "MPV", true},
        {"another name", {"Music", "mpv", 200}, "vlc", false},
        {"a name part of another", {"Firefox Nightly", "firefox", 5}, "fire", false},
        {"the process itself", {"", "", 200}, "200", true},
        {"a child of the process", {"", "", 101}, "100", true},
        {"a grandchild", {"", "", 102}, "100", true},
        {"the parent is not the child's", {"", "", 100}, "101", false},
        {"another process", {"", "", 301}, "200", false},
        {"a process not known", {"", "", 999}, "100", false},
        {"no process given", {"Music", "", 0}, "100", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<AppChoice> choice = AppChoice::parse(c.choice);
        ASSERT_TRUE(choice);
        EXPECT_EQ(belongsTo(c.stream, *choice, parentIn), c.belongs);
    }
    // A process table that loops (a damaged one) ends the walk.
    const auto loop = [](int pid) { return pid == 7 ? 8 : 7; };
    EXPECT_FALSE(belongsTo({"", "", 7}, AppChoice{9, ""}, loop));
}

TEST(AppMatch, ServersTextsReachTheTerminalWithTheirControlCharactersEscaped) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Firefox \xc3\xa9t\xc3\xa9", "Firefox \xc3\xa9t\xc3\xa9"}, // UTF-8 stays
        {"evil\x1b]0;owned\x07", "evil\\x1b]0;owned\\x07"},
        {"a\tcolumn\nmore", "a\\x09column\\x0amore"},
        {"c1 \xc2\x9b" "2J", "c1 \\u009b2J"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shownEscaped(c.text), c.shown) << c.shown;
}

TEST(AppMatch, WhatTheUserAndTheMediaPlayersSayBecomesAChoice) {
    struct Case {
        std::string text;
        std::optional<AppChoice> choice;
    };
    const Case cases[] = {
        {"firefox", AppChoice{0, "firefox"}},
        {"4242", AppChoice{4242, ""}},
        {"0", std::nullopt},
        {"", std::nullopt},
        {"99999999999", std::nullopt},
        {"12ab", AppChoice{0, "12ab"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AppChoice::parse(c.text), c.choice) << c.text;
    EXPECT_EQ(playerApp("org.mpris.MediaPlayer2.vlc", 5), (AppChoice{5, "vlc"}));
    EXPECT_EQ(playerApp("org.mpris.MediaPlayer2.firefox.instance_1_84", 6),
              (AppChoice{6, "firefox"}));
    EXPECT_EQ((AppChoice{0, "vlc"}).describe(), "'vlc'");
    EXPECT_EQ((AppChoice{5, "vlc"}).describe(), "'vlc' (the process 5)");
}

TEST(AppMatch, ListingGroupsEachApplicationsStreamsWithItsPlayer) {
    const std::vector<PlayingStream> streams = {
        {1, {"Firefox", "firefox-esr", 101}, "speakers"},
        {2, {"Firefox", "firefox-esr", 101}, "headphones"},
        {3, {"Firefox", "firefox-esr", 101}, "speakers"},
        {4, {"Music", "mpv", 200}, "speakers"},
        {5, {"beep", "paplay", 301}, "speakers"},
    };
    const std::vector<PlayerApp> players = {{AppChoice{100, "firefox"}, "Band - Song"},
                                            {AppChoice{200, "mpv"}, "Other - Tune"}};
    const std::vector<PlayingApp> apps =
        playingApps(streams, players, AppChoice{200, "mpv"}, parentIn);
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0].sinks, (std::vector<std::string>{"speakers", "headphones"}));
    EXPECT_EQ(apps[0].title, "Band - Song");
    EXPECT_FALSE(apps[0].followed);
    EXPECT_EQ(apps[1].title, "Other - Tune");
    EXPECT_TRUE(apps[1].followed);
    EXPECT_EQ(apps[2].title, "");
    EXPECT_FALSE(apps[2].followed);
}

// Frames made of one value, so that sums are easy to read.
std::vector<float> frames(std::size_t count, float value) {
    return std::vector<float>(2 * count, value);
}

TEST(StreamMixer, SumsWhatEveryStreamStillSendingHasDelivered) {
    struct Push {
        double at; // seconds
        int stream;
        std::size_t count;
        float value;
    };
    struct Case {
        const char* name;
        std::vector<int> streams;
        std::vector<Push> pushes;
        double takeAt;
        std::vector<float> taken; // the left channel of what comes out
        std::int64_t lost;
    };
    // clang-format off
    const Case cases[] = {
        {"one stream as it is", {1}, {{0, 1, 3, 0.25f}}, 0.01, {0.25f, 0.25f, 0.25f}, 0},
        {"two summed, as far as both came", {1, 2}, {{0, 1, 3, 0.25f}, {0, 2, 2, 0.5f}}, 0.01,
         {0.75f, 0.75f}, 0},
        {"one silent for a while is not waited for", {1, 2},
         {{0, 2, 1, 0.5f}, {0.2, 1, 3, 0.25f}}, 0.2, {0.75f, 0.25f, 0.25f}, 0},
        {"none sending: what is left", {1, 2}, {{0, 1, 2, 0.25f}, {0, 2, 1, 0.5f}}, 1.0,
         {0.75f, 0.25f}, 0},
        {"a full queue lets its oldest go", {1}, {{0, 1, 6, 0.25f}}, 0.01,
         {0.25f, 0.25f, 0.25f, 0.25f}, 2},
        {"no streams", {}, {}, 0.01, {}, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StreamMixer mixer(4);
        for (const int id : c.streams)
            mixer.add(id, 0);
        for (const Push& push : c.pushes) {
            const std::vector<float> sound = frames(push.count, push.value);
            mixer.push(push.stream, sound.data(), push.count, push.at);
        }
        std::vector<float> out;
        std::int64_t lost = 0;
        const std::size_t count = mixer.take(out, c.takeAt, lost);
        std::vector<float> left;
        for (std::size_t i = 0; i < count; ++i)
            left.push_back(out[2 * i]);
        EXPECT_EQ(left, c.taken);
        EXPECT_EQ(lost, c.lost);
    }
    // A stream that leaves takes what it had queued with it; one that was never added is not
    // heard.
    StreamMixer mixer(100);
    mixer.add(1, 0);
    mixer.add(2, 0);
    const std::vector<float> sound = frames(5, 0.5f);
    mixer.push(1, sound.data(), 5, 0);
    mixer.push(3, sound.data(), 5, 0);
    mixer.remove(1);
    std::vector<float> out;
    std::int64_t lost = 0;
    EXPECT_EQ(mixer.take(out, 0.01, lost), 0u);
    EXPECT_EQ(mixer.size(), 1u);
}

} // namespace
} // namespace lumacore::cli
