// The sound the source draws: one audio source of OBS, chosen by name and held by a weak
// reference (found again by name when it is removed, renamed, or created later), or the whole
// mix OBS outputs. Its blocks go to an AudioFeed on OBS's audio thread.
#pragma once

#include <obs.h>

#include <string>

#include "audio_feed.h"
#include "obs_handles.h"

namespace lumacore::obs {

class AudioTap {
  public:
    explicit AudioTap(AudioFeed& feed) : feed_(feed) {}
    ~AudioTap() { detach(); }
    AudioTap(const AudioTap&) = delete;
    AudioTap& operator=(const AudioTap&) = delete;

    // Listens to the source called `name` (empty: the whole mix) from now on.
    void choose(const std::string& name);
    // Finds the source again when the one held went away or another took its name; cheap
    // enough for every video frame but meant for about once a second.
    void refresh();

  private:
    void attach();
    void detach();
    static void sourceAudio(void* param, obs_source_t* source, const audio_data* audio, bool muted);
    static void mixAudio(void* param, size_t mix, audio_data* audio);

    AudioFeed& feed_;
    std::string name_;
    bool mix_ = false;     // the whole mix's callback is registered
    WeakSourceRef source_; // the source whose callback is registered
    int channels_ = 2;     // OBS's output layout, the format of every block
};

} // namespace lumacore::obs
