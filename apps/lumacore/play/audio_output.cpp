// SDL's queued audio: no callback thread of ours, the queue is filled between pictures.
#include "play/audio_output.h"

#include <string>

namespace lumacore::cli {
namespace {

constexpr int kDeviceFrames = 1024; // SDL's buffer: about 23 ms at 44.1 kHz
constexpr std::int64_t kBytesPerFrame = 2 * sizeof(float);

} // namespace

AudioOutput::AudioOutput(int sampleRate)
    : audio_(SDL_INIT_AUDIO, "no sound: no sound server or device"), sampleRate_(sampleRate) {
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kDeviceFrames;
    SDL_AudioSpec got{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
    if (device_ == 0)
        throw PlayError(std::string("no sound: cannot open the sound device (") + SDL_GetError() +
                        ")");
    // SDL mixes one buffer of got.samples frames while the server plays the one before: two
    // buffers lie between the queue and the ear (at the device's rate, converted to ours).
    latencyFrames_ = static_cast<std::int64_t>(2) * got.samples * sampleRate / got.freq;
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
