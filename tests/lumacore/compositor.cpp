// sway 1.7 makes its Wayland socket and its IPC socket in XDG_RUNTIME_DIR once it accepts
// clients; both are waited for. root may use nobody's sockets, so the tests' clients run as
// themselves.
#include "compositor.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "program_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kStartSeconds = 15;

std::optional<std::filesystem::path> firstEntry(const std::filesystem::path& folder,
                                                const std::string& prefix,
                                                const std::string& suffix) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(suffix) && entry.is_socket())
            return entry.path();
    }
    return std::nullopt;
}

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void apply(const EnvironmentChanges& changes) {
    for (const auto& [name, value] : changes) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}

} // namespace

bool Compositor::installed() {
    return onPath("sway") && onPath("swaymsg") && onPath("grim") && onPath("runuser") &&
           ::getpwnam("nobody");
}

Compositor::Compositor(int width, int height, const std::string& config) {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody) {
        problem_ = "there is no user nobody to run sway as";
        return;
    }
    char name[] = "/tmp/lumacore-compositor-XXXXXX";
    char files[] = "/tmp/lumacore-compositor-files-XXXXXX";
    if (!::mkdtemp(name) || !::mkdtemp(files)) {
        problem_ = "cannot make folders for the compositor";
        return;
    }
    folder_ = name;
    files_ = files;
    if (::chown(name, nobody->pw_uid, nobody->pw_gid) != 0 || ::chmod(name, 0700) != 0 ||
        ::chmod(files, 0755) != 0) {
        problem_ = "cannot give the compositor's folder to nobody";
        return;
    }
    const std::filesystem::path configFile = files_ / "config";
    std::ofstream(configFile) << "output HEADLESS-1 resolution " << width << "x" << height << "\n"
                              << config << "\n";
    try {
        server_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"runuser", "-u", "nobody", "--", "env", "-u", "DISPLAY", "-u",
                                     "WAYLAND_DISPLAY", "HOME=" + folder_.string(),
                                     "XDG_RUNTIME_DIR=" + folder_.string(), "WLR_BACKENDS=headless",
                                     "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman", "sway",
                                     "-c", configFile.string()},
            EnvironmentChanges{}, files_, files_ / "sway.out", files_ / "sway.log");
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    std::optional<std::filesystem::path> socket, ipc;
    if (!pollUntil(
            [&] {
                socket = firstEntry(folder_, "wayland-", "");
                ipc = firstEntry(folder_, "sway-ipc.", ".sock");
                return (socket && ipc) || !server_->running();
            },
            kStartSeconds) ||
        !server_->running()) {
        problem_ = "sway did not start (its log: " + (files_ / "sway.log").string() + ")";
        return;
    }
    ipc_ = ipc->string();
    // The socket by its whole path, so that a sound server's XDG_RUNTIME_DIR beside it is no
    // matter to clients.
    const EnvironmentChanges ours = {{"WAYLAND_DISPLAY", socket->string()},
                                     {"XDG_RUNTIME_DIR", folder_.string()},
                                     {"DISPLAY", std::nullopt}};
    for (const auto& [variableName, value] : ours)
        previous_[variableName] = variable(variableName.c_str());
    apply(ours);
    // The IPC answers once the outputs are configured.
    if (!pollUntil([&] { return !outputNames().empty(); }, kStartSeconds)) {
        problem_ = "sway does not answer on its IPC socket";
        return;
    }
    // The headless seat has no keyboard, and a client binds the seat's keyboard only once the
    // seat has one: a virtual keyboard that stays (wtype waiting) gives it one from the start,
    // so the keys typed later reach clients that are already there.
    if (onPath("wtype")) {
        try {
            keyboard_ =
                std::make_unique<ChildProcess>(std::vector<std::string>{"wtype", "-s", "86400000"});
        } catch (const std::runtime_error& error) {
            problem_ = error.what();
            return;
        }
        if (!pollUntil(
                [&] {
                    const auto inputs =
                        commandOutput({"swaymsg", "-s", ipc_, "-t", "get_inputs", "-r"});
                    return inputs && inputs->find("\"type\": \"keyboard\"") != std::string::npos;
                },
                kStartSeconds))
            problem_ = "wtype's keyboard did not join sway's seat";
    }
}

Compositor::~Compositor() {
    apply(previous_);
    if (keyboard_) keyboard_->stop();
    keyboard_.reset();
    if (server_) server_->stop();
    server_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    if (!files_.empty()) std::filesystem::remove_all(files_, ignored);
}

bool Compositor::command(const std::string& text) {
    return commandOutput({"swaymsg", "-s", ipc_, text}).has_value();
}

std::vector<std::string> Compositor::outputNames() {
    const auto listing = commandOutput({"swaymsg", "-s", ipc_, "-t", "get_outputs", "-r"});
    std::vector<std::string> names;
    if (!listing) return names;
    // Each output's object has "name": "HEADLESS-n"; modes and the rest have no such key.
    const std::string key = "\"name\": \"";
    for (std::size_t at = listing->find(key); at != std::string::npos;
         at = listing->find(key, at + 1)) {
        const std::size_t start = at + key.size();
        names.push_back(listing->substr(start, listing->find('"', start) - start));
    }
    return names;
}

std::string Compositor::addOutput(int width, int height) {
    const std::vector<std::string> before = outputNames();
    if (!command("create_output")) return "";
    std::string added;
    pollUntil(
        [&] {
            for (const std::string& name : outputNames())
                if (std::find(before.begin(), before.end(), name) == before.end()) added = name;
            return !added.empty();
        },
        kStartSeconds);
    if (added.empty() || !command("output " + added + " resolution " + std::to_string(width) + "x" +
                                  std::to_string(height)))
        return "";
    return added;
}

bool Compositor::switchOff(const std::string& output) {
    return command("output " + output + " disable");
}

std::optional<lumacore::test::DecodedPng> Compositor::screenshot(const std::string& output) {
    const std::filesystem::path file = files_ / ("shot-" + output + ".png");
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    if (!commandOutput({"grim", "-o", output, file.string()})) return std::nullopt;
    return lumacore::test::decodePng(fileBytes(file));
}

bool Compositor::treeHas(const std::string& key, const std::string& value) {
    const auto tree = commandOutput({"swaymsg", "-s", ipc_, "-t", "get_tree", "-r"});
    return tree && tree->find("\"" + key + "\": \"" + value + "\"") != std::string::npos;
}

bool Compositor::showsWindow(const std::string& appId) {
    return treeHas("app_id", appId);
}

bool Compositor::showsTitle(const std::string& title) {
    return treeHas("name", title);
}

bool Compositor::type(const std::string& text) {
    return commandOutput({"wtype", text}).has_value();
}

std::unique_ptr<ChildProcess> Compositor::holdKey(const std::string& key) {
    try {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"wtype", "-P", key, "-s", "86400000"});
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

void Compositor::stop() {
    if (server_) server_->stop();
}

std::unique_ptr<ChildProcess> Compositor::startTerminal() {
    try {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"foot", "--app-id", "lumacore-test-terminal"},
            EnvironmentChanges{{"HOME", files_.string()}}, files_);
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

} // namespace lumacore::cli::test
