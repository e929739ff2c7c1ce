// Reads from the page's decoded channels (Module.sounds[id] = [left, right], Float32Arrays).
#include "browser_sound.h"

#include <emscripten.h>

#include <algorithm>
#include <utility>

namespace lumacore::web {

// clang-format off
// Copies `count` frames from frame `from` of sound `id` into `out`, interleaved; how many there
// were (0 when the page no longer holds the sound).
EM_JS(int, lumacore_read_sound, (int id, double from, float* out, int count), {
    const sound = Module.sounds && Module.sounds.get(id);
    if (!sound) return 0;
    const left = sound[0], right = sound[1];
    const n = Math.max(0, Math.min(count, left.length - from));
    let at = out >> 2;
    for (let i = 0; i < n; ++i) {
        HEAPF32[at++] = left[from + i];
        HEAPF32[at++] = right[from + i];
    }
    return n;
});
// clang-format on

BrowserSound::BrowserSound(int id, std::int64_t frames, int sampleRate, std::string title)
    : id_(id), frames_(frames) {
    cli::checkSampleRate(sampleRate, title);
    info_.sampleRate = sampleRate;
    info_.durationSeconds = static_cast<double>(frames) / sampleRate;
    info_.title = std::move(title);
}

std::size_t BrowserSound::read(float* out, std::size_t frames) {
    const auto count = static_cast<int>(
        std::min<std::int64_t>({static_cast<std::int64_t>(frames), frames_ - position_, 1 << 20}));
    if (count <= 0) return 0;
    const int got = lumacore_read_sound(id_, static_cast<double>(position_), out, count);
    position_ += got;
    return static_cast<std::size_t>(got);
}

void BrowserSound::seek(std::int64_t frame) {
    position_ = std::clamp<std::int64_t>(frame, 0, frames_);
}

} // namespace lumacore::web
