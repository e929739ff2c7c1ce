// The keys typed in the terminal the program runs in, for a display that takes no keys of its
// own (the wallpaper: keys on the desktop go to the desktop). While it lives, a terminal on
// standard input hands over each key as it is typed, without echoing it; Ctrl-C still sends
// SIGINT. Without a terminal, or started in the background, there are no keys (a signal ends
// the program).
#pragma once

#include <termios.h>

#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "live/key_actions.h"

namespace lumacore::cli {

// What the bytes a terminal sends for one key mean (a letter, "\x1b[C" for Right, "\x1bOP" for
// F1); `used` is how many bytes the key took, 0 when `bytes` holds only the start of one.
KeyAction actionForTerminalKey(std::string_view bytes, std::size_t& used);

class TerminalKeys {
  public:
    // `wake` is called from the reading thread after each key.
    explicit TerminalKeys(std::function<void()> wake);
    ~TerminalKeys();
    TerminalKeys(const TerminalKeys&) = delete;
    TerminalKeys& operator=(const TerminalKeys&) = delete;

    // The keys typed since the last call, in order.
    std::vector<KeyAction> take();

  private:
    void read();

    std::function<void()> wake_;
    bool terminal_ = false;
    termios saved_{};
    int stop_ = -1; // an eventfd that ends the reading thread
    std::mutex mutex_;
    std::vector<KeyAction> typed_;
    std::thread reader_;
};

} // namespace lumacore::cli
