// Where the host's frames come from: a frames file (docs/frames-format.md) played from its start,
// or a built-in signal that is the same on every run:
//   music    a falling spectrum with moving peaks, beats and quiet stretches; two sines
//   silence  every spectrum value 0, every sample 0
//   sweep    one full-scale band walking up the spectrum a band per frame; a rising tone
//   full     every spectrum value 255; full-scale square waves
//   noise    random levels and samples (the same for the same frame on every run)
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frames/frames_file.h"

namespace lumacore::vishost {

bool isSignalName(const std::string& name);

// Frame `index` of a built-in signal, stamped at 60 frames a second.
Frame signalFrame(const std::string& name, int index);

class FrameSource {
  public:
    // Plays `framesPath` when it is not empty, otherwise the named signal. Opening a frames
    // file checks its header and length and throws FramesError when they are wrong.
    FrameSource(const std::string& framesPath, const std::string& signal);

    // The next frame; false when a frames file has no more. Throws FramesError on damage.
    bool next(Frame& frame);
    std::uint32_t sampleRate() const;
    std::string description() const;

  private:
    std::unique_ptr<FramesReader> reader_;
    std::string framesPath_;
    std::string signal_;
    int index_ = 0;
};

} // namespace lumacore::vishost
