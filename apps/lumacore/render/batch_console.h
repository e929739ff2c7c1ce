// The one writer of a batch's standard error. On a terminal (unless quiet) it keeps one line
// for the whole batch, rewritten in place: the tracks under way ("track 3 of 10"), then the bar,
// the pictures and the speed of all tracks together as a single render's line shows them. A
// failed input or a decoder's note gets a line of its own above it, and the progress line is
// drawn again below. Its methods may be called from any thread.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace lumacore::cli {

class BatchConsole {
  public:
    BatchConsole(std::size_t tracks, bool showProgress, int fd = STDERR_FILENO);
    ~BatchConsole(); // ends the progress line
    BatchConsole(const BatchConsole&) = delete;
    BatchConsole& operator=(const BatchConsole&) = delete;

    // Whether a progress line is drawn at all (a terminal, not quiet).
    bool showsProgress() const { return active_; }
    // A track's pictures before it starts, for the batch's total: -1 when unknown.
    void expect(std::size_t track, std::int64_t pictures);
    void started(std::size_t track, std::int64_t expectedPictures);
    void pictures(std::size_t track, std::int64_t done);
    void finished(std::size_t track);
    // The track failed: "lumacore: LINE", and its pictures leave the batch's count.
    void failed(std::size_t track, const std::string& line);
    // "lumacore: LINE" on a line of its own.
    void say(const std::string& line);

  private:
    struct Track {
        std::int64_t expected = 0;
        std::int64_t done = 0;
        bool running = false;
        bool over = false; // finished or failed
    };
    void writeLine(const std::string& line);
    void drawIfDue();
    void draw();

    std::mutex lock_;
    std::vector<Track> tracks_;
    int fd_;
    bool active_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};

// The progress line for the tracks `running` (numbered from 1; between tracks, the number done) of
// `tracks`, `done` of `total` pictures (-1: unknown) after `seconds`, fitted to `columns`.
std::string batchProgressLine(const std::vector<std::size_t>& running, std::size_t tracks,
                              std::int64_t done, std::int64_t total, double seconds, int columns);

} // namespace lumacore::cli
