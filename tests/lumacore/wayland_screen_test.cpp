// Lumacore's Wayland client against a real compositor (headless sway): the wallpaper on two
// outputs and the window, read back through the compositor's own screenshots (grim), pixel for
// pixel; keys typed through the virtual keyboard (wtype). The rules a unit holds (key symbols,
// the fits of a picture) are tested as units.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "compositor.h"
#include "live/key_actions.h"
#include "live/play_error.h"
#include "live/wayland_display.h"
#include "live/wayland_keys.h"
#include "live/wayland_picture.h"

namespace lumacore::cli::test {
namespace {

using lumacore::test::DecodedPng;

constexpr double kDeadline = 15;

std::uint32_t cellColour(int column, int row, std::uint32_t tint) {
    const auto byte = [](int value) { return static_cast<std::uint32_t>(value & 0xFF); };
    return tint ^ (byte(column * 7) << 16) ^ (byte(row * 13) << 8) ^
           byte((column + row) & 1) * 0x80;
}

// A picture of square cells, each its own colour, so that a cell's place shows in its colour.
Bitmap cells(int width, int height, int cell, std::uint32_t tint) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.row(y)[x] = cellColour(x / cell, y / cell, tint);
    return picture;
}

std::uint32_t pixelOfShot(const DecodedPng& shot, int x, int y) {
    const std::size_t at = (static_cast<std::size_t>(y) * shot.width + x) * 3;
    return (std::uint32_t{shot.rgb[at]} << 16) | (std::uint32_t{shot.rgb[at + 1]} << 8) |
           shot.rgb[at + 2];
}

// How many of the shot's pixels inside (or outside) `area` differ from `expected`.
struct Area {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};
int differing(const DecodedPng& shot, const std::function<std::uint32_t(int, int)>& expected,
              const std::function<bool(int, int)>& counted) {
    int count = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (counted(x, y) && pixelOfShot(shot, x, y) != expected(x, y)) ++count;
    return count;
}

// Where the output's picture first differs from `expected`, for a failure's message.
std::string firstDifference(Compositor& compositor, const std::string& output,
                            const std::function<std::uint32_t(int, int)>& expected) {
    const auto shot = compositor.screenshot(output);
    if (!shot) return "no screenshot of " + output;
    for (int y = 0; y < shot->height; ++y)
        for (int x = 0; x < shot->width; ++x)
            if (pixelOfShot(*shot, x, y) != expected(x, y)) {
                char text[160];
                std::snprintf(text, sizeof text, "%s (%d x %d) at %d,%d: %06x, not %06x",
                              output.c_str(), shot->width, shot->height, x, y,
                              pixelOfShot(*shot, x, y), expected(x, y));
                return text;
            }
    return output + " as expected";
}

bool matches(Compositor& compositor, const std::string& output, int width, int height,
             const std::function<std::uint32_t(int, int)>& expected) {
    const auto shot = compositor.screenshot(output);
    return shot && shot->width == width && shot->height == height &&
           differing(*shot, expected, [](int, int) { return true; }) == 0;
}

// Handles the screen's events and shows `picture` until `condition` holds.
bool showUntil(LiveScreen& screen, const Bitmap& picture, bool scaled,
               const std::function<bool()>& condition, std::vector<ScreenEvent>* events = nullptr) {
    return pollUntil(
        [&] {
            while (auto event = screen.nextEvent())
                if (events) events->push_back(*event);
            screen.show(picture, scaled);
            return condition();
        },
        kDeadline);
}

std::pair<int, int> sizeOf(const LiveScreen& screen) {
    int width = 0, height = 0;
    screen.clientSize(width, height);
    return {width, height};
}

class WaylandScreen : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!Compositor::installed()) GTEST_SKIP() << "sway, swaymsg or grim is not installed";
    }
};

TEST(WaylandKeys, KeySymbolsBecomeTheKeyTablesActions) {
    const struct {
        xkb_keysym_t symbol;
        KeyAction action;
    } rows[] = {
        {XKB_KEY_q, KeyAction::Quit},
        {XKB_KEY_Q, KeyAction::Quit},
        {XKB_KEY_space, KeyAction::Pause},
        {XKB_KEY_equal, KeyAction::Brighter},
        {XKB_KEY_KP_Add, KeyAction::Brighter},
        {XKB_KEY_KP_Subtract, KeyAction::Darker},
        {XKB_KEY_Escape, KeyAction::ToggleFullscreen},
        {XKB_KEY_KP_Enter, KeyAction::LeaveFullscreen},
        {XKB_KEY_Page_Down, KeyAction::NextEntry},
        {XKB_KEY_F1, KeyAction::Help},
        {XKB_KEY_F2, KeyAction::None},
        {XKB_KEY_eacute, KeyAction::None},
    };
    for (const auto& row : rows)
        EXPECT_EQ(actionForKey(keycodeForSymbol(row.symbol)), row.action) << row.symbol;
}

// A picture of another size than the surface (the display has not yet drawn one at a new size)
// is copied from its top left corner; what it does not cover is black. (The whole-factor
// enlargement and the stretch are shown through the compositor below.)
TEST(WaylandPicture, APictureOfAnotherSizeIsCopiedFromItsCorner) {
    const Bitmap picture = cells(4, 3, 1, 0x102030);
    std::vector<std::uint32_t> pixels(3 * 4, 0xFFFFFFFF);
    drawPicture(picture, PictureFit::Copy, {pixels.data(), 3, 4, 3});
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixels[y * 3 + x], y < 3 ? picture.row(y)[x] : 0u) << x << "," << y;
}

TEST(WaylandDisplay, NoCompositorIsOneLine) {
    const char* before = std::getenv("WAYLAND_DISPLAY");
    const std::string saved = before ? before : "";
    for (const char* socket : {"", "lumacore-no-such-compositor"}) {
        ::setenv("WAYLAND_DISPLAY", socket, 1);
        try {
            connectWayland();
            ADD_FAILURE() << "connected to \"" << socket << "\"";
        } catch (const PlayError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("no display: ", 0), 0u) << error.what();
            EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos);
        }
    }
    if (before)
        ::setenv("WAYLAND_DISPLAY", saved.c_str(), 1);
    else
        ::unsetenv("WAYLAND_DISPLAY");
}

TEST_F(WaylandScreen, WallpaperOnEveryOutputUnderWindowsAndAfterOneGoes) {
    Compositor compositor(1280, 720,
                          "default_border none\n"
                          "default_floating_border none\n"
                          "for_window [app_id=\"lumacore-test-terminal\"] floating enable, "
                          "resize set 400 300, move position 0 0\n");
    ASSERT_EQ(compositor.problem(), "");
    const auto connection = connectWayland();
    EXPECT_EQ(connection->displays(), std::vector<Rect>({{0, 0, 1280, 720}}));
    try {
        connection->openWallpaper({.monitor = "DP-7", .layer = WallpaperLayer::Background});
        ADD_FAILURE() << "a wallpaper on an output that is not there";
    } catch (const PlayError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "there is no output named \"DP-7\"; the outputs are: HEADLESS-1");
    }
    const auto screen = connection->openWallpaper({});
    EXPECT_EQ(sizeOf(*screen), std::make_pair(1280, 720));

    // An output that comes later gets the wallpaper too; the larger one sets the size, and the
    // smaller shows the picture stretched: its 60-pixel cells are 40 pixels there. The larger
    // scales by 2 (960 x 540 logical): the wallpaper has its every pixel all the same.
    const std::string second = compositor.addOutput(1920, 1080);
    ASSERT_NE(second, "");
    ASSERT_TRUE(compositor.command("output " + second + " scale 2"));
    std::vector<ScreenEvent> events;
    const Bitmap picture = cells(1920, 1080, 60, 0x204060);
    ASSERT_TRUE(showUntil(
        *screen, picture, false, [&] { return sizeOf(*screen) == std::make_pair(1920, 1080); },
        &events));
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const ScreenEvent& event) {
        return event.kind == ScreenEvent::Kind::Resized;
    }));
    const auto large = [&](int x, int y) { return cellColour(x / 60, y / 60, 0x204060); };
    const auto small = [&](int x, int y) { return cellColour(x / 40, y / 40, 0x204060); };
    EXPECT_TRUE(showUntil(*screen, picture, false, [&] {
        return matches(compositor, second, 1920, 1080, large) &&
               matches(compositor, "HEADLESS-1", 1280, 720, small);
    }));

    // A window over the wallpaper hides that part of it and no more.
    if (onPath("foot")) {
        ASSERT_TRUE(compositor.command("focus output HEADLESS-1"));
        const auto terminal = compositor.startTerminal();
        ASSERT_NE(terminal, nullptr);
        const Area covered{0, 0, 400, 300};
        std::optional<DecodedPng> shot;
        EXPECT_TRUE(showUntil(*screen, picture, false, [&] {
            shot = compositor.screenshot("HEADLESS-1");
            return shot && differing(*shot, small, [&](int x, int y) {
                               return covered.contains(x, y);
                           }) > 400 * 300 * 9 / 10;
        })) << "no terminal over the wallpaper";
        ASSERT_TRUE(shot);
        EXPECT_EQ(differing(*shot, small, [&](int x, int y) { return !covered.contains(x, y); }),
                  0);
        terminal->stop();
    }

    // The larger output is switched off: its surface stays but is no longer drawn, so its
    // frame callbacks stop; the other output, paced by its own, keeps showing each new picture.
    ASSERT_TRUE(compositor.switchOff(second));
    const Bitmap after = cells(1920, 1080, 60, 0x406080);
    const auto afterSmall = [](int x, int y) { return cellColour(x / 40, y / 40, 0x406080); };
    EXPECT_TRUE(showUntil(*screen, after, false, [&] {
        return matches(compositor, "HEADLESS-1", 1280, 720, afterSmall);
    })) << firstDifference(compositor, "HEADLESS-1", afterSmall);

    // The compositor goes: the wallpaper closes (the program ends as on Q), and showing more
    // pictures meanwhile is harmless.
    compositor.stop();
    bool closed = false;
    EXPECT_TRUE(pollUntil(
        [&] {
            screen->show(after, false);
            screen->waitForEvents(0.05);
            while (auto event = screen->nextEvent())
                closed |= event->kind == ScreenEvent::Kind::Closed;
            return closed;
        },
        kDeadline));
}

// A wallpaper on the one output named (in the bottom layer) leaves the others alone, those that
// come later too.
TEST_F(WaylandScreen, WallpaperOnTheNamedOutputOnly) {
    Compositor compositor(640, 360);
    ASSERT_EQ(compositor.problem(), "");
    const std::string second = compositor.addOutput(640, 360);
    ASSERT_NE(second, "");
    const auto connection = connectWayland();
    const auto screen =
        connection->openWallpaper({.monitor = second, .layer = WallpaperLayer::Bottom});
    const Bitmap picture = cells(640, 360, 20, 0x70a0c0);
    const auto expected = [](int x, int y) { return cellColour(x / 20, y / 20, 0x70a0c0); };
    EXPECT_TRUE(showUntil(*screen, picture, false, [&] {
        return matches(compositor, second, 640, 360, expected);
    })) << firstDifference(compositor, second, expected);
    // Once the named output shows a picture given after a third output came, neither other
    // output shows it.
    const std::string third = compositor.addOutput(640, 360);
    ASSERT_NE(third, "");
    const Bitmap next = cells(640, 360, 20, 0x20c0a0);
    const auto expectedNext = [](int x, int y) { return cellColour(x / 20, y / 20, 0x20c0a0); };
    EXPECT_TRUE(showUntil(*screen, next, false,
                          [&] { return matches(compositor, second, 640, 360, expectedNext); }));
    for (const std::string& other : {std::string("HEADLESS-1"), third}) {
        const auto shot = compositor.screenshot(other);
        ASSERT_TRUE(shot) << other;
        EXPECT_EQ(differing(*shot, expectedNext, [](int, int) { return true; }), 640 * 360)
            << other;
    }
}

TEST_F(WaylandScreen, WindowShowsPicturesFullScreenTakesKeysAndCloses) {
    Compositor compositor(1280, 720,
                          "default_border none\ngaps outer 20\n"
                          "output HEADLESS-1 mode --custom 1280x720@30Hz\n");
    ASSERT_EQ(compositor.problem(), "");
    const auto connection = connectWayland();
    const auto screen = connection->openWindow("Lumacore", {0, 0, 640, 480}, false, true);
    const Bitmap picture = cells(1280, 720, 16, 0x305070);
    ASSERT_TRUE(showUntil(*screen, picture, false, [&] {
        return screen->fullscreen() && sizeOf(*screen) == std::make_pair(1280, 720);
    }));
    const auto whole = [](int x, int y) { return cellColour(x / 16, y / 16, 0x305070); };
    EXPECT_TRUE(showUntil(*screen, picture, false, [&] {
        return matches(compositor, "HEADLESS-1", 1280, 720, whole);
    })) << firstDifference(compositor, "HEADLESS-1", whole);
    EXPECT_EQ(screen->readBack().packed(), picture.packed());
    EXPECT_EQ(screen->refreshRate(), 30);
    EXPECT_TRUE(compositor.showsTitle("Lumacore"));
    screen->setTitle("Lumacore - a title later");
    EXPECT_TRUE(pollUntil(
        [&] {
            while (screen->nextEvent()) {
            }
            return compositor.showsTitle("Lumacore - a title later");
        },
        kDeadline));

    // Paced by frame callbacks: a picture shown when a frame can go is committed at once, and
    // the next waits for that one's frame, at most a refresh period away.
    const auto frameCanGo = [&] {
        while (screen->nextEvent()) {
        }
        return screen->untilNextPresent() == 0;
    };
    ASSERT_TRUE(pollUntil(frameCanGo, kDeadline));
    screen->show(picture, false);
    EXPECT_GT(screen->untilNextPresent(), 0);
    EXPECT_LE(screen->untilNextPresent(), 1.0 / 30);
    EXPECT_TRUE(pollUntil(frameCanGo, kDeadline));

    // Scaled: 300 x 200 enlarged three times (900 x 600), centred on black.
    const Bitmap small = cells(300, 200, 10, 0x604020);
    EXPECT_TRUE(showUntil(*screen, small, true, [&] {
        return matches(compositor, "HEADLESS-1", 1280, 720, [](int x, int y) {
            const bool inside = x >= 190 && x < 1090 && y >= 60 && y < 660;
            return inside ? cellColour((x - 190) / 30, (y - 60) / 30, 0x604020) : 0u;
        });
    }));

    // A key typed is its action; a key held down repeats at the compositor's rate.
    if (onPath("wtype")) {
        const auto keyCame = [&](KeyAction action, bool repeat) {
            bool came = false;
            return pollUntil(
                [&] {
                    screen->waitForEvents(0.05);
                    while (auto event = screen->nextEvent())
                        came |= event->kind == ScreenEvent::Kind::Key && event->action == action &&
                                event->repeat == repeat;
                    return came;
                },
                kDeadline);
        };
        ASSERT_TRUE(compositor.type("q"));
        EXPECT_TRUE(keyCame(KeyAction::Quit, false));
        const auto held = compositor.holdKey("Right");
        ASSERT_NE(held, nullptr);
        EXPECT_TRUE(keyCame(KeyAction::SeekForward, false));
        EXPECT_TRUE(keyCame(KeyAction::SeekForward, true));
        held->stop();
    }

    // Out of full screen sway tiles the window inside its gaps: the client size follows its
    // configure, and is the windowed size kept.
    screen->setFullscreen(false);
    std::vector<ScreenEvent> events;
    ASSERT_TRUE(showUntil(
        *screen, picture, false,
        [&] { return !screen->fullscreen() && sizeOf(*screen) == std::make_pair(1240, 680); },
        &events))
        << sizeOf(*screen).first << " x " << sizeOf(*screen).second;
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const ScreenEvent& event) {
        return event.kind == ScreenEvent::Kind::Resized;
    }));
    EXPECT_EQ(screen->windowedRect(), (WindowRect{0, 0, 1240, 680}));

    ASSERT_TRUE(compositor.command("kill"));
    bool closed = false;
    EXPECT_TRUE(pollUntil(
        [&] {
            screen->waitForEvents(0.05);
            while (auto event = screen->nextEvent())
                closed |= event->kind == ScreenEvent::Kind::Closed;
            return closed;
        },
        kDeadline));
}

} // namespace
} // namespace lumacore::cli::test
