// An output on a thread of its own: write() copies the picture into one of a few slots and
// returns, while the output's thread converts and encodes the pictures before it. Rendering and
// encoding so overlap on two cores, and memory stays flat: when every slot is waiting, write()
// waits for the oldest to be taken.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/frame_sink.h"

namespace lumacore::cli {

class QueuedSink final : public FrameSink {
  public:
    explicit QueuedSink(std::unique_ptr<FrameSink> output, std::size_t slots = 2);
    // Stops the thread after the picture it is writing; the output, unfinished, removes its
    // temporary files as it always does.
    ~QueuedSink() override;
    QueuedSink(const QueuedSink&) = delete;
    QueuedSink& operator=(const QueuedSink&) = delete;

    // Throws the output's error from an earlier picture, if it had one.
    void write(const Bitmap& picture) override;
    // Writes every picture still waiting, then finishes the output on the calling thread.
    void finish() override;

  private:
    void work();
    void throwIfFailed();

    std::unique_ptr<FrameSink> output_;
    std::vector<Bitmap> slots_;
    std::vector<Bitmap*> free_;
    std::deque<Bitmap*> waiting_;
    bool writing_ = false; // the thread holds a picture
    bool stop_ = false;
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_; // last: starts once everything above exists
};

} // namespace lumacore::cli
