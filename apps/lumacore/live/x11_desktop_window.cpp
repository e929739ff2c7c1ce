// The properties are set before the window is mapped: a window manager reads them then (EWMH
// asks for client messages to change _NET_WM_STATE only once a window is mapped).
#include "live/x11_desktop_window.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <vector>

#include "live/sdl_handles.h"

namespace lumacore::cli {
namespace {

Atom atom(Display* display, const char* name) {
    return XInternAtom(display, name, False);
}

void setAtoms(Display* display, Window window, const char* property,
              const std::vector<const char*>& names) {
    std::vector<Atom> values;
    for (const char* name : names)
        values.push_back(atom(display, name));
    XChangeProperty(display, window, atom(display, property), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()),
                    static_cast<int>(values.size()));
}

} // namespace

void makeDesktopWindow(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_ClearError();
    if (SDL_GetWindowWMInfo(window, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11)
        throw PlayError("the wallpaper needs a window on X11" + sdlReason());
    Display* display = info.info.x11.display;
    const Window id = info.info.x11.window;

    setAtoms(display, id, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DESKTOP"});
    setAtoms(display, id, "_NET_WM_STATE",
             {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
              "_NET_WM_STATE_SKIP_PAGER"});
    // Every workspace.
    const long everyDesktop = 0xFFFFFFFF;
    XChangeProperty(display, id, atom(display, "_NET_WM_DESKTOP"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&everyDesktop), 1);
    // No rectangle takes input: the pointer's events go to the window below.
    int event = 0, error = 0;
    if (XShapeQueryExtension(display, &event, &error))
        XShapeCombineRectangles(display, id, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    XFlush(display);
}

} // namespace lumacore::cli
