// Sound without a sound server: raw PCM that a player writes into a named pipe (MPD's fifo
// output) or appends to a file, read on a thread of its own as it comes and converted to stereo
// float at 44.1 kHz. The sound is drawn at the pace it arrives; while the writer pauses nothing
// comes and the live clock draws silence. A writer that closes the pipe (MPD does at every pause)
// is waited for again; a file is read from its end as it grows, and from its start when it is
// written anew.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "listen/fifo_format.h"
#include "listen/sound_capture.h"

namespace lumacore::cli {

class FifoCapture final : public SoundCapture {
  public:
    // Opens `path` and starts reading. Throws CaptureError, one line, when it is neither a named
    // pipe nor a regular file or cannot be opened.
    FifoCapture(const std::string& path, const FifoFormat& format);
    ~FifoCapture() override;
    FifoCapture(const FifoCapture&) = delete;
    FifoCapture& operator=(const FifoCapture&) = delete;

    // A FIFO has no sources nor streams to list: CaptureError.
    SoundSources sources() override;
    std::vector<PlayingStream> streams() override;
    void retarget(const CaptureTarget&) override {}
    std::size_t appStreams() const override { return 0; }
    std::string takeNotice() override;
    CapturedFrames take(std::vector<float>& frames) override;
    void waitForSound(double seconds) override;
    SoundArrival& arrival() override;
    Link link() override { return Link::Recording; }
    void reconnect() override {}
    // The file's name.
    std::string description() const override;

  private:
    struct Reader;
    std::unique_ptr<Reader> reader_;
};

} // namespace lumacore::cli
