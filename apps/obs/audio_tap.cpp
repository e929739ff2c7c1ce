#include "audio_tap.h"

#include <media-io/audio-io.h>

namespace lumacore::obs {

void AudioTap::choose(const std::string& name) {
    detach();
    name_ = name;
    attach();
}

void AudioTap::attach() {
    channels_ = static_cast<int>(audio_output_get_channels(obs_get_audio()));
    if (name_.empty()) {
        obs_add_raw_audio_callback(0, nullptr, &AudioTap::mixAudio, this);
        mix_ = true;
        return;
    }
    const SourceRef source(obs_get_source_by_name(name_.c_str()));
    if (!source || obs_source_removed(source.get())) return; // silence until it appears
    if ((obs_source_get_output_flags(source.get()) & OBS_SOURCE_AUDIO) == 0) return;
    obs_source_add_audio_capture_callback(source.get(), &AudioTap::sourceAudio, this);
    source_.reset(obs_source_get_weak_source(source.get()));
}

void AudioTap::detach() {
    if (mix_) {
        obs_remove_raw_audio_callback(0, &AudioTap::mixAudio, this);
        mix_ = false;
    }
    if (source_) {
        // A source already destroyed took its callbacks with it.
        if (const SourceRef source(obs_weak_source_get_source(source_.get())); source)
            obs_source_remove_audio_capture_callback(source.get(), &AudioTap::sourceAudio, this);
        source_.reset();
    }
}

void AudioTap::refresh() {
    if (name_.empty()) return;
    if (source_) {
        const SourceRef source(obs_weak_source_get_source(source_.get()));
        if (source && !obs_source_removed(source.get()) &&
            name_ == obs_source_get_name(source.get()))
            return;
    }
    detach();
    attach();
}

void AudioTap::sourceAudio(void* param, obs_source_t*, const audio_data* audio, bool muted) {
    auto* tap = static_cast<AudioTap*>(param);
    const auto* planes = reinterpret_cast<const float* const*>(audio->data);
    tap->feed_.push(muted ? nullptr : planes, tap->channels_, audio->frames, audio->timestamp);
}

void AudioTap::mixAudio(void* param, size_t, audio_data* audio) {
    auto* tap = static_cast<AudioTap*>(param);
    const auto* planes = reinterpret_cast<const float* const*>(audio->data);
    tap->feed_.push(planes, tap->channels_, audio->frames, audio->timestamp);
}

} // namespace lumacore::obs
