// The shared sample buffer: a ring of stereo frames that grows only when its readers drift apart,
// refilled from the source a block at a time as the readers ask for frames beyond it.
#include "audio/sample_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace lumacore::cli {
namespace {

constexpr std::size_t kBlockFrames = 4096;
constexpr std::size_t kInitialCapacity = 1 << 15; // frames: 0.7 s at 44.1 kHz

} // namespace

SampleBuffer::SampleBuffer(AudioSource& source, std::int64_t firstFrame)
    : source_(source), ring_(2 * kInitialCapacity), capacity_(kInitialCapacity), start_(firstFrame),
      end_(firstFrame), block_(2 * kBlockFrames) {}

SampleBuffer::SampleBuffer(std::unique_ptr<AudioSource> source, std::int64_t firstFrame)
    : SampleBuffer(*source, firstFrame) {
    owned_ = std::move(source);
}

void SampleBuffer::seek(std::int64_t frame) {
    std::lock_guard lock(mutex_);
    source_.seek(frame);
    start_ = end_ = frame;
    ended_ = false;
    for (Reader* reader : readers_)
        reader->position_ = frame;
}

std::int64_t SampleBuffer::heldFrames() const {
    std::lock_guard lock(mutex_);
    return end_ - start_;
}

bool SampleBuffer::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

std::int64_t SampleBuffer::slowestReader() const {
    std::int64_t slowest = std::numeric_limits<std::int64_t>::max();
    for (const Reader* reader : readers_)
        slowest = std::min(slowest, reader->position_);
    return slowest;
}

void SampleBuffer::grow(std::size_t frames) {
    std::size_t capacity = capacity_;
    while (capacity < frames)
        capacity *= 2;
    if (capacity == capacity_) return;
    std::vector<float> ring(2 * capacity);
    for (std::int64_t f = start_; f < end_; ++f) {
        const std::size_t from = static_cast<std::size_t>(f) & (capacity_ - 1);
        const std::size_t to = static_cast<std::size_t>(f) & (capacity - 1);
        ring[2 * to] = ring_[2 * from];
        ring[2 * to + 1] = ring_[2 * from + 1];
    }
    ring_.swap(ring);
    capacity_ = capacity;
}

// Keeps frames [first, first + count) of a decoded block, dropping what no reader needs.
void SampleBuffer::hold(const float* samples, std::int64_t first, std::size_t count) {
    start_ = std::max(start_, std::min(slowestReader(), end_ + static_cast<std::int64_t>(count)));
    const std::int64_t keepFrom = std::max(first, start_);
    const std::int64_t last = first + static_cast<std::int64_t>(count);
    if (last > start_) grow(static_cast<std::size_t>(last - start_));
    for (std::int64_t f = keepFrom; f < last; ++f) {
        const std::size_t at = static_cast<std::size_t>(f) & (capacity_ - 1);
        std::memcpy(&ring_[2 * at], samples + 2 * (f - first), 2 * sizeof(float));
    }
    end_ = last;
    if (start_ > end_) start_ = end_;
}

void SampleBuffer::decodeUntil(std::int64_t frame) {
    while (!ended_ && end_ < frame) {
        const std::size_t got = std::min(source_.read(block_.data(), kBlockFrames), kBlockFrames);
        if (got == 0) {
            ended_ = true;
            return;
        }
        hold(block_.data(), end_, got);
    }
}

SampleBuffer::Reader::Reader(SampleBuffer& buffer, std::int64_t from)
    : buffer_(buffer), position_(from) {
    std::lock_guard lock(buffer.mutex_);
    if (from < buffer.start_)
        throw std::logic_error("a sample reader cannot start before the frames held");
    buffer.readers_.push_back(this);
}

SampleBuffer::Reader::~Reader() {
    std::lock_guard lock(buffer_.mutex_);
    auto& readers = buffer_.readers_;
    readers.erase(std::find(readers.begin(), readers.end(), this));
}

std::size_t SampleBuffer::Reader::read(std::int64_t from, float* out, std::size_t count) {
    std::lock_guard lock(buffer_.mutex_);
    if (from < position_ || from < buffer_.start_)
        throw std::logic_error("a sample reader went back before its position");
    position_ = from;
    const std::int64_t until = from + static_cast<std::int64_t>(count);
    buffer_.decodeUntil(until);
    const std::int64_t last = std::min(until, buffer_.end_);
    std::size_t copied = 0;
    for (std::int64_t f = from; f < last; ++f, ++copied) {
        const std::size_t at = static_cast<std::size_t>(f) & (buffer_.capacity_ - 1);
        out[2 * copied] = buffer_.ring_[2 * at];
        out[2 * copied + 1] = buffer_.ring_[2 * at + 1];
    }
    return copied;
}

} // namespace lumacore::cli
