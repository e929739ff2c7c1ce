// SDL's queued audio: no callback thread of ours, the queue is filled between pictures.
#include "play/audio_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace lumacore::cli {
namespace {

constexpr int kDeviceFrames = 1024; // SDL's buffer: about 23 ms at 44.1 kHz
constexpr std::int64_t kBytesPerFrame = 2 * sizeof(float);

// Standard error closed for as long as it lives: the sound libraries SDL tries in turn (ALSA's
// above all) write lines of their own when they find nothing, and the program says it in one.
class QuietStandardError {
  public:
    QuietStandardError() : saved_(dup(STDERR_FILENO)) {
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
        if (null >= 0) close(null);
    }
    ~QuietStandardError() {
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

  private:
    int saved_;
};

// Starts SDL's audio with the sound libraries' own complaints held back.
SdlSubsystem startAudio() {
    const QuietStandardError quiet;
    return SdlSubsystem(SDL_INIT_AUDIO, "no sound: no sound server or device");
}

} // namespace

AudioOutput::AudioOutput(int sampleRate) : audio_(startAudio()), sampleRate_(sampleRate) {
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kDeviceFrames;
    SDL_AudioSpec got{};
    SDL_ClearError();
    {
        const QuietStandardError quiet;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
    }
    if (device_ == 0) throw PlayError("no sound: cannot open the sound device" + sdlReason());
    // SDL takes a buffer of got.samples frames from the queue only when the sound server asks
    // for one, and the server holds about one such buffer before it is heard (at the device's
    // rate, converted to ours).
    latencyFrames_ = static_cast<std::int64_t>(got.samples) * sampleRate / got.freq;
    SDL_PauseAudioDevice(device_, 0);
}

AudioOutput::~AudioOutput() {
    SDL_CloseAudioDevice(device_);
}

void AudioOutput::queue(const float* frames, std::size_t count) {
    SDL_QueueAudio(device_, frames, static_cast<Uint32>(count * kBytesPerFrame));
}

std::int64_t AudioOutput::queuedFrames() const {
    return SDL_GetQueuedAudioSize(device_) / kBytesPerFrame;
}

void AudioOutput::clear() {
    SDL_ClearQueuedAudio(device_);
}

void AudioOutput::pause(bool paused) {
    SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

} // namespace lumacore::cli
