// The oscilloscope and the VU meter end to end: the real library driven through vishost,
// observed from outside (window placement, settings file, messages, pictures).
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "host/raster/raster_surface.h"
#include "scope/oscilloscope.h"
#include "scope/vu_meter.h"
#include "vishost/actions.h"
#include "vishost/host_window.h"
#include "vishost/options.h"
#include "vishost/session.h"

namespace lumacore::testing {
namespace {

using vishost::Report;
using vishost::WindowSnapshot;

constexpr int kOscilloscope = 1;
constexpr int kVuMeter = 2;

class ScopeDisplays : public ::testing::Test {
  protected:
    Report run(int module, std::vector<std::string> extra) const {
        std::vector<std::string> args{folder_.dll(), "--module", std::to_string(module),
                                      "--single-thread", "--no-delay"};
        args.insert(args.end(), extra.begin(), extra.end());
        return vishost::runSession(vishost::parseCommandLine(args));
    }
    static const WindowSnapshot* window(const Report& report, const std::string& label = "end") {
        for (const auto& s : report.snapshots)
            if (s.label == label)
                for (const auto& w : s.windows)
                    if (w.role == "window") return &w;
        return nullptr;
    }
    // The lines of one section of the settings file, in order.
    std::string section(const std::string& name) const {
        const std::string text = folder_.readSettings();
        const std::size_t start = text.find("[" + name + "]");
        if (start == std::string::npos) return "";
        const std::size_t end = text.find('[', start + 1);
        return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }

    PluginFolder folder_{LUMACORE_DLL_PATH};
};

TEST_F(ScopeDisplays, FirstStartAtFiftyFiftyWithTheModulesTitle) {
    const struct {
        int module;
        const char* title;
    } modules[] = {{kOscilloscope, "Oscilliscope"}, {kVuMeter, "VU Meter"}};
    for (const auto& m : modules) {
        const Report report = run(m.module, {"--count", "2"});
        EXPECT_EQ(report.initResult, 0);
        const WindowSnapshot* w = window(report);
        ASSERT_NE(w, nullptr) << m.title;
        EXPECT_EQ(w->className, "3D-Lumacor");
        EXPECT_EQ(w->title, m.title);
        EXPECT_EQ(w->rect.left, 50);
        EXPECT_EQ(w->rect.top, 50);
        EXPECT_EQ(w->rect.right - w->rect.left, 288);
        EXPECT_EQ(w->rect.bottom - w->rect.top, 280);
        EXPECT_EQ(w->style & (WS_CAPTION | WS_SYSMENU),
                  static_cast<DWORD>(WS_CAPTION | WS_SYSMENU));
        EXPECT_EQ(w->style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u);
    }
}

TEST_F(ScopeDisplays, AMoveIsWrittenAtQuitAndReopenedThere) {
    run(kOscilloscope, {"--count", "3", "--at", "1:move:300,120"});
    const std::string saved = section("Oscilliscope");
    EXPECT_NE(saved.find("Screen_x=300"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Screen_y=120"), std::string::npos) << saved;
    const Report again = run(kOscilloscope, {"--count", "1"});
    const WindowSnapshot* w = window(again);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->rect.left, 300);
    EXPECT_EQ(w->rect.top, 120);
}

TEST_F(ScopeDisplays, MinimisedAtQuitSavesTheRestoredPosition) {
    for (const int module : {kOscilloscope, kVuMeter}) {
        const std::string name = module == kOscilloscope ? "Oscilliscope" : "VU Meter";
        SCOPED_TRACE(name);
        run(module, {"--count", "4", "--at", "1:move:300,120", "--at", "2:minimise"});
        const std::string saved = section(name);
        EXPECT_NE(saved.find("Screen_x=300"), std::string::npos) << saved;
        EXPECT_NE(saved.find("Screen_y=120"), std::string::npos) << saved;
        const Report again = run(module, {"--count", "1"});
        const WindowSnapshot* w = window(again);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->rect.left, 300);
        EXPECT_EQ(w->rect.top, 120);
    }
}

TEST_F(ScopeDisplays, TheMeterOpensWhereTheOscilloscopeLastStood) {
    HMODULE held = LoadLibraryA(folder_.dll().c_str()); // one load for both runs
    ASSERT_NE(held, nullptr);
    run(kOscilloscope, {"--count", "3", "--at", "1:move:222,111"});
    const std::string oscilloscope = section("Oscilliscope");
    const Report meter = run(kVuMeter, {"--count", "3"});
    FreeLibrary(held);
    const WindowSnapshot* w = window(meter);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->rect.left, 222);
    EXPECT_EQ(w->rect.top, 111);
    EXPECT_NE(section("VU Meter").find("Screen_x=222"), std::string::npos)
        << folder_.readSettings();
    EXPECT_EQ(section("Oscilliscope"), oscilloscope);
}

TEST_F(ScopeDisplays, KeysReachThePlayerUnchangedAndNothingElse) {
    const Report report = run(kOscilloscope, {"--count", "3", "--at", "1:keydown:0x41", "--at",
                                              "1:keyup:0x41", "--at", "2:char:x"});
    std::vector<std::pair<unsigned, std::int64_t>> keys;
    for (const auto& m : report.messages) {
        if (m.posted && (m.message == WM_KEYDOWN || m.message == WM_KEYUP))
            keys.push_back({m.message, m.lParam});
        // The character sent to the window stays there (the player's own loop may translate
        // the forwarded key-down into a character of its own, which is not this).
        EXPECT_FALSE(m.message == WM_CHAR && m.wParam == 'x');
    }
    const std::vector<std::pair<unsigned, std::int64_t>> expected = {
        {WM_KEYDOWN, static_cast<std::int64_t>(vishost::keyLParam(0x41, false))},
        {WM_KEYUP, static_cast<std::int64_t>(vishost::keyLParam(0x41, true))}};
    EXPECT_EQ(keys, expected);
}

TEST_F(ScopeDisplays, ARepaintTurnsTheClientAreaGrey) {
    for (const int module : {kOscilloscope, kVuMeter}) {
        const std::string dump = tempFile("grey.bmp");
        run(module, {"--count", "4", "--at", "3:invalidate", "--at", "3:dump:" + dump});
        const Picture picture = readBmp(dump);
        DeleteFileA(dump.c_str());
        ASSERT_GT(picture.width, 0);
        int other = 0;
        for (const std::uint32_t p : picture.pixels)
            other += p != 0x7F7F7F;
        EXPECT_EQ(other, 0) << module;
    }
}

TEST_F(ScopeDisplays, AboutFromConfigWhileNoModuleRuns) {
    const Report report = run(kOscilloscope, {"--config-only"});
    EXPECT_FALSE(report.initCalled);
    ASSERT_EQ(report.messageBoxes.size(), 1u);
    EXPECT_EQ(report.messageBoxes[0].caption, "About");
    EXPECT_EQ(report.messageBoxes[0].ownerClass, vishost::kHostWindowClass);
    EXPECT_NE(report.messageBoxes[0].text->find("Lumacore authors"), std::string::npos);
    EXPECT_EQ(folder_.readSettings(), ""); // changes nothing
}

TEST_F(ScopeDisplays, ClosedByTheUserBeforeQuit) {
    const Report report =
        run(kVuMeter, {"--count", "8", "--at", "1:move:70,80", "--at", "3:close"});
    EXPECT_EQ(report.endReason, "quit-message");
    EXPECT_TRUE(report.quitCalled);
    EXPECT_TRUE(report.errors.empty());
    EXPECT_NE(section("VU Meter").find("Screen_x=70"), std::string::npos) << folder_.readSettings();
}

TEST_F(ScopeDisplays, InitFailuresShowTheirMessageAndLeaveNoClassBehind) {
    HMODULE held = LoadLibraryA(folder_.dll().c_str());
    ASSERT_NE(held, nullptr);
    WNDCLASSA taken{};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = held;
    taken.lpszClassName = "3D-Lumacor";
    ASSERT_TRUE(RegisterClassA(&taken));
    const Report registration = run(kVuMeter, {"--count", "2"});
    UnregisterClassA("3D-Lumacor", held);
    EXPECT_EQ(registration.initResult, 1);
    EXPECT_FALSE(registration.quitCalled);
    ASSERT_EQ(registration.messageBoxes.size(), 1u);
    EXPECT_EQ(registration.messageBoxes[0].caption, "blah");
    EXPECT_EQ(registration.messageBoxes[0].text, "Error registering window class");

    const Report creation = [&] {
        const WindowCreationRefused refused("3D-Lumacor");
        return run(kVuMeter, {"--count", "2"});
    }();
    EXPECT_EQ(creation.initResult, 1);
    ASSERT_EQ(creation.messageBoxes.size(), 1u);
    EXPECT_EQ(creation.messageBoxes[0].caption, "VU Meter");
    EXPECT_EQ(creation.messageBoxes[0].text, "Error creating window");

    const Report again = run(kOscilloscope, {"--count", "2"});
    FreeLibrary(held);
    EXPECT_EQ(again.initResult, 0);
    EXPECT_TRUE(again.messageBoxes.empty());
}

TEST_F(ScopeDisplays, FramesMatchTheNativeRasteriser) {
    const int frames = 300; // more than one sweep of the meter
    const Recording recording(frames);
    for (const int module : {kOscilloscope, kVuMeter}) {
        SCOPED_TRACE(module == kOscilloscope ? "oscilloscope" : "VU meter");
        const std::string dump = tempFile("scope.bmp");
        const Report report =
            run(module, {"--frames", recording.path, "--count", std::to_string(frames), "--at",
                         std::to_string(frames) + ":dump:" + dump});
        EXPECT_TRUE(report.errors.empty());
        const Picture picture = readBmp(dump);
        DeleteFileA(dump.c_str());
        ASSERT_GT(picture.width, 0);

        // A grey client area (the first paint), then the same frames natively.
        Bitmap expected(picture.width, picture.height);
        expected.fill(kScopeGrey);
        RasterSurface surface(expected);
        ScopeState state;
        for (const winampVisModule& frame : recording.frames) {
            if (module == kOscilloscope)
                oscilloscopeRender(surface, frame);
            else
                vuMeterRender(state, surface, frame);
        }
        std::string report_;
        EXPECT_EQ(countDifferences(expected, picture.pixels, picture.height, report_), 0)
            << report_;
    }
}

} // namespace
} // namespace lumacore::testing
