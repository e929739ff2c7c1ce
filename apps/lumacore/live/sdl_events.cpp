// SDL's events as the screen's.
#include "live/sdl_events.h"

#include <algorithm>
#include <cmath>

#include "live/key_actions.h"

namespace lumacore::cli {

SdlEvents::SdlEvents() : wakeEvent_(SDL_RegisterEvents(1)) {}

std::optional<ScreenEvent> SdlEvents::next(const std::function<void(const SDL_Event&)>& raw) {
    SDL_Event event;
    for (;;) {
        if (held_) {
            event = *held_;
            held_.reset();
        } else if (SDL_PollEvent(&event) != 1) {
            return std::nullopt;
        }
        if (raw) raw(event);
        if (auto converted = convert(event)) return converted;
    }
}

std::optional<ScreenEvent> SdlEvents::convert(const SDL_Event& event) {
    ScreenEvent out;
    switch (event.type) {
    case SDL_QUIT:
        out.kind = ScreenEvent::Kind::Closed;
        return out;
    case SDL_KEYDOWN:
        out.kind = ScreenEvent::Kind::Key;
        out.action = actionForKey(event.key.keysym.sym);
        out.repeat = event.key.repeat != 0;
        return out;
    case SDL_WINDOWEVENT:
        out.kind = event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ? ScreenEvent::Kind::Resized
                                                                      : ScreenEvent::Kind::Exposed;
        return out;
    default: {
        std::vector<std::string> dropped;
        if (!drops_.take(event, dropped) || dropped.empty()) return std::nullopt;
        out.kind = ScreenEvent::Kind::Dropped;
        out.files = std::move(dropped);
        return out;
    }
    }
}

void SdlEvents::wait(double seconds) {
    if (held_) return;
    const double milliseconds = std::clamp(std::ceil(seconds * 1000), 0.0, 1e6);
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, static_cast<int>(milliseconds)) == 1) held_ = event;
}

std::function<void()> SdlEvents::waker() const {
    return [type = wakeEvent_] {
        SDL_Event event{};
        event.type = type;
        SDL_PushEvent(&event);
    };
}

} // namespace lumacore::cli
