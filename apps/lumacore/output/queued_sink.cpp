#include "output/queued_sink.h"

namespace lumacore::cli {

QueuedSink::QueuedSink(std::unique_ptr<FrameSink> output, std::size_t slots)
    : output_(std::move(output)), slots_(slots < 1 ? 1 : slots) {
    for (Bitmap& slot : slots_)
        free_.push_back(&slot);
    thread_ = std::thread([this] { work(); });
}

QueuedSink::~QueuedSink() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

void QueuedSink::throwIfFailed() {
    if (failure_) std::rethrow_exception(failure_);
}

void QueuedSink::write(const Bitmap& picture) {
    Bitmap* slot = nullptr;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || failure_ || stop_; });
        throwIfFailed();
        if (stop_) throw OutputError("the output is already finished");
        slot = free_.back();
        free_.pop_back();
    }
    *slot = picture; // the slot is ours alone until it is queued
    {
        std::lock_guard lock(mutex_);
        waiting_.push_back(slot);
    }
    changed_.notify_all();
}

void QueuedSink::finish() {
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return (waiting_.empty() && !writing_) || failure_; });
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    throwIfFailed();
    output_->finish();
}

void QueuedSink::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || stop_; });
        if (stop_) return;
        Bitmap* picture = waiting_.front();
        waiting_.pop_front();
        writing_ = true;
        lock.unlock();
        std::exception_ptr failure;
        try {
            output_->write(*picture);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        writing_ = false;
        free_.push_back(picture);
        changed_.notify_all();
        if (failure) {
            failure_ = failure;
            return;
        }
    }
}

} // namespace lumacore::cli
