// The element's pacing without GStreamer: sound pushed in buffers of any size gives the pictures
// `render` makes of the same sound, each once the windows of its calls are in.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "audio/sample_buffer.h"
#include "host/raster/freetype/freetype_text_renderer.h"
#include "pipeline/call_source.h"
#include "stream_picture.h"

namespace lumacore::gst {
namespace {

// Interleaved stereo float frames handed out as they are.
class Frames final : public cli::AudioSource {
  public:
    explicit Frames(std::vector<float> samples) : samples_(std::move(samples)) {
        info_.sampleRate = StreamPicture::kAnalysisRate;
    }
    const cli::AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override {
        const std::size_t count = std::min(frames, samples_.size() / 2 - at_);
        std::copy_n(samples_.begin() + 2 * at_, 2 * count, out);
        at_ += count;
        return count;
    }
    void seek(std::int64_t frame) override { at_ = static_cast<std::size_t>(frame); }

  private:
    cli::AudioInfo info_;
    std::vector<float> samples_;
    std::size_t at_ = 0;
};

std::vector<float> chirp(std::size_t frames) {
    std::vector<float> samples(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / StreamPicture::kAnalysisRate;
        samples[2 * i] = static_cast<float>(0.6 * std::sin(2 * M_PI * (150 + 900 * t) * t));
        samples[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 2500 * t));
    }
    return samples;
}

TEST(StreamPicture, PicturesInAnyBuffersAreRendersOnItsGrid) {
    constexpr double fps = 30;
    const std::vector<float> sound = chirp(44100);
    const cli::Display display{cli::ModuleKind::History, true, 1.0f, 200, 120, false};
    FreetypeTextRenderer text;
    StreamPicture stream(display, fps, SoundFormat{}, "", text);

    // render's own loop over the whole sound at once.
    Frames whole(sound);
    cli::SampleBuffer buffer(whole);
    cli::AnalysedCalls calls(buffer, fps, 0);
    cli::ModuleRunner render(display, "", calls, text);

    // Nothing is ready before the first call's window is in.
    stream.hear(sound.data(), cli::kAnalysisWindow - 1);
    EXPECT_FALSE(stream.nextReady());
    std::size_t heard = cli::kAnalysisWindow - 1;
    const std::size_t sizes[] = {1, 997, 4096, 35, 2205};
    for (int chunk = 0; heard < sound.size() / 2; ++chunk) {
        const std::size_t count = std::min(sizes[chunk % 5], sound.size() / 2 - heard);
        stream.hear(sound.data() + 2 * heard, count);
        heard += count;
        while (stream.nextReady()) {
            const std::int64_t k = stream.nextIndex();
            const Bitmap& ours = stream.drawNext();
            render.advanceTo(static_cast<double>(k) / fps);
            ASSERT_EQ(ours.packed(), render.picture().packed()) << "picture " << k;
        }
    }
    // Every picture whose calls' windows lie within the second of sound was drawn.
    EXPECT_EQ(stream.nextIndex(), 30);
}

} // namespace
} // namespace lumacore::gst
