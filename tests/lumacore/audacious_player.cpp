#include "audacious_player.h"

#include <fstream>
#include <system_error>

#include "x_window.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

constexpr double kStartSeconds = 30; // Audacious's first start scans every plug-in
constexpr double kStepSeconds = 10;
constexpr int kWidth = 640; // the dock's picture
constexpr int kHeight = 360;
constexpr const char* kPluginName = "lumacore-audacious"; // audtool's name for it: the file's

// The folder of the system's Audacious plug-ins (the one holding Output/), found from the
// program's place: PREFIX/bin/audacious has them in PREFIX/lib/[MULTIARCH/]audacious.
std::optional<fs::path> systemPluginRoot(const fs::path& program) {
    const fs::path prefix = program.parent_path().parent_path();
    std::error_code error;
    if (fs::exists(prefix / "lib/audacious/Output", error)) return prefix / "lib/audacious";
    for (const auto& entry : fs::directory_iterator(prefix / "lib", error))
        if (fs::exists(entry.path() / "audacious/Output", error)) return entry.path() / "audacious";
    return std::nullopt;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// The visible window named `name` exactly: the dock "Lumacore", its picture "Lumacore picture".
std::optional<std::string> windowNamed(const std::string& name) {
    const auto ids =
        commandOutput({"xdotool", "search", "--onlyvisible", "--name", "^" + name + "$"});
    if (!ids || ids->empty()) return std::nullopt;
    return firstLine(*ids);
}
std::optional<std::string> pictureWindow() {
    return windowNamed("Lumacore picture");
}

} // namespace

bool AudaciousPlayer::installed() {
    return onPath("audacious") && onPath("audtool");
}

AudaciousPlayer::AudaciousPlayer(const fs::path& module, const std::vector<std::string>& files) {
    const auto where = commandOutput({"sh", "-c", "command -v audacious"});
    const fs::path program = where ? fs::canonical(firstLine(*where)) : fs::path();
    const std::optional<fs::path> systemRoot = systemPluginRoot(program);
    if (!systemRoot) {
        problem_ = "Audacious's plug-in folder was not found beside " + program.string();
        return;
    }
    // The same layout under a prefix of the test's own, which Audacious takes from its binary.
    const fs::path prefix = folder_.file("prefix");
    const fs::path root = prefix / fs::relative(*systemRoot, program.parent_path().parent_path());
    fs::create_directories(prefix / "bin");
    fs::create_directories(root / "Visualization");
    fs::create_directories(prefix / "share");
    fs::copy_file(program, prefix / "bin/audacious");
    for (const auto& entry : fs::directory_iterator(*systemRoot))
        if (entry.path().filename() != "Visualization")
            fs::create_directory_symlink(entry.path(), root / entry.path().filename());
    const fs::path installed = root / "Visualization" / (std::string(kPluginName) + ".so");
    fs::create_symlink(fs::absolute(module), installed);
    const fs::path data = program.parent_path().parent_path() / "share/audacious";
    fs::create_directory_symlink(data, prefix / "share/audacious");

    // The plug-in enabled before the first start: its entry in the registry, stamped with the
    // module's time as Audacious stamps it (the other plug-ins are found and added as new).
    const fs::path config = folder_.file("config/audacious");
    fs::create_directories(config);
    const auto stamp = commandOutput({"stat", "-L", "-c", "%Y", installed.string()});
    std::ofstream(config / "plugin-registry")
        << "format 11\nvis " << installed.string() << "\nstamp " << firstLine(stamp.value_or("0"))
        << "\nversion 48\nflags 2\nname Lumacore\npriority 0\nabout 1\nconfig 1\nenabled 1\n";
    // The 2D history, and the interface's own little spectrum off.
    std::ofstream(config / "config") << "[lumacore]\ndisplay=0\nthree_d=FALSE\nbrightness=100\n"
                                     << "[qtui]\ninfoarea_show_vis=FALSE\n";

    bus_ = std::make_unique<SessionBus>(SessionBus::Reach::Private);
    environment_ = {{"XDG_CONFIG_HOME", folder_.file("config")},
                    {"XDG_DATA_HOME", folder_.file("data")},
                    {"XDG_CACHE_HOME", folder_.file("cache")},
                    {"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
                    {"QT_QPA_PLATFORM", "xcb"}};
    std::vector<std::string> argv = {(prefix / "bin/audacious").string(), "--qt"};
    argv.insert(argv.end(), files.begin(), files.end());
    audacious_ = std::make_unique<ChildProcess>(argv, environment_, fs::path(), "/dev/null",
                                                folder_.file("audacious.log"));
    if (!pollUntil([&] { return !running() || pictureWindow(); }, kStartSeconds) || !running()) {
        problem_ = "Audacious showed no Lumacore dock within " +
                   std::to_string(int(kStartSeconds)) +
                   " s (its log: " + folder_.file("audacious.log") + ")";
        return;
    }
    if (!resizeDock(kWidth, kHeight))
        problem_ = "the dock did not take its size";
    else if (!waitForStatus("playing"))
        problem_ = "Audacious does not play " + (files.empty() ? "" : files[0]);
}

AudaciousPlayer::~AudaciousPlayer() {
    if (!running()) return;
    audtool({"shutdown"});
    if (!audacious_->waitExit(5)) audacious_->stop();
}

std::optional<std::string> AudaciousPlayer::audtool(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"audtool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return commandOutput(argv, environment_, kStepSeconds);
}

bool AudaciousPlayer::waitForStatus(const std::string& status) {
    return pollUntil(
        [&] {
            const auto said = audtool({"playback-status"});
            return said && firstLine(*said) == status;
        },
        kStepSeconds);
}

bool AudaciousPlayer::resizeDock(int width, int height) {
    const auto dock = windowNamed("Lumacore");
    const auto shown = pictureWindow();
    if (!dock || !shown) return false;
    const auto outer = windowRect(*dock);
    const auto inner = windowRect(*shown);
    if (!outer || !inner) return false;
    // The dock's frame and title around the picture stay as they are.
    const int dockWidth = width + outer->width - inner->width;
    const int dockHeight = height + outer->height - inner->height;
    if (!commandOutput({"xdotool", "windowsize", *dock, std::to_string(dockWidth),
                        std::to_string(dockHeight), "windowmove", *dock, "0", "0", "windowraise",
                        *dock}))
        return false;
    return pollUntil(
        [&] {
            const auto now = pictureWindow();
            const auto rect = now ? windowRect(*now) : std::nullopt;
            return rect && rect->width == width && rect->height == height;
        },
        kStepSeconds);
}

std::optional<Picture> AudaciousPlayer::picture() {
    const auto window = pictureWindow();
    return window ? windowPicture(*window) : std::nullopt;
}

bool AudaciousPlayer::closeDock() {
    audtool({"plugin-enable", kPluginName, "off"});
    return pollUntil([&] { return !pictureWindow(); }, kStepSeconds);
}

bool AudaciousPlayer::openDock() {
    audtool({"plugin-enable", kPluginName, "on"});
    return pollUntil([&] { return pictureWindow().has_value(); }, kStepSeconds) &&
           resizeDock(kWidth, kHeight);
}

} // namespace lumacore::cli::test
