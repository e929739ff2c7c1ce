// Sound the browser decoded (a chosen or dropped file, the demo tune made for playback): its two
// channels stay in the page's memory, and the sample buffer reads them a block at a time.
#pragma once

#include <cstdint>
#include <string>

#include "audio/audio_source.h"

namespace lumacore::web {

class BrowserSound final : public cli::AudioSource {
  public:
    // The page's sound number `id`: `frames` frames at `sampleRate`.
    BrowserSound(int id, std::int64_t frames, int sampleRate, std::string title);
    const cli::AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override;
    void seek(std::int64_t frame) override;

  private:
    int id_;
    std::int64_t frames_;
    std::int64_t position_ = 0;
    cli::AudioInfo info_;
};

} // namespace lumacore::web
