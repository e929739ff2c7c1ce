// OBS Studio driven as a streamer's remote control would drive it, over its obs-websocket: a
// colour source's screenshot is its colour (the screenshots read true); and the Lumacore source
// (lumacore-obs.so, or LUMACORE_OBS_MODULE) is loaded from each place it is installed (one
// user's plug-in folder, the package's folders), and listening to a media source playing a tone
// draws the tone's row, clears its background to transparent when asked, follows a change of its
// settings, keeps OBS's frames coming while a new runner is built, keeps its settings with the
// scene collection, draws silence when the source it listened to is removed and that source again
// when it comes back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "history/history_render.h"
#include "history/history_state.h"
#include "obs_studio.h"
#include "play_support.h"
#include "png_reader.h"
#include "virtual_display.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;
using lumacore::test::DecodedPng;

constexpr double kStepSeconds = 30;     // the most OBS may take to show a change
constexpr const char* kScene = "Scene"; // the scene OBS makes for a new user
constexpr double kToneSeconds = 600;    // longer than any test: the media source plays throughout
constexpr double kToneAmplitude = 0.02; // below the display's cap, as in the listen tests
constexpr int kNewestColumns = 8;
constexpr int kLit = 100;
constexpr int kDark = 20;

// What lumacore_source takes: the name of the source it listens to, whether its background is
// transparent, and the display (2D or 3D history). These are the names agreed for the module;
// change them here only if the module's change.
constexpr const char* kLumacoreKind = "lumacore_source";
constexpr const char* kListenSetting = "audio_source";
constexpr const char* kTransparentSetting = "transparent";
constexpr const char* kDisplaySetting = "mode";
constexpr const char* kDisplay2d = "2d";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string createInput(const std::string& name, const std::string& kind,
                        const std::string& settings) {
    return R"({"requestType":"CreateInput","requestData":{"sceneName":")" + std::string(kScene) +
           R"(","inputName":)" + jsonString(name) + R"(,"inputKind":)" + jsonString(kind) +
           R"(,"inputSettings":)" + settings + "}}";
}

std::string onInput(const std::string& type, const std::string& name,
                    const std::string& more = "") {
    return R"({"requestType":")" + type + R"(","requestData":{"inputName":)" + jsonString(name) +
           more + "}}";
}

// A media source playing `file` over and over.
std::string mediaSettings(const std::string& file) {
    return R"({"local_file":)" + jsonString(file) +
           R"(,"looping":true,"restart_on_activate":false})";
}

class ObsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = ObsStudio::missing(); !missing.empty())
            GTEST_SKIP() << missing;
        if (!VirtualDisplay::installed()) GTEST_SKIP() << "Xvfb or xdotool is not installed";
        display_.emplace();
        ASSERT_EQ(display_->problem(), "");
    }

    // OBS, with `module` (and its data) installed for its user when given.
    void start(const fs::path& module = {}) {
        obs_.emplace(module, module.empty() ? fs::path() : fs::path(LUMACORE_OBS_DATA));
        ASSERT_EQ(obs_->problem(), "");
    }

    // Sends the requests; fails the test (with the end of OBS's log) when one fails.
    std::vector<ObsResponse> send(const std::vector<std::string>& requests) {
        ObsAnswer answer = obs_->request(requests);
        EXPECT_EQ(answer.problem, "") << "OBS's log ends:\n" << obs_->logTail();
        return answer.responses;
    }

    // The source's picture now; nullopt (the reason in `problem`) when OBS gave none.
    std::optional<DecodedPng> screenshot(const std::string& source, std::string& problem) {
        const std::optional<ObsResponse> response =
            obs_->request(R"({"requestType":"GetSourceScreenshot","requestData":{"sourceName":)" +
                              jsonString(source) + R"(,"imageFormat":"png"}})",
                          problem);
        if (!response) return std::nullopt;
        const std::string path = response->field("imageData");
        std::optional<DecodedPng> png = lumacore::test::decodePng(readFile(path));
        if (!png) problem = "the screenshot " + path + " is not a PNG that decodes";
        return png;
    }

    // A tone WAV centred on spectrum bin `bin`.
    std::string toneFile(int bin, int sampleRate = 44100) const {
        const std::string name =
            scratch_.file("bin" + std::to_string(bin) + "-" + std::to_string(sampleRate) + ".wav");
        writeSineWav(name, binFrequency(bin, sampleRate), kToneAmplitude, kToneSeconds, sampleRate);
        return name;
    }

    std::optional<VirtualDisplay> display_;
    std::optional<ObsStudio> obs_;
    ScratchDir scratch_;
};
using ObsSources = ObsTest;

TEST_F(ObsSources, ColourSourceScreenshotIsItsColourAndSize) {
    struct Case {
        const char* name;
        std::uint32_t abgr; // OBS's colour property: alpha, blue, green, red from the top byte
        int width, height;
        std::uint8_t r, g, b;
    };
    // clang-format off
    const Case cases[] = {
        {"red", 0xFF0000FF, 64, 48, 255, 0, 0},
        {"blue_odd_size", 0xFFFF0000, 33, 17, 0, 0, 255},
    };
    // clang-format on
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        send({createInput(c.name, "color_source_v3",
                          R"({"color":)" + std::to_string(c.abgr) + R"(,"width":)" +
                              std::to_string(c.width) + R"(,"height":)" + std::to_string(c.height) +
                              "}")});
        std::string problem;
        const std::optional<DecodedPng> png = screenshot(c.name, problem);
        ASSERT_TRUE(png) << problem;
        EXPECT_EQ(png->width, c.width);
        EXPECT_EQ(png->height, c.height);
        int wrong = 0;
        for (std::size_t i = 0; i + 2 < png->rgb.size(); i += 3)
            wrong += png->rgb[i] != c.r || png->rgb[i + 1] != c.g || png->rgb[i + 2] != c.b;
        for (const std::uint8_t alpha : png->alpha)
            wrong += alpha != 255;
        EXPECT_EQ(wrong, 0) << "first pixel " << int(png->rgb[0]) << "," << int(png->rgb[1]) << ","
                            << int(png->rgb[2]);
    }
}

// ---------------------------------------------------------------------------------------------
// The Lumacore source.

// The module under test: LUMACORE_OBS_MODULE in the environment, else the build's.
fs::path lumacoreModule() {
    if (const char* path = std::getenv("LUMACORE_OBS_MODULE"); path && *path) return path;
    return LUMACORE_OBS_MODULE_PATH;
}

constexpr int kToneBin = 20;
constexpr int kOtherBin = 45;
constexpr const char* kMedia = "tone";
constexpr const char* kLumacore = "lumacore";

struct Rows {
    int first = 0, end = 0;
};
// The rows of a 2D history of `width` x `height` that show bin `bin` itself.
Rows binRows(int bin, int width, int height) {
    HistoryState state;
    setClientSize(state, width, height);
    return {bandRect(state, bin).top, bandRect(state, bin + 1).top};
}

// The brightest channel of a pixel as it shows over black. The source draws a transparent
// picture premultiplied, and the screenshot keeps what it drew: its colour is what shows over
// black whatever its alpha (a 2D band's is its brightest channel).
int brightness(const DecodedPng& png, int x, int y) {
    const std::uint8_t* pixel = &png.rgb[3 * (std::size_t(y) * png.width + x)];
    return std::max({pixel[0], pixel[1], pixel[2]});
}

// The row of the history (above the banner's strip) whose newest columns are brightest.
int brightestRow(const DecodedPng& png) {
    const int historyHeight = static_cast<int>((1.0 - kBannerFraction) * png.height);
    int best = 0, bestSum = -1;
    for (int y = 0; y < historyHeight; ++y) {
        int sum = 0;
        for (int x = png.width - kNewestColumns; x < png.width; ++x)
            sum += brightness(png, x, y);
        if (sum > bestSum) {
            best = y;
            bestSum = sum;
        }
    }
    return best;
}

int brightestIn(const DecodedPng& png, Rows rows) {
    int most = 0;
    for (int y = std::max(rows.first, 0); y < std::min(rows.end, png.height); ++y)
        for (int x = png.width - kNewestColumns; x < png.width; ++x)
            most = std::max(most, brightness(png, x, y));
    return most;
}

// Empty when the picture's brightest row shows bin `bin` and that band is lit; else what it shows.
std::string showsTone(const DecodedPng& png, int bin) {
    const Rows rows = binRows(bin, png.width, png.height);
    const int row = brightestRow(png);
    if (row < rows.first || row >= rows.end)
        return "the brightest row is " + std::to_string(row) + ", not in " +
               std::to_string(rows.first) + ".." + std::to_string(rows.end - 1);
    if (const int most = brightestIn(png, rows); most < kLit)
        return "bin " + std::to_string(bin) + " is only " + std::to_string(most);
    return "";
}

class ObsLumacoreSource : public ObsTest {
  protected:
    void SetUp() override {
        ObsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        const fs::path module = lumacoreModule();
        if (module.empty())
            GTEST_SKIP() << "the Lumacore OBS module is not given: set LUMACORE_OBS_MODULE (or "
                            "the CMake cache variable) to the built lumacore-obs.so";
        if (!fs::exists(module)) GTEST_SKIP() << "the Lumacore OBS module is not there: " << module;
        start(module);
        ASSERT_TRUE(obs_->loaded(module.stem().string()))
            << "OBS did not load " << module << "; its log ends:\n"
            << obs_->logTail();
    }

    // The media source playing the tone of `bin`, and the Lumacore source listening to it with
    // `settings` (JSON members) besides.
    // The Lumacore source listening to the media source, in 2D (whose rows the checks read)
    // unless `settings` say otherwise.
    void createPair(int bin, const std::string& settings) {
        const std::string mode =
            settings.find(kDisplaySetting) == std::string::npos
                ? R"(,")" + std::string(kDisplaySetting) + R"(":")" + kDisplay2d + "\""
                : "";
        send({createInput(kMedia, "ffmpeg_source", mediaSettings(toneFile(bin))),
              createInput(kLumacore, kLumacoreKind,
                          R"({")" + std::string(kListenSetting) + R"(":")" + kMedia + "\"" + mode +
                              (settings.empty() ? "" : "," + settings) + "}")});
    }

    // Polls the Lumacore source's screenshots until `shows` says nothing against one (true), or
    // the deadline (false, `last` saying what the last one showed). Every screenshot must succeed.
    bool pollPicture(const std::function<std::string(const DecodedPng&)>& shows, std::string& last,
                     std::optional<DecodedPng>* picture = nullptr) {
        return pollUntil(
            [&] {
                std::optional<DecodedPng> png = screenshot(kLumacore, last);
                if (!png) {
                    ADD_FAILURE() << "a screenshot failed: " << last;
                    return true;
                }
                last = shows(*png);
                if (picture) *picture = std::move(png);
                return last.empty();
            },
            kStepSeconds);
    }
};

// The module's install rules into a scratch prefix, as the obs-lumacore package lays them out;
// empty when they ran, else what went wrong.
std::string installPackage(const fs::path& prefix) {
    const std::optional<std::string> output =
        commandOutput({LUMACORE_CMAKE_COMMAND, "--install", LUMACORE_BUILD_DIR, "--component",
                       "obs", "--prefix", prefix.string()},
                      {}, 60);
    return output ? "" : "cmake --install of the component obs failed";
}

using ObsInstall = ObsTest;

TEST_F(ObsInstall, LumacoreModuleLoadsFromEachPlaceItIsInstalled) {
    const fs::path module = lumacoreModule();
    if (module.empty() || !fs::exists(module))
        GTEST_SKIP() << "the Lumacore OBS module is not built: " << module;
    const fs::path prefix = scratch_.file("usr");
    ASSERT_EQ(installPackage(prefix), "");
    struct Case {
        const char* name;
        fs::path module, data; // installed in the user's plug-in folder
        EnvironmentChanges environment;
        bool labelled; // the data is found: the properties show their labels
    };
    const Case cases[] = {
        {"one user's plug-in folder (a source build)", module, LUMACORE_OBS_DATA, {}, true},
        {"the package's folders",
         {},
         {},
         {{"OBS_PLUGINS_PATH", (prefix / LUMACORE_OBS_PLUGIN_DIR).string()},
          {"OBS_PLUGINS_DATA_PATH", (prefix / "share/obs/obs-plugins").string()}},
         true},
        {"without its data", module, {}, {}, false},
    };
    const std::string warning = "[lumacore-obs] no data folder";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        obs_.reset();
        obs_.emplace(c.module, c.data, c.environment);
        ASSERT_EQ(obs_->problem(), "");
        EXPECT_TRUE(obs_->loaded("lumacore-obs")) << obs_->logTail();
        const std::string log = obs_->logTail(std::string::npos);
        EXPECT_EQ(log.find(warning) != std::string::npos, !c.labelled) << log;
        const std::vector<ObsResponse> responses =
            send({createInput("lumacore", kLumacoreKind, "{}"),
                  onInput("GetInputPropertiesListPropertyItems", "lumacore",
                          R"(,"propertyName":"display")")});
        ASSERT_EQ(responses.size(), 2u);
        const std::string items = responses[1].field("propertyItems");
        EXPECT_NE(items.find("\"history\""), std::string::npos) << items;
        EXPECT_EQ(items.find("\"Display.History\"") == std::string::npos, c.labelled) << items;
    }
}

TEST_F(ObsLumacoreSource, BrightestRowIsTheListenedTonesBin) {
    // One OBS for both: the second case changes the listened source's file.
    const int bins[] = {kToneBin, kOtherBin};
    createPair(bins[0], "");
    ASSERT_FALSE(HasFailure()) << "the sources were not made";
    for (const int bin : bins) {
        SCOPED_TRACE("bin " + std::to_string(bin));
        if (bin != bins[0])
            send({onInput("SetInputSettings", kMedia,
                          R"(,"inputSettings":)" + mediaSettings(toneFile(bin)))});
        std::string last;
        EXPECT_TRUE(pollPicture([&](const DecodedPng& png) { return showsTone(png, bin); }, last))
            << last;
    }
}

TEST_F(ObsLumacoreSource, TransparencyClearsTheBackgroundAlone) {
    struct Case {
        const char* name;
        bool transparent;
    };
    const Case cases[] = {{"transparent", true}, {"opaque", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (&c != &cases[0]) start(lumacoreModule()); // a fresh OBS: the names stay the same
        createPair(kToneBin, "\"" + std::string(kTransparentSetting) +
                                 "\":" + (c.transparent ? "true" : "false"));
        ASSERT_FALSE(HasFailure()) << "the sources were not made";
        std::string last;
        std::optional<DecodedPng> png;
        ASSERT_TRUE(
            pollPicture([&](const DecodedPng& p) { return showsTone(p, kToneBin); }, last, &png))
            << last;
        ASSERT_EQ(png->alpha.size(), std::size_t(png->width) * png->height)
            << "the screenshot has no alpha channel";
        int background = 0, clearBackground = 0, clearDrawn = 0, notWhole = 0;
        for (std::size_t i = 0; i < png->alpha.size(); ++i) {
            const bool black =
                png->rgb[3 * i] == 0 && png->rgb[3 * i + 1] == 0 && png->rgb[3 * i + 2] == 0;
            background += black;
            clearBackground += black && png->alpha[i] == 0;
            clearDrawn += !black && png->alpha[i] == 0;
            notWhole += png->alpha[i] != 255;
        }
        EXPECT_GT(background, 0);
        EXPECT_EQ(clearBackground, c.transparent ? background : 0);
        EXPECT_EQ(clearDrawn, 0) << "drawn pixels are transparent";
        if (!c.transparent) {
            EXPECT_EQ(notWhole, 0) << "an opaque picture has see-through pixels";
        }
    }
}

// The rows of the history (above the banner's strip) with a lit pixel anywhere.
int litRows(const DecodedPng& png) {
    const int historyHeight = static_cast<int>((1.0 - kBannerFraction) * png.height);
    int rows = 0;
    for (int y = 0; y < historyHeight; ++y)
        for (int x = 0; x < png.width; ++x)
            if (brightness(png, x, y) >= kLit) {
                ++rows;
                break;
            }
    return rows;
}

// The colour most pixels have, as 0xRRGGBB.
std::uint32_t commonestColour(const DecodedPng& png) {
    std::map<std::uint32_t, int> counts;
    for (std::size_t i = 0; i + 2 < png.rgb.size(); i += 3)
        ++counts[std::uint32_t(png.rgb[i]) << 16 | std::uint32_t(png.rgb[i + 1]) << 8 |
                 png.rgb[i + 2]];
    return std::max_element(counts.begin(), counts.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

TEST_F(ObsLumacoreSource, ChangingTheDisplayChangesThePicture) {
    // The source's default size, 1280 x 720, holds the scopes' 289 x 257 picture twice.
    constexpr int kWide = 1280, kTall = 720, kScopeWide = 578, kScopeTall = 514;
    std::uint32_t scopeColour = 0;
    struct Case {
        const char* name;
        const char* settings;
        int width, height;
        std::function<std::string(const DecodedPng&)> shows;
    };
    const Case cases[] = {
        {"3D history", R"({"mode":"3d"})", kWide, kTall,
         [](const DecodedPng& png) {
             // The 2D history lights the tone's band, a few rows; the 3D one its boxes' fronts.
             const int rows = litRows(png);
             return rows >= 100 ? "" : std::to_string(rows) + " lit rows";
         }},
        {"oscilloscope", R"({"display":"oscilloscope"})", kScopeWide, kScopeTall,
         [&](const DecodedPng& png) {
             scopeColour = commonestColour(png);
             return scopeColour != 0 ? "" : "a black picture";
         }},
        {"VU meter", R"({"display":"vu"})", kScopeWide, kScopeTall,
         [&](const DecodedPng& png) {
             const std::uint32_t colour = commonestColour(png);
             return colour != 0 && colour != scopeColour ? "" : "the oscilloscope's picture";
         }},
        {"2D history again", R"({"display":"history","mode":"2d"})", kWide, kTall,
         [](const DecodedPng& png) { return showsTone(png, kToneBin); }},
    };
    createPair(kToneBin, "");
    ASSERT_FALSE(HasFailure()) << "the sources were not made";
    std::string last;
    ASSERT_TRUE(pollPicture([](const DecodedPng& png) { return showsTone(png, kToneBin); }, last))
        << "the 2D history: " << last;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        send({onInput("SetInputSettings", kLumacore,
                      std::string(R"(,"inputSettings":)") + c.settings)});
        EXPECT_TRUE(pollPicture(
            [&](const DecodedPng& png) {
                if (png.width != c.width || png.height != c.height)
                    return std::to_string(png.width) + "x" + std::to_string(png.height);
                return c.shows(png);
            },
            last))
            << last;
    }
}

// OBS's frame counters since it started (GetStats): the frames due and those its video thread
// was too late for ("skipped due to rendering lag").
struct FrameCounts {
    double due = 0, lagged = 0;
    double drawn() const { return due - lagged; }
};

TEST_F(ObsLumacoreSource, ChangesThatNeedANewRunnerKeepObsFramesComing) {
    // OBS at 30 frames a second and an 8192 x 4096 picture, whose new runner takes about half a
    // second to build here, drawn once a second so that OBS's own cost of it stays small. Ten
    // changes a second apart of its title (made on the running runner) against ten of its call
    // rate (a new runner each, the same texture): built in OBS's video thread, each new runner
    // would hold up a dozen frames or more; built beside it, the changes cost OBS about what the
    // title's did.
    constexpr int kChanges = 10;
    constexpr double kMarginFrames = 60; // 0.2 s a change
    send({R"({"requestType":"SetVideoSettings","requestData":{"fpsNumerator":30,)"
          R"("fpsDenominator":1,"baseWidth":1280,"baseHeight":720,"outputWidth":1280,)"
          R"("outputHeight":720}})"});
    createPair(kToneBin, R"("rate":1,"width":8192,"height":4096)");
    ASSERT_FALSE(HasFailure()) << "the sources were not made";
    const auto counts = [&] {
        const std::vector<ObsResponse> responses = send({R"({"requestType":"GetStats"})"});
        FrameCounts counted;
        if (responses.size() != 1) return counted;
        counted.due = std::atof(responses[0].field("renderTotalFrames").c_str());
        counted.lagged = std::atof(responses[0].field("renderSkippedFrames").c_str());
        return counted;
    };
    const auto change = [&](const std::string& settings) {
        send({onInput("SetInputSettings", kLumacore, R"(,"inputSettings":)" + settings)});
    };
    // The frames lagged over ten changes, `one` and `other` in turn, each followed by a look at
    // OBS's counters a second after the one before: frames must have been drawn since.
    const auto lagged = [&](const std::string& one, const std::string& other) {
        const FrameCounts start = counts();
        FrameCounts now = start;
        const auto begin = std::chrono::steady_clock::now();
        for (int i = 0; i < kChanges; ++i) {
            change(i % 2 == 0 ? one : other);
            std::this_thread::sleep_until(begin + std::chrono::seconds(i + 1));
            const FrameCounts next = counts();
            EXPECT_GT(next.drawn(), now.drawn())
                << "no frame drawn in the second after change " << i + 1 << " of " << one;
            now = next;
        }
        return now.lagged - start.lagged;
    };
    std::this_thread::sleep_for(std::chrono::seconds(3)); // OBS settles with the new source
    const double titles = lagged(R"({"title":"One"})", R"({"title":"Two"})");
    const double rates = lagged(R"({"rate":2})", R"({"rate":1})");
    EXPECT_LE(rates, titles + kMarginFrames)
        << "frames skipped: " << titles << " over " << kChanges << " changes of the title, "
        << rates << " over " << kChanges << " of the call rate";

    // New runners are still swapped in after the changes: a new height is the source's.
    change(R"({"height":4080})");
    const std::vector<ObsResponse> found =
        send({R"({"requestType":"GetSceneItemId","requestData":{"sceneName":")" +
              std::string(kScene) + R"(","sourceName":)" + jsonString(kLumacore) + "}}"});
    ASSERT_EQ(found.size(), 1u);
    const std::string transform =
        R"({"requestType":"GetSceneItemTransform","requestData":{"sceneName":")" +
        std::string(kScene) + R"(","sceneItemId":)" + found[0].field("sceneItemId") + "}}";
    std::string last;
    EXPECT_TRUE(pollUntil(
        [&] {
            const std::optional<ObsResponse> response = obs_->request(transform, last);
            if (!response) return false;
            last = response->field("sceneItemTransform");
            return last.find(R"("sourceHeight": 4080)") != std::string::npos;
        },
        kStepSeconds))
        << last;
}

TEST_F(ObsLumacoreSource, SettingsAreKeptWithTheSceneCollection) {
    // Each differs from its default; as obs-websocket gives them back (Python's JSON).
    const std::vector<std::string> kept = {R"("title": "Kept")",      R"("width": 640)",
                                           R"("height": 360)",        R"("brightness": 1.5)",
                                           R"("transparent": false)", R"("mode": "2d")"};
    createPair(kToneBin,
               R"("title":"Kept","width":640,"height":360,"brightness":1.5,"transparent":false)");
    ASSERT_FALSE(HasFailure()) << "the sources were not made";
    // Going to another collection saves this one; coming back loads it from its file.
    send(
        {R"({"requestType":"CreateSceneCollection","requestData":{"sceneCollectionName":"Other"}})",
         R"({"requestType":"SetCurrentSceneCollection",)"
         R"("requestData":{"sceneCollectionName":"Untitled"}})"});
    std::string last;
    std::optional<ObsResponse> settings;
    ASSERT_TRUE(pollUntil(
        [&] {
            settings = obs_->request(onInput("GetInputSettings", kLumacore), last);
            return settings.has_value();
        },
        kStepSeconds))
        << last;
    for (const std::string& setting : kept)
        EXPECT_NE(settings->field("inputSettings").find(setting), std::string::npos)
            << setting << " in " << settings->field("inputSettings");
    EXPECT_TRUE(pollPicture(
        [](const DecodedPng& png) {
            if (png.width != 640 || png.height != 360)
                return std::to_string(png.width) + "x" + std::to_string(png.height);
            return showsTone(png, kToneBin);
        },
        last))
        << last;
}

TEST_F(ObsLumacoreSource, DrawsSilenceWithoutTheListenedSourceAndItAgainWhenItComesBack) {
    createPair(kToneBin, "");
    ASSERT_FALSE(HasFailure()) << "the sources were not made";
    std::string last;
    ASSERT_TRUE(pollPicture([](const DecodedPng& png) { return showsTone(png, kToneBin); }, last))
        << last;
    send({onInput("RemoveInput", kMedia)});
    // Still drawing: the newest columns go dark as silence scrolls in, and every screenshot on the
    // way succeeds.
    EXPECT_TRUE(pollPicture(
        [](const DecodedPng& png) {
            const int most = brightestIn(png, binRows(kToneBin, png.width, png.height));
            return most <= kDark ? "" : "the tone's rows are still lit at " + std::to_string(most);
        },
        last))
        << last;
    EXPECT_TRUE(obs_->running());
    // A source of that name again is listened to again. OBS frees a media source's name a few
    // seconds after its removal.
    const std::string again =
        createInput(kMedia, "ffmpeg_source", mediaSettings(toneFile(kToneBin)));
    ASSERT_TRUE(pollUntil([&] { return obs_->request(again, last).has_value(); }, kStepSeconds))
        << last;
    EXPECT_TRUE(pollPicture([](const DecodedPng& png) { return showsTone(png, kToneBin); }, last))
        << "after the source came back: " << last;
}

} // namespace
} // namespace lumacore::cli::test
