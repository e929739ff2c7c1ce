// Xvfb picks a free display number itself and writes it to a descriptor once it accepts clients
// (-displayfd), so tests running side by side never race for one; openbox says it is ready by
// running its --startup command. Like a desktop's server it never resets: by default Xvfb starts
// over whenever its last client leaves (each of the tests' xdotool questions), and a program that
// connects in that moment is turned away.
#include "virtual_display.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "program_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kStartSeconds = 15;
constexpr const char* kDummyDriver = "/usr/lib/xorg/modules/drivers/dummy_drv.so";

// Xorg's configuration for `monitors` monitors of 1920 x 1080 on the dummy driver.
std::string dummyConfiguration(int monitors) {
    return "Section \"Device\"\n Identifier \"dummy\"\n Driver \"dummy\"\n VideoRam 256000\n"
           "EndSection\n"
           "Section \"Monitor\"\n Identifier \"monitor\"\n HorizSync 5.0-1000.0\n"
           " VertRefresh 5.0-200.0\n"
           " Modeline \"1920x1080\" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync\n"
           "EndSection\n"
           "Section \"Screen\"\n Identifier \"screen\"\n Device \"dummy\"\n Monitor \"monitor\"\n"
           " DefaultDepth 24\n SubSection \"Display\"\n  Depth 24\n  Virtual " +
           std::to_string(1920 * monitors) +
           " 1080\n  Modes \"1920x1080\"\n EndSubSection\nEndSection\n";
}

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!std::getline(in, line) || in.eof()) return ""; // not yet complete
    return line;
}

} // namespace

bool VirtualDisplay::installed(Manager manager, int monitors) {
    return onPath("Xvfb") && onPath("xdotool") && (manager == Manager::None || onPath("openbox")) &&
           (monitors == 1 || (onPath("Xorg") && onPath("xrandr") && ::geteuid() == 0 &&
                              std::filesystem::exists(kDummyDriver)));
}

VirtualDisplay::VirtualDisplay(Manager manager, int monitors) {
    char name[] = "/tmp/lumacore-display-XXXXXX";
    if (!::mkdtemp(name)) {
        problem_ = "cannot make a folder for the virtual display";
        return;
    }
    folder_ = name;
    const std::filesystem::path number = folder_ / "display", ready = folder_ / "ready";
    std::string command =
        "exec Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>" +
        quoted(number.string());
    if (monitors > 1) {
        const std::filesystem::path configuration = folder_ / "xorg.conf";
        std::ofstream(configuration) << dummyConfiguration(monitors);
        command = "exec Xorg -displayfd 3 -noreset -nolisten tcp -config " +
                  quoted(configuration.string()) + " -logfile " +
                  quoted((folder_ / "xorg.log").string()) + " 3>" + quoted(number.string());
    }
    try {
        server_ = std::make_unique<ChildProcess>(std::vector<std::string>{"sh", "-c", command});
    } catch (const std::runtime_error& error) {
        problem_ = error.what();
        return;
    }
    if (!pollUntil([&] { return !firstLine(number).empty() || !server_->running(); },
                   kStartSeconds) ||
        !server_->running()) {
        problem_ = monitors > 1 ? "Xorg did not start" : "Xvfb did not start";
        return;
    }
    name_ = ":" + firstLine(number);
    // The dummy driver lights one output; the others are given the mode and put to its right.
    for (int i = 1; i < monitors; ++i) {
        const std::string output = "DUMMY" + std::to_string(i);
        const EnvironmentChanges on = {{"DISPLAY", name_}};
        if (!commandOutput({"xrandr", "--addmode", output, "1920x1080"}, on) ||
            !commandOutput({"xrandr", "--output", output, "--mode", "1920x1080", "--right-of",
                            "DUMMY" + std::to_string(i - 1)},
                           on)) {
            problem_ = "xrandr could not light " + output;
            return;
        }
    }
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
