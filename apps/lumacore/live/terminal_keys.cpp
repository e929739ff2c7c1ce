// Keys from the terminal: raw input without echo, read on a thread of their own.
#include "live/terminal_keys.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

namespace lumacore::cli {
namespace {

// Longer than any sequence a terminal sends for one key ("\x1b[1;5C" and the like).
constexpr std::size_t kLongestSequence = 16;

} // namespace

KeyAction actionForTerminalKey(std::string_view bytes, std::size_t& used) {
    used = 0;
    if (bytes.empty()) return KeyAction::None;
    if (bytes[0] != '\x1b') {
        used = 1;
        const auto key = static_cast<unsigned char>(bytes[0]);
        if (key == '\r' || key == '\n') return actionForKey(SDLK_RETURN);
        if (key == '\t') return actionForKey(SDLK_TAB);
        return actionForKey(static_cast<SDL_Keycode>(std::tolower(key)));
    }
    // Escape sequences: CSI ("\x1b[") or SS3 ("\x1bO") and their final byte.
    if (bytes.size() == 1) {
        used = 1; // Escape alone (typed at the end of what was read)
        return actionForKey(SDLK_ESCAPE);
    }
    if (bytes[1] != '[' && bytes[1] != 'O') {
        used = 1;
        return actionForKey(SDLK_ESCAPE);
    }
    std::size_t end = 2;
    while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7e))
        ++end;
    if (end == bytes.size()) {
        // The rest is still to come; but no key's sequence is this long: what was pasted or
        // garbled is dropped rather than kept, and held keys typed after it, without end.
        if (end > kLongestSequence) used = end;
        return KeyAction::None;
    }
    used = end + 1;
    const std::string_view sequence = bytes.substr(0, used);
    if (sequence == "\x1b[C" || sequence == "\x1bOC") return actionForKey(SDLK_RIGHT);
    if (sequence == "\x1b[D" || sequence == "\x1bOD") return actionForKey(SDLK_LEFT);
    if (sequence == "\x1b[5~") return actionForKey(SDLK_PAGEUP);
    if (sequence == "\x1b[6~") return actionForKey(SDLK_PAGEDOWN);
    if (sequence == "\x1bOP" || sequence == "\x1b[11~") return actionForKey(SDLK_F1);
    return KeyAction::None;
}

TerminalKeys::TerminalKeys(std::function<void()> wake) : wake_(std::move(wake)) {
    if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    // A program started in the background of its controlling terminal (`lumacore listen
    // --wallpaper &`) leaves the terminal alone: changing or reading it would stop the program
    // (SIGTTOU, SIGTTIN).
    const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
    if (foreground != -1 && foreground != ::getpgrp()) return;
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (stop_ < 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        ::close(stop_);
        stop_ = -1;
        return;
    }
    terminal_ = true;
    reader_ = std::thread([this] { read(); });
}

TerminalKeys::~TerminalKeys() {
    if (reader_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof one);
        reader_.join();
    }
    if (terminal_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    if (stop_ >= 0) ::close(stop_);
}

std::vector<KeyAction> TerminalKeys::take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(typed_, {});
}

void TerminalKeys::read() {
    std::string pending;
    for (;;) {
        pollfd watched[] = {{STDIN_FILENO, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) continue;
        if (watched[1].revents != 0) return;
        if (watched[0].revents == 0) continue;
        char bytes[64];
        const ssize_t got = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) return; // the terminal is gone
        pending.append(bytes, static_cast<std::size_t>(got));
        bool any = false;
        for (;;) {
            std::size_t used = 0;
            const KeyAction action = actionForTerminalKey(pending, used);
            if (used == 0) break;
            pending.erase(0, used);
            if (action == KeyAction::None) continue;
            const std::lock_guard lock(mutex_);
            typed_.push_back(action);
            any = true;
        }
        if (any) wake_();
    }
}

} // namespace lumacore::cli
