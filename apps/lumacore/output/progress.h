// A one-line progress bar for a render on standard error: percent, frames per second, time
// left. It draws only on a terminal, at most about ten times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace lumacore::cli {

class Progress {
  public:
    // `totalFrames` -1 when the length is unknown: frames, speed and elapsed time, no bar.
    Progress(std::int64_t totalFrames, bool enabled);
    // The same on another file descriptor, still only when it is a terminal.
    Progress(std::int64_t totalFrames, bool enabled, int fd);
    ~Progress(); // ends the line, so that a following message starts on its own
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t done);
    // Draws the last count and ends the line. Does nothing when nothing was drawn.
    void finish();

  private:
    void draw();

    std::int64_t total_;
    int fd_;
    bool active_;
    bool drawn_ = false;
    std::int64_t done_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// The text of the line for `done` frames after `seconds`, fitted to `columns`.
std::string progressLine(std::int64_t done, std::int64_t total, double seconds, int columns);

// The shortest time between two drawings of a progress line.
inline constexpr auto kProgressRedrawInterval = std::chrono::milliseconds(100);
// The terminal's width on `fd`; 80 when it does not say.
int terminalColumns(int fd);
// Writes all of `text` to `fd`, giving up quietly when it fails: progress and the messages beside
// it are not worth failing over.
void writeText(int fd, const std::string& text);

// "0:07", "12:34", "1:02:05"; "--:--" for a time that is not known.
std::string formatClock(double seconds);

} // namespace lumacore::cli
