// The registry, the outputs, the seat and the event loop.
#include "live/wayland_client.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "live/play_error.h"

namespace lumacore::cli {
namespace {

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface,
        std::uint32_t offered, std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

} // namespace

const wl_registry_listener WaylandClient::kRegistryListener = {
    .global =
        [](void* data, wl_registry*, std::uint32_t name, const char* interface,
           std::uint32_t version) {
            static_cast<WaylandClient*>(data)->global(name, interface, version);
        },
    .global_remove =
        [](void* data, wl_registry*, std::uint32_t name) {
            static_cast<WaylandClient*>(data)->globalRemoved(name);
        },
};

const wl_output_listener WaylandClient::kOutputListener = {
    .geometry = [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                   std::int32_t, const char*, const char*, std::int32_t) {},
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t refresh) {
            if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
            auto* output = static_cast<WaylandOutput*>(data);
            output->width = width;
            output->height = height;
            output->refreshMilliHertz = refresh;
        },
    .done =
        [](void* data, wl_output*) {
            auto* output = static_cast<WaylandOutput*>(data);
            output->client->outputDone(*output);
        },
    .scale = [](void* data, wl_output*,
                std::int32_t factor) { static_cast<WaylandOutput*>(data)->scale = factor; },
    .name = [](void* data, wl_output*,
               const char* name) { static_cast<WaylandOutput*>(data)->name = name; },
    .description = [](void*, wl_output*, const char*) {},
};

const wl_seat_listener WaylandClient::kSeatListener = {
    .capabilities =
        [](void* data, wl_seat*, std::uint32_t capabilities) {
            static_cast<WaylandClient*>(data)->seatCapabilities(capabilities);
        },
    .name = [](void*, wl_seat*, const char*) {},
};

const xdg_wm_base_listener WaylandClient::kWmBaseListener = {
    .ping = [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

WaylandClient::WaylandClient() {
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    if (!socket || !*socket)
        throw PlayError("no display: WAYLAND_DISPLAY is not set, so there is no Wayland "
                        "compositor to connect to");
    socket_ = socket;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (socket_.front() != '/' && (!runtime || !*runtime))
        throw PlayError("no display: XDG_RUNTIME_DIR is not set, so the Wayland compositor \"" +
                        socket_ + "\" cannot be found");
    display_.reset(wl_display_connect(nullptr));
    if (!display_)
        throw PlayError("no display: cannot connect to the Wayland compositor \"" + socket_ +
                        "\" (" + std::strerror(errno) + ")");
    registry_.reset(wl_display_get_registry(display_.get()));
    wl_registry_add_listener(registry_.get(), &kRegistryListener, this);
    // The globals, then what the bound ones (outputs, the seat) say of themselves.
    if (wl_display_roundtrip(display_.get()) < 0 || wl_display_roundtrip(display_.get()) < 0)
        throw PlayError("no display: the Wayland compositor \"" + socket_ +
                        "\" ended the connection (" +
                        std::strerror(wl_display_get_error(display_.get())) + ")");
    if (!compositor_ || !shm_)
        throw PlayError("no display: the Wayland compositor \"" + socket_ +
                        "\" offers no wl_compositor or no wl_shm");
    wake_ = std::make_shared<FileDescriptor>(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!*wake_) throw PlayError(std::string("no display: eventfd: ") + std::strerror(errno));
}

WaylandClient::~WaylandClient() {
    keyboard_.reset();
    outputs_.clear();
}

void WaylandClient::global(std::uint32_t name, const char* interface, std::uint32_t version) {
    wl_registry* registry = registry_.get();
    const std::string_view kind = interface;
    if (kind == wl_compositor_interface.name) {
        compositor_.reset(
            bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4));
        compositorVersion_ = static_cast<int>(std::min(version, 4u));
    } else if (kind == wl_shm_interface.name) {
        shm_.reset(bind<wl_shm>(registry, name, &wl_shm_interface, version, 1));
    } else if (kind == xdg_wm_base_interface.name) {
        wmBase_.reset(bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 2));
        xdg_wm_base_add_listener(wmBase_.get(), &kWmBaseListener, this);
    } else if (kind == zxdg_decoration_manager_v1_interface.name) {
        decorations_.reset(bind<zxdg_decoration_manager_v1>(
            registry, name, &zxdg_decoration_manager_v1_interface, version, 1));
    } else if (kind == zwlr_layer_shell_v1_interface.name) {
        layerShell_.reset(
            bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 4));
    } else if (kind == wl_seat_interface.name && !seat_) {
        seatGlobal_ = name;
        seat_.reset(bind<wl_seat>(registry, name, &wl_seat_interface, version, 5));
        wl_seat_add_listener(seat_.get(), &kSeatListener, this);
    } else if (kind == wl_output_interface.name) {
        auto output = std::make_unique<WaylandOutput>();
        output->global = name;
        output->name = "output-" + std::to_string(name);
        output->output.reset(bind<wl_output>(registry, name, &wl_output_interface, version, 4));
        output->client = this;
        WaylandOutput* added = output.get();
        outputs_.push_back(std::move(output));
        wl_output_add_listener(added->output.get(), &kOutputListener, added);
        if (version < WL_OUTPUT_DONE_SINCE_VERSION) outputDone(*added);
    }
}

void WaylandClient::outputDone(WaylandOutput& output) {
    const bool first = !output.announced;
    output.announced = true;
    for (WaylandScreenHooks* hooks : std::vector(hooks_)) {
        if (first)
            hooks->outputAdded(output);
        else
            hooks->outputChanged(output);
    }
}

void WaylandClient::globalRemoved(std::uint32_t name) {
    if (name == seatGlobal_) {
        keyboard_.reset();
        seat_.reset();
        seatGlobal_ = 0;
        return;
    }
    const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                    [&](const auto& output) { return output->global == name; });
    if (found == outputs_.end()) return;
    const std::unique_ptr<WaylandOutput> gone = std::move(*found);
    outputs_.erase(found);
    if (gone->announced)
        for (WaylandScreenHooks* hooks : std::vector(hooks_))
            hooks->outputRemoved(*gone);
}

void WaylandClient::seatCapabilities(std::uint32_t capabilities) {
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    if (hasKeyboard && !keyboard_) {
        keyboard_ = std::make_unique<WaylandKeyboard>(
            wl_seat_get_keyboard(seat_.get()), [this](wl_surface* focus, const ScreenEvent& key) {
                for (WaylandScreenHooks* hooks : std::vector(hooks_))
                    hooks->key(focus, key);
            });
    } else if (!hasKeyboard) {
        keyboard_.reset();
    }
}

double WaylandClient::refreshRate() const {
    for (const auto& output : outputs_)
        if (output->refreshMilliHertz > 0) return output->refreshMilliHertz / 1000.0;
    return 60;
}

void WaylandClient::addHooks(WaylandScreenHooks* hooks) {
    hooks_.push_back(hooks);
}

void WaylandClient::removeHooks(WaylandScreenHooks* hooks) {
    hooks_.erase(std::remove(hooks_.begin(), hooks_.end(), hooks), hooks_.end());
}

void WaylandClient::lose() {
    if (lost_) return;
    lost_ = true;
    const int error = wl_display_get_error(display_.get());
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t code =
        error == EPROTO ? wl_display_get_protocol_error(display_.get(), &interface, &id) : 0;
    if (error == EPROTO && interface)
        std::fprintf(stderr,
                     "lumacore: the Wayland compositor \"%s\" ended the connection for a protocol "
                     "error (%s %u, error %u)\n",
                     socket_.c_str(), interface->name, id, code);
    else
        std::fprintf(stderr, "lumacore: the Wayland compositor \"%s\" ended the connection (%s)\n",
                     socket_.c_str(), std::strerror(error ? error : EPIPE));
    for (WaylandScreenHooks* hooks : std::vector(hooks_))
        hooks->connectionLost();
}

void WaylandClient::dispatch(double seconds) {
    if (lost_) return;
    wl_display* display = display_.get();
    // At most an hour at a time; a negative or NaN wait is none.
    auto timeout = std::chrono::duration<double>(seconds > 0 ? std::min(seconds, 3600.0) : 0.0);
    const auto now = WaylandKeyboard::Clock::now();
    if (keyboard_)
        if (const auto repeat = keyboard_->untilRepeat(now))
            timeout = std::min<std::chrono::duration<double>>(timeout, *repeat);

    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return lose();
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return lose();
    }
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wake_->get(), POLLIN, 0}};
    const int milliseconds = static_cast<int>(std::ceil(timeout.count() * 1000));
    int ready;
    do
        ready = ::poll(fds, 2, milliseconds);
    while (ready < 0 && errno == EINTR && milliseconds == 0);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP))) {
        if (wl_display_read_events(display) < 0) return lose();
    } else {
        wl_display_cancel_read(display);
    }
    if (ready > 0 && (fds[1].revents & POLLIN)) {
        std::uint64_t count;
        [[maybe_unused]] const auto ignored = ::read(wake_->get(), &count, sizeof count);
    }
    if (wl_display_dispatch_pending(display) < 0) return lose();
    if (keyboard_) keyboard_->repeatDue(WaylandKeyboard::Clock::now());
    wl_display_flush(display);
}

std::optional<ScreenEvent> WaylandClient::nextEvent(std::deque<ScreenEvent>& queue) {
    if (queue.empty()) dispatch(0);
    if (queue.empty()) return std::nullopt;
    ScreenEvent event = std::move(queue.front());
    queue.pop_front();
    return event;
}

void WaylandClient::dispatchUntil(const std::function<bool()>& ready, double seconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(std::max(seconds, 0.0));
    while (!lost_ && !ready()) {
        const double left =
            std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return;
        dispatch(left);
    }
}

void WaylandClient::roundtrip() {
    if (!lost_ && wl_display_roundtrip(display_.get()) < 0) lose();
}

std::function<void()> WaylandClient::waker() const {
    return [wake = wake_] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto ignored = ::write(wake->get(), &one, sizeof one);
    };
}

} // namespace lumacore::cli
