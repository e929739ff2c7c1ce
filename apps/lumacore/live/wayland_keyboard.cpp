// The keyboard's events. A key's action comes from its unshifted symbol, as SDL's key codes do.
#include "live/wayland_keyboard.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>

#include "live/key_actions.h"
#include "live/wayland_keys.h"

namespace lumacore::cli {

const wl_keyboard_listener WaylandKeyboard::kListener = {
    .keymap =
        [](void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
            static_cast<WaylandKeyboard*>(data)->keymap(format, fd, size);
        },
    .enter = [](void* data, wl_keyboard*, std::uint32_t, wl_surface* surface,
                wl_array*) { static_cast<WaylandKeyboard*>(data)->focus_ = surface; },
    .leave =
        [](void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
            auto* self = static_cast<WaylandKeyboard*>(data);
            self->focus_ = nullptr;
            self->held_.reset();
        },
    .key = [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
              std::uint32_t state) { static_cast<WaylandKeyboard*>(data)->key(key, state); },
    .modifiers =
        [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
           std::uint32_t locked, std::uint32_t group) {
            auto* self = static_cast<WaylandKeyboard*>(data);
            if (self->state_)
                xkb_state_update_mask(self->state_.get(), depressed, latched, locked, 0, 0, group);
        },
    .repeat_info =
        [](void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
            auto* self = static_cast<WaylandKeyboard*>(data);
            self->rate_ = rate > 0 ? rate : 0;
            self->delay_ = std::chrono::milliseconds(delay > 0 ? delay : 0);
        },
};

WaylandKeyboard::WaylandKeyboard(wl_keyboard* keyboard, Delivery deliver)
    : keyboard_(keyboard), deliver_(std::move(deliver)),
      context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {
    wl_keyboard_add_listener(keyboard_.get(), &kListener, this);
}

void WaylandKeyboard::keymap(std::uint32_t format, int fd, std::uint32_t size) {
    const FileDescriptor owned(fd);
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || !context_ || size == 0) return;
    void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text == MAP_FAILED) return;
    const auto* chars = static_cast<const char*>(text);
    WaylandPtr<xkb_keymap> keymap(
        xkb_keymap_new_from_buffer(context_.get(), chars, ::strnlen(chars, size),
                                   XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS));
    ::munmap(text, size);
    if (!keymap) return; // keys stay as the keymap before made them
    WaylandPtr<xkb_state> state(xkb_state_new(keymap.get()));
    if (!state) return;
    state_ = std::move(state);
    keymap_ = std::move(keymap);
    held_.reset();
}

void WaylandKeyboard::key(std::uint32_t key, std::uint32_t state) {
    const xkb_keycode_t code = key + 8; // evdev to XKB
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
        if (held_ == code) held_.reset();
        return;
    }
    deliver(code, false);
    if (keymap_ && rate_ > 0 && xkb_keymap_key_repeats(keymap_.get(), code)) {
        held_ = code;
        nextRepeat_ = Clock::now() + delay_;
    } else {
        held_.reset();
    }
}

void WaylandKeyboard::deliver(xkb_keycode_t code, bool repeat) {
    if (!keymap_ || !state_) return;
    const xkb_layout_index_t layout = xkb_state_key_get_layout(state_.get(), code);
    const xkb_keysym_t* symbols = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), code, layout, 0, &symbols);
    ScreenEvent event;
    event.kind = ScreenEvent::Kind::Key;
    event.action = count > 0 ? actionForKey(keycodeForSymbol(symbols[0])) : KeyAction::None;
    event.repeat = repeat;
    deliver_(focus_, event);
}

std::optional<WaylandKeyboard::Clock::duration>
WaylandKeyboard::untilRepeat(Clock::time_point now) const {
    if (!held_) return std::nullopt;
    return nextRepeat_ > now ? nextRepeat_ - now : Clock::duration::zero();
}

void WaylandKeyboard::repeatDue(Clock::time_point now) {
    if (rate_ <= 0) held_.reset();
    if (!held_) return;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate_;
    // A thread that was away long does not get a burst: at most one repeat per call.
    if (held_ && now >= nextRepeat_) {
        deliver(*held_, true);
        nextRepeat_ = std::max(nextRepeat_ + period, now);
    }
}

} // namespace lumacore::cli
