// Each question is one xdotool run; a window that has not appeared yet is asked for again until
// the deadline rather than with xdotool's own unbounded --sync.
#include "x_window.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include "child_process.h"

namespace lumacore::cli::test {
namespace {

// "KEY=VALUE" lines, as xdotool's --shell output gives them.
std::map<std::string, int> shellValues(const std::string& text) {
    std::map<std::string, int> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        try {
            values[line.substr(0, equals)] = std::stoi(line.substr(equals + 1));
        } catch (const std::exception&) {
        }
    }
    return values;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const ScreenRect& rect) {
    return out << rect.width << "x" << rect.height << "+" << rect.x << "+" << rect.y;
}

std::optional<std::string> findWindow(pid_t pid, double seconds) {
    std::optional<std::string> found;
    pollUntil(
        [&] {
            const auto output =
                commandOutput({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
            if (!output) return false;
            std::istringstream ids(*output);
            std::string id;
            if (ids >> id) found = id;
            return found.has_value();
        },
        seconds);
    return found;
}

std::optional<ScreenRect> windowRect(const std::string& window) {
    const auto output = commandOutput({"xdotool", "getwindowgeometry", "--shell", window});
    if (!output) return std::nullopt;
    auto values = shellValues(*output);
    if (!values.contains("WIDTH") || !values.contains("HEIGHT")) return std::nullopt;
    return ScreenRect{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

std::vector<ScreenRect> windowRectsOf(pid_t pid) {
    std::vector<ScreenRect> rects;
    const auto output =
        commandOutput({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
    std::istringstream ids(output.value_or(""));
    for (std::string id; ids >> id;)
        if (const auto rect = windowRect(id)) rects.push_back(*rect);
    std::ranges::sort(rects, {}, [](const ScreenRect& r) { return std::pair(r.x, r.y); });
    return rects;
}

std::optional<std::string> windowName(const std::string& window) {
    auto output = commandOutput({"xdotool", "getwindowname", window});
    if (output && !output->empty() && output->back() == '\n') output->pop_back();
    return output;
}

std::optional<ScreenRect> screenRect() {
    const auto output = commandOutput({"xdotool", "getdisplaygeometry", "--shell"});
    if (!output) return std::nullopt;
    auto values = shellValues(*output);
    if (!values.contains("WIDTH") || !values.contains("HEIGHT")) return std::nullopt;
    return ScreenRect{0, 0, values["WIDTH"], values["HEIGHT"]};
}

bool typeKey(const std::string& window, const std::string& key) {
    return commandOutput({"xdotool", "windowfocus", "--sync", window, "key", key}).has_value();
}

std::optional<ScreenRect> waitForRect(const std::string& window, const ScreenRect& wanted,
                                      double seconds) {
    std::optional<ScreenRect> seen;
    pollUntil(
        [&] {
            seen = windowRect(window);
            return seen == wanted;
        },
        seconds);
    return seen;
}

std::optional<std::string> windowProperty(const std::string& window, const std::string& name) {
    auto output = commandOutput({"xprop", "-id", window, name});
    // "NAME(TYPE) = VALUE", or "NAME:  not found."
    if (!output) return std::nullopt;
    const std::size_t equals = output->find(" = ");
    if (equals == std::string::npos) return std::nullopt;
    std::string value = output->substr(equals + 3);
    while (!value.empty() && value.back() == '\n')
        value.pop_back();
    return value;
}

std::vector<std::string> stackingOrder() {
    const auto value = commandOutput({"xprop", "-root", "_NET_CLIENT_LIST_STACKING"});
    std::vector<std::string> windows;
    if (!value) return windows;
    // "...: window id # 0x400002, 0x600003": hexadecimal, xdotool's are decimal.
    std::istringstream ids(value->substr(std::min(value->find('#'), value->size())));
    std::string id;
    while (ids >> id) {
        if (!id.starts_with("0x")) continue;
        windows.push_back(std::to_string(std::stoul(id, nullptr, 16)));
    }
    return windows;
}

std::optional<int> inputRectangles(const std::string& window) {
    const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    int event = 0, error = 0;
    if (!display || !XShapeQueryExtension(display.get(), &event, &error)) return std::nullopt;
    int count = 0, ordering = 0;
    XRectangle* rectangles =
        XShapeGetRectangles(display.get(), std::stoul(window), ShapeInput, &count, &ordering);
    if (rectangles != nullptr) XFree(rectangles);
    return count;
}

std::optional<Picture> windowPicture(const std::string& window) {
    const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    if (!display) return std::nullopt;
    const Window id = std::stoul(window);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display.get(), id, &attributes) || attributes.map_state != IsViewable)
        return std::nullopt;
    struct ImageOwner {
        void operator()(XImage* image) const { XDestroyImage(image); } // a macro, not a function
    };
    const std::unique_ptr<XImage, ImageOwner> image(XGetImage(
        display.get(), id, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap));
    if (!image) return std::nullopt;
    Picture picture{attributes.width, attributes.height, {}};
    picture.rgb.reserve(std::size_t(3) * picture.width * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const unsigned long pixel = XGetPixel(image.get(), x, y);
            picture.rgb.push_back(static_cast<std::uint8_t>((pixel & image->red_mask) >> 16));
            picture.rgb.push_back(static_cast<std::uint8_t>((pixel & image->green_mask) >> 8));
            picture.rgb.push_back(static_cast<std::uint8_t>(pixel & image->blue_mask));
        }
    return picture;
}

} // namespace lumacore::cli::test
