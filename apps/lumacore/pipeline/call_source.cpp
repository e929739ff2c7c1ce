// The recorded calls of a frames file, with every time stamp checked before it reaches the loop.
#include "pipeline/call_source.h"

#include <cmath>
#include <string>

#include "audio/limits.h"

namespace lumacore::cli {

RecordedCalls::RecordedCalls(const std::string& path, double startSeconds)
    : path_(path), reader_(path), start_(startSeconds) {
    const FramesHeader& h = reader_.header();
    const double rate = static_cast<double>(h.frameRate.numerator) / h.frameRate.denominator;
    lengthSeconds_ = h.frameCount / rate;
    if (!(lengthSeconds_ <= kMaxStreamSeconds))
        throw FramesError(path + ": " + std::to_string(h.frameCount) + " frames at " +
                          std::to_string(rate) + " per second are longer than a render may be");
    latestUs_ = static_cast<std::uint64_t>(
        checkedInt64(std::ceil((lengthSeconds_ + 1.0 / rate) * 1e6), "a frame's time stamp"));
}

bool RecordedCalls::nextFrame(Frame& frame) {
    if (held_) {
        frame = *held_;
        held_.reset();
        return true;
    }
    while (reader_.next(frame)) {
        if (frame.timeUs > latestUs_)
            throw FramesError(path_ + ": frame " + std::to_string(reader_.framesRead()) +
                              " is stamped at " + std::to_string(frame.timeUs) +
                              " us, beyond the file's length at its frame rate");
        if (static_cast<double>(frame.timeUs) / 1e6 >= start_) return true;
    }
    return false;
}

bool RecordedCalls::next(winampVisModule& module, double& timeSeconds) {
    Frame frame;
    if (!nextFrame(frame)) return false;
    loadFrame(frame, module);
    timeSeconds = static_cast<double>(frame.timeUs) / 1e6 - start_;
    return true;
}

std::int64_t RecordedCalls::skip(std::int64_t count, double beforeSeconds) {
    std::int64_t dropped = 0;
    Frame frame;
    while (dropped < count && nextFrame(frame)) {
        if (!(static_cast<double>(frame.timeUs) / 1e6 - start_ < beforeSeconds)) {
            held_ = frame;
            break;
        }
        ++dropped;
    }
    return dropped;
}

double RecordedCalls::callsPerSecond() const {
    const FramesHeader& h = reader_.header();
    return static_cast<double>(h.frameRate.numerator) / h.frameRate.denominator;
}

} // namespace lumacore::cli
