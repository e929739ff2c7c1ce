// One connection to a Wayland compositor and what every screen on it shares: the globals bound
// from the registry, the outputs as they come and go, the seat's keyboard, and the loop that
// reads the compositor's events (woken from other threads through an eventfd).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "live/live_screen.h"
#include "live/wayland_handles.h"
#include "live/wayland_keyboard.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace lumacore::cli {

class WaylandClient;

// An event that is only its kind.
inline ScreenEvent screenEvent(ScreenEvent::Kind kind) {
    ScreenEvent event;
    event.kind = kind;
    return event;
}

struct WaylandOutput {
    WaylandClient* client = nullptr;
    std::uint32_t global = 0;
    WaylandPtr<wl_output> output;
    std::string name; // the compositor's (wl_output 4), else "output-" and its global's number
    int width = 0, height = 0; // the current mode, in pixels
    int refreshMilliHertz = 0;
    int scale = 1;
    bool announced = false; // its first description is complete
};

// What a screen hears of the connection. Called on the thread that dispatches.
class WaylandScreenHooks {
  public:
    virtual void outputAdded(WaylandOutput&) {}
    virtual void outputChanged(WaylandOutput&) {}
    virtual void outputRemoved(WaylandOutput&) {}
    virtual void key(wl_surface* /*focus*/, const ScreenEvent&) {}
    virtual void connectionLost() {}

  protected:
    ~WaylandScreenHooks() = default;
};

class WaylandClient {
  public:
    // Connects to WAYLAND_DISPLAY's compositor; throws PlayError ("no display: ...").
    WaylandClient();
    ~WaylandClient();
    WaylandClient(const WaylandClient&) = delete;
    WaylandClient& operator=(const WaylandClient&) = delete;

    wl_display* display() const { return display_.get(); }
    wl_compositor* compositor() const { return compositor_.get(); }
    int compositorVersion() const { return compositorVersion_; }
    wl_shm* shm() const { return shm_.get(); }
    xdg_wm_base* wmBase() const { return wmBase_.get(); }
    zxdg_decoration_manager_v1* decorations() const { return decorations_.get(); }
    zwlr_layer_shell_v1* layerShell() const { return layerShell_.get(); }
    const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }
    // The refresh rate of the first output that gives one; 60 otherwise.
    double refreshRate() const;

    void addHooks(WaylandScreenHooks* hooks);
    void removeHooks(WaylandScreenHooks* hooks);

    // Reads and handles what the compositor sent, waiting up to `seconds` for it (0: not at
    // all), or until the waker is called.
    void dispatch(double seconds);
    // A screen's next event from its `queue`: what the compositor sent is dispatched first when
    // the queue is empty, without waiting.
    std::optional<ScreenEvent> nextEvent(std::deque<ScreenEvent>& queue);
    // Dispatches until `ready` holds or `seconds` have passed (as a display's vsync holds a
    // present: the caller's next picture is not drawn before the compositor wants one).
    void dispatchUntil(const std::function<bool()>& ready, double seconds);
    // Sends what is queued and handles everything the compositor answers to it.
    void roundtrip();
    // Whether the compositor has gone (or ended the connection for a protocol error).
    bool lost() const { return lost_; }
    std::function<void()> waker() const;

    // From an output's listener: its description is complete (again).
    void outputDone(WaylandOutput& output);

  private:
    static const wl_registry_listener kRegistryListener;
    static const wl_output_listener kOutputListener;
    static const wl_seat_listener kSeatListener;
    static const xdg_wm_base_listener kWmBaseListener;

    void global(std::uint32_t name, const char* interface, std::uint32_t version);
    void globalRemoved(std::uint32_t name);
    void seatCapabilities(std::uint32_t capabilities);
    void lose();

    std::string socket_;
    WaylandPtr<wl_display> display_;
    WaylandPtr<wl_registry> registry_;
    WaylandPtr<wl_compositor> compositor_;
    int compositorVersion_ = 0;
    WaylandPtr<wl_shm> shm_;
    WaylandPtr<xdg_wm_base> wmBase_;
    WaylandPtr<zxdg_decoration_manager_v1> decorations_;
    WaylandPtr<zwlr_layer_shell_v1> layerShell_;
    std::uint32_t seatGlobal_ = 0;
    WaylandPtr<wl_seat> seat_;
    std::unique_ptr<WaylandKeyboard> keyboard_;
    std::vector<std::unique_ptr<WaylandOutput>> outputs_;
    std::vector<WaylandScreenHooks*> hooks_;
    std::shared_ptr<FileDescriptor> wake_; // an eventfd
    bool lost_ = false;
};

} // namespace lumacore::cli
