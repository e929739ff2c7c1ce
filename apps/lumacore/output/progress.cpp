// Draws the render's progress line on a terminal: "\r", the line, then an erase to the end so a
// shorter line leaves nothing of a longer one behind.
#include "output/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace lumacore::cli {
int terminalColumns(int fd) {
    winsize size = {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void writeText(int fd, const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const ssize_t written = ::write(fd, text.data() + at, text.size() - at);
        if (written <= 0) return;
        at += static_cast<std::size_t>(written);
    }
}

std::string formatClock(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 359999999) return "--:--";
    const auto whole = static_cast<long long>(std::llround(seconds));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

std::string progressLine(std::int64_t done, std::int64_t total, double seconds, int columns) {
    const double fps = seconds > 0.05 ? static_cast<double>(done) / seconds : 0;
    char speed[32];
    if (fps > 0)
        std::snprintf(speed, sizeof speed, "%.1f fps", fps);
    else
        std::snprintf(speed, sizeof speed, "-- fps");
    if (total < 0) return std::to_string(done) + " frames  " + speed + "  " + formatClock(seconds);

    done = std::clamp<std::int64_t>(done, 0, total);
    const double fraction = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
    const double left = fps > 0 ? static_cast<double>(total - done) / fps : -1;
    const std::string text = std::string(percent) + "  " + std::to_string(done) + "/" +
                             std::to_string(total) + "  " + speed + "  ETA " + formatClock(left);
    // The bar takes what the text leaves of the line (the last column stays free, so the
    // terminal never wraps), up to 40 cells; on a narrow terminal it goes.
    const int cells = std::min(40, columns - 1 - static_cast<int>(text.size()) - 3);
    if (cells < 5) return text;
    const int filled = static_cast<int>(fraction * cells);
    return "[" + std::string(filled, '#') + std::string(cells - filled, '-') + "] " + text;
}

Progress::Progress(std::int64_t totalFrames, bool enabled)
    : Progress(totalFrames, enabled, STDERR_FILENO) {}

Progress::Progress(std::int64_t totalFrames, bool enabled, int fd)
    : total_(totalFrames), fd_(fd), active_(enabled && ::isatty(fd)),
      start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
    finish();
}

void Progress::update(std::int64_t done) {
    if (!active_) return;
    done_ = done;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kProgressRedrawInterval) return;
    lastDraw_ = now;
    draw();
}

void Progress::finish() {
    if (!active_ || !drawn_) return;
    draw();
    writeText(fd_, "\n");
    active_ = false;
}

void Progress::draw() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    writeText(fd_, "\r" + progressLine(done_, total_, seconds, terminalColumns(fd_)) + "\x1b[K");
    drawn_ = true;
}

} // namespace lumacore::cli
