// Xvfb picks a free display number itself and writes it to a descriptor once it accepts clients
// (-displayfd), so tests running side by side never race for one; openbox says it is ready by
// running its --startup command. Like a desktop's server it never resets: by default Xvfb starts
// over whenever its last client leaves (each of the tests' xdotool questions), and a program that
// connects in that moment is turned away.
#include "virtual_display.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "program_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kStartSeconds = 15;

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line) || in.eof()) return ""; // not yet complete
    return line;
}

} // namespace

bool VirtualDisplay::installed(Manager manager) {
    return onPath("Xvfb") && onPath("xdotool") && (manager == Manager::None || onPath("openbox"));
}

VirtualDisplay::VirtualDisplay(Manager manager) {
    char name[] = "/tmp/lumacore-display-XXXXXX";
    if (!::mkdtemp(name)) {
        problem_ = "cannot make a folder for the virtual display";
        return;
    }
    folder_ = name;
    const std::filesystem::path number = folder_ / "display", ready = folder_ / "ready";
    try {
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
            "sh", "-c",
            "exec Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>" +
                quoted(number.string())});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    if (!pollUntil([&] { return !firstLine(number).empty() || !server_->running(); },
                   kStartSeconds) ||
        !server_->running()) {
        problem_ = "Xvfb did not start";
        return;
    }
    name_ = ":" + firstLine(number);
    if (manager == Manager::Openbox) {
        const EnvironmentChanges environment = {{"DISPLAY", name_},
                                                {"HOME", folder_.string()},
                                                {"XDG_CONFIG_HOME", (folder_ / "config").string()},
                                                {"XDG_CACHE_HOME", (folder_ / "cache").string()}};
        try {
            manager_ = std::make_unique<ChildProcess>(
                std::vector<std::string>{"openbox", "--sm-disable", "--startup",
                                         "touch " + quoted(ready.string())},
                environment, folder_);
        } catch (const std::runtime_error& error) {
            problem_ = error.what();
            return;
        }
        if (!pollUntil([&] { return std::filesystem::exists(ready) || !manager_->running(); },
                       kStartSeconds) ||
            !manager_->running()) {
            problem_ = "openbox did not start";
            return;
        }
    }
    if (const char* display = std::getenv("DISPLAY")) previous_ = display;
    ::setenv("DISPLAY", name_.c_str(), 1);
    exported_ = true;
}

VirtualDisplay::~VirtualDisplay() {
    if (exported_) {
        if (previous_)
            ::setenv("DISPLAY", previous_->c_str(), 1);
        else
            ::unsetenv("DISPLAY");
    }
    if (manager_) manager_->stop();
    manager_.reset();
    if (server_) server_->stop();
    server_.reset();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

} // namespace lumacore::cli::test
