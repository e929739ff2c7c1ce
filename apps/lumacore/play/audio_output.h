// The sound card, through SDL's audio (PulseAudio, PipeWire's pulse server or ALSA, whatever the
// machine has): stereo float frames queued from the program's own thread, and how many of them
// are still to be heard, which is what the picture's clock is made of.
#pragma once

#include <cstddef>
#include <cstdint>

#include "live/sdl_handles.h"

namespace lumacore::cli {

class AudioOutput {
  public:
    // Opens the default device for stereo float frames at `sampleRate` (SDL converts to what
    // the device takes). Throws PlayError starting "no sound" when there is no device or
    // sound server.
    explicit AudioOutput(int sampleRate);
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    int sampleRate() const { return sampleRate_; }
    // Queues `count` interleaved stereo frames after those queued before.
    void queue(const float* frames, std::size_t count);
    // Frames queued and not yet taken by the device.
    std::int64_t queuedFrames() const;
    // Frames the device holds after taking them from the queue and before they are heard: the
    // sound server's buffer, the size SDL chose for the device.
    std::int64_t latencyFrames() const { return latencyFrames_; }
    // Drops everything queued (a seek, another entry).
    void clear();
    void pause(bool paused);
    // The device's name, for what is said at the start.
    const char* driver() const { return SDL_GetCurrentAudioDriver(); }

  private:
    SdlSubsystem audio_;
    SDL_AudioDeviceID device_ = 0;
    int sampleRate_;
    std::int64_t latencyFrames_ = 0;
};

} // namespace lumacore::cli
