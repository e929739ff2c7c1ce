#include "live/x11_monitors.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

#include "live/sdl_handles.h"

namespace lumacore::cli {

X11Monitors::X11Monitors() : display_(XOpenDisplay(nullptr), XCloseDisplay) {
    if (!display_) throw PlayError("no display: cannot ask the X server for its monitors");
    int errorBase = 0, major = 0, minor = 0;
    if (XRRQueryExtension(display_.get(), &eventBase_, &errorBase) != True) {
        eventBase_ = -1;
        return;
    }
    monitors_ = XRRQueryVersion(display_.get(), &major, &minor) != 0 &&
                (major > 1 || (major == 1 && minor >= 5));
}

X11Monitors::~X11Monitors() = default;

std::vector<MonitorArea> X11Monitors::list() const {
    Display* display = display_.get();
    const Window root = DefaultRootWindow(display);
    std::vector<MonitorArea> areas;
    int count = 0;
    XRRMonitorInfo* monitors = monitors_ ? XRRGetMonitors(display, root, True, &count) : nullptr;
    for (int i = 0; i < count; ++i) {
        MonitorArea area;
        if (char* name = XGetAtomName(display, monitors[i].name)) {
            area.name = name;
            XFree(name);
        }
        area.x = monitors[i].x;
        area.y = monitors[i].y;
        area.width = monitors[i].width;
        area.height = monitors[i].height;
        if (area.width <= 0 || area.height <= 0) continue;
        if (monitors[i].primary)
            areas.insert(areas.begin(), area);
        else
            areas.push_back(area);
    }
    if (monitors != nullptr) XRRFreeMonitors(monitors);
    if (!monitors_) {
        XWindowAttributes screen;
        if (XGetWindowAttributes(display, root, &screen) != 0)
            areas.push_back({"screen", 0, 0, screen.width, screen.height});
    }
    return areas;
}

void X11Monitors::watch(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (eventBase_ < 0 || SDL_GetWindowWMInfo(window, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11)
        return;
    Display* display = info.info.x11.display;
    // SDL asks for outputs' changes only; a superset of its mask leaves what it does alone.
    XRRSelectInput(display, DefaultRootWindow(display),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    XFlush(display);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool X11Monitors::changedBy(const SDL_Event& event) const {
    if (event.type != SDL_SYSWMEVENT || eventBase_ < 0 || event.syswm.msg == nullptr ||
        event.syswm.msg->subsystem != SDL_SYSWM_X11)
        return false;
    const int type = event.syswm.msg->msg.x11.event.type;
    return type == eventBase_ + RRScreenChangeNotify || type == eventBase_ + RRNotify;
}

} // namespace lumacore::cli
