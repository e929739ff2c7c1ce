// Draws a batch's progress line and its messages on standard error, one writer at a time.
#include "render/batch_console.h"

#include <algorithm>

#include "output/progress.h"

namespace lumacore::cli {

std::string batchProgressLine(const std::vector<std::size_t>& running, std::size_t tracks,
                              std::int64_t done, std::int64_t total, double seconds, int columns) {
    std::string which = running.size() > 1 ? "tracks " : "track ";
    for (std::size_t i = 0; i < running.size(); ++i)
        which += (i > 0 ? ", " : "") + std::to_string(running[i]);
    which += " of " + std::to_string(tracks) + "  ";
    return which + progressLine(done, total, seconds, columns - static_cast<int>(which.size()));
}

BatchConsole::BatchConsole(std::size_t tracks, bool showProgress, int fd)
    : tracks_(tracks), fd_(fd), active_(showProgress && ::isatty(fd)),
      start_(std::chrono::steady_clock::now()) {}

BatchConsole::~BatchConsole() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!drawn_) return;
    draw();
    writeText(fd_, "\n");
}

void BatchConsole::expect(std::size_t track, std::int64_t pictures) {
    const std::lock_guard<std::mutex> guard(lock_);
    tracks_.at(track).expected = pictures;
}

void BatchConsole::started(std::size_t track, std::int64_t expectedPictures) {
    const std::lock_guard<std::mutex> guard(lock_);
    tracks_.at(track).expected = expectedPictures;
    tracks_.at(track).running = true;
    drawIfDue();
}

void BatchConsole::pictures(std::size_t track, std::int64_t done) {
    const std::lock_guard<std::mutex> guard(lock_);
    tracks_.at(track).done = done;
    drawIfDue();
}

void BatchConsole::finished(std::size_t track) {
    const std::lock_guard<std::mutex> guard(lock_);
    Track& t = tracks_.at(track);
    t.running = false;
    t.over = true;
    // What the track made is what the batch counts for it, whatever its header promised.
    t.expected = t.done;
    if (active_) draw();
}

void BatchConsole::failed(std::size_t track, const std::string& line) {
    const std::lock_guard<std::mutex> guard(lock_);
    tracks_.at(track) = Track{0, 0, false, true};
    writeLine(line);
}

void BatchConsole::say(const std::string& line) {
    const std::lock_guard<std::mutex> guard(lock_);
    writeLine(line);
}

void BatchConsole::writeLine(const std::string& line) {
    if (!drawn_) {
        writeText(fd_, "lumacore: " + line + "\n");
        return;
    }
    writeText(fd_, "\r\x1b[Klumacore: " + line + "\n"); // over the progress line, then below it
    draw();
}

void BatchConsole::drawIfDue() {
    if (!active_) return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < kProgressRedrawInterval) return;
    draw();
}

void BatchConsole::draw() {
    std::vector<std::size_t> running;
    std::size_t over = 0;
    std::int64_t done = 0, total = 0;
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        const Track& t = tracks_[i];
        if (t.running) running.push_back(i + 1);
        over += t.over ? 1 : 0;
        done += t.done;
        total = total < 0 || t.expected < 0 ? -1 : total + t.expected;
    }
    if (running.empty()) running.push_back(std::max<std::size_t>(over, 1)); // between tracks
    lastDraw_ = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(lastDraw_ - start_).count();
    writeText(fd_, "\r" +
                       batchProgressLine(running, tracks_.size(), done, total, seconds,
                                         terminalColumns(fd_)) +
                       "\x1b[K");
    drawn_ = true;
}

} // namespace lumacore::cli
