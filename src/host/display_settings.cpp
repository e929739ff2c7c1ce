// Loading and saving the displays' settings through one snapshot of the file and one batch of
// writes, with the plug-in's own readers and writers of each section.
#include "host/display_settings.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "host/arith.h"
#include "host/ini_file_store.h"
#include "host/settings.h"

namespace lumacore {
namespace {

namespace fs = std::filesystem;

constexpr char kModuleKey[] = "Module";
constexpr char kFollowPlayerKey[] = "FollowPlayer";
constexpr DisplayModule kModules[] = {DisplayModule::History, DisplayModule::Oscilloscope,
                                      DisplayModule::VuMeter};

// A store that reads from one snapshot of the file and keeps writes for one batch.
class BatchStore final : public SettingsStore {
  public:
    explicit BatchStore(IniSnapshot snapshot = {}) : snapshot_(std::move(snapshot)) {}
    unsigned readInt(const std::string& section, const std::string& key, int fallback) override {
        return snapshot_.readInt(section, key, fallback);
    }
    bool writeString(const std::string& section, const std::string& key,
                     const std::string& value) override {
        writes.push_back({section, key, value});
        return true;
    }
    const IniSnapshot& snapshot() const { return snapshot_; }

    std::vector<IniSetting> writes;

  private:
    IniSnapshot snapshot_;
};

float clamped(float value, float low, float high, float otherwise) {
    return value == value ? std::clamp(value, low, high) : otherwise;
}

// Brightness and speed in their ranges; everything else as it is.
DisplaySettings inRange(DisplaySettings settings) {
    const HistorySettings defaults;
    HistorySettings& history = settings.history;
    history.brightness =
        clamped(history.brightness, kBrightnessMin, kBrightnessMax, defaults.brightness);
    history.speed = clamped(history.speed, kSpeedMin, kSpeedMax, defaults.speed);
    return settings;
}

// The history window where the plug-in would create it for these stored values.
Rect historyPlacement(const HistoryState& stored, const ScreenGeometry& screen) {
    const WindowSize defaultSize{truncToInt(0.6 * screen.primary.width),
                                 truncToInt(0.5 * screen.primary.height)};
    WindowSize wanted{stored.windowWidth, stored.windowHeight};
    if (wanted.width == 0) wanted = defaultSize;
    return reachablePlacement(stored.windowX, stored.windowY,
                              creationSize(wanted, defaultSize, screen.largest),
                              screen.virtualScreen);
}

ScopeSettings readScope(SettingsStore& store, const char* section, const ScreenGeometry& screen) {
    ScopeState state; // the plug-in's defaults
    readScopeSettings(state, store, section);
    const Rect place =
        reachablePlacement(state.screenX, state.screenY, kScopeWindowSize, screen.virtualScreen);
    return {{place.left, place.top}};
}

// The value itself where the plug-in's writer, which truncates to hundredths, would store it a
// hundredth low (1.3f is just below 1.3): the nearest float it stores as the nearest hundredth,
// so that the value saved is the value shown.
float onItsHundredth(float value) {
    const long wanted = std::lround(static_cast<double>(value) * 100);
    float exact = value;
    for (int step = 0; step < 64 && hundredths(exact) < wanted; ++step)
        exact = std::nextafter(exact, 2 * std::abs(value) + 1);
    return hundredths(exact) == wanted ? exact : value;
}

// Every key of the settings, in the order the plug-in writes them, then [Player].
std::vector<IniSetting> writesOf(const DisplaySettings& settings) {
    BatchStore batch;
    HistoryState history;
    history.windowRect = settings.history.window;
    history.mode3D = settings.history.threeD ? 1 : 0;
    history.speed = onItsHundredth(settings.history.speed);
    history.brightness = onItsHundredth(settings.history.brightness);
    writeHistorySettings(history, batch, kHistorySection);
    const auto scope = [&batch](const ScopeSettings& s, const char* section) {
        ScopeState state;
        state.screenX = s.position.x;
        state.screenY = s.position.y;
        writeScopeSettings(state, batch, section);
    };
    scope(settings.oscilloscope, kOscilloscopeSection);
    scope(settings.vuMeter, kVuMeterSection);
    batch.writeString(kPlayerSection, kModuleKey, moduleName(settings.module));
    batch.writeString(kPlayerSection, kFollowPlayerKey, settings.followPlayer ? "1" : "0");
    return batch.writes;
}

// The folders of `path` that do not exist yet, created with mode 0700 as the XDG rule asks.
std::string createFolders(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error)) return {};
    std::vector<fs::path> missing;
    for (fs::path at = folder; !at.empty() && !fs::exists(at, error); at = at.parent_path()) {
        missing.push_back(at);
        if (at == at.parent_path()) break;
    }
    for (auto at = missing.rbegin(); at != missing.rend(); ++at) {
        fs::create_directory(*at, error);
        if (error)
            return "cannot write '" + path + "': cannot create folder '" + at->string() +
                   "': " + error.message();
        fs::permissions(*at, fs::perms::owner_all, fs::perm_options::replace, error);
    }
    return {};
}

} // namespace

float steppedBrightness(float current, int steps) {
    const float tenths = std::round(current * 10.0f) + static_cast<float>(steps);
    return std::clamp(tenths / 10.0f, kBrightnessMin, kBrightnessMax);
}

const char* moduleName(DisplayModule module) {
    switch (module) {
    case DisplayModule::Oscilloscope:
        return "scope";
    case DisplayModule::VuMeter:
        return "vu";
    case DisplayModule::History:
        break;
    }
    return "history";
}

SettingsLoad loadDisplaySettings(const std::string& path, const ScreenGeometry& screen) {
    SettingsLoad load;
    BatchStore store(IniFileStore(path).read());
    load.problem = store.snapshot().error();

    HistoryState stored;
    readHistorySettings(stored, store, kHistorySection);
    HistorySettings& history = load.settings.history;
    history.window = historyPlacement(stored, screen);
    history.threeD = stored.mode3D != 0;
    history.speed = stored.speed;
    history.brightness = stored.brightness;
    load.settings.oscilloscope = readScope(store, kOscilloscopeSection, screen);
    load.settings.vuMeter = readScope(store, kVuMeterSection, screen);

    load.settings.followPlayer = store.readInt(kPlayerSection, kFollowPlayerKey, 0) != 0;
    if (const auto name = store.snapshot().readString(kPlayerSection, kModuleKey)) {
        const auto known = std::find_if(std::begin(kModules), std::end(kModules),
                                        [&](DisplayModule m) { return *name == moduleName(m); });
        if (known != std::end(kModules))
            load.settings.module = *known;
        else if (load.problem.empty())
            load.problem = "settings file '" + path + "': [" + kPlayerSection + "] " + kModuleKey +
                           " '" + *name + "' is not history, scope or vu; using " +
                           moduleName(load.settings.module);
    }
    load.settings = inRange(load.settings);
    return load;
}

std::string saveDisplaySettings(const std::string& path, const DisplaySettings& settings,
                                const DisplaySettings* loaded) {
    std::vector<IniSetting> writes = writesOf(inRange(settings));
    if (loaded) {
        const std::vector<IniSetting> before = writesOf(inRange(*loaded));
        std::vector<IniSetting> changed;
        for (std::size_t i = 0; i < writes.size(); ++i)
            if (writes[i].value != before[i].value) changed.push_back(writes[i]);
        writes = std::move(changed);
        if (writes.empty()) return {};
    }
    if (std::string problem = createFolders(path); !problem.empty()) return problem;
    return IniFileStore(path).write(writes);
}

} // namespace lumacore
