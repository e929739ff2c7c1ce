// The element's pacing without GStreamer: sound pushed in buffers of any size gives the pictures
// `render` makes of the same sound, each once the windows of its calls are in.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "host/raster/freetype/freetype_text_renderer.h"
#include "pipeline/call_source.h"
#include "stream_picture.h"

namespace lumacore::gst {
namespace {

TEST(StreamPicture, PicturesInAnyBuffersAreRendersOnItsGrid) {
    constexpr double fps = 30;
    constexpr std::size_t frames = 44100;
    std::vector<float> sound(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / StreamPicture::kAnalysisRate;
        sound[2 * i] = static_cast<float>(0.6 * std::sin(2 * M_PI * (150 + 900 * t) * t));
        sound[2 * i + 1] = static_cast<float>(0.3 * std::sin(2 * M_PI * 2500 * t));
    }
    const cli::Display display{cli::ModuleKind::History, true, 1.0f, 200, 120, false};
    FreetypeTextRenderer text;
    StreamPicture stream(display, fps, SoundFormat{}, "", text);

    // render's own calls over the whole sound at once.
    cli::CapturedSound whole(StreamPicture::kAnalysisRate);
    ASSERT_TRUE(whole.push(sound.data(), frames));
    cli::SampleBuffer buffer(whole);
    cli::AnalysedCalls calls(buffer, fps, 0);
    cli::ModuleRunner render(display, "", calls, text);

    // Nothing is ready before the first call's window is in.
    std::size_t heard = cli::kAnalysisWindow - 1;
    stream.hear(sound.data(), heard);
    EXPECT_FALSE(stream.nextReady());
    const std::size_t sizes[] = {1, 997, 4096, 35, 2205};
    for (int chunk = 0; heard < frames; ++chunk) {
        const std::size_t count = std::min(sizes[chunk % 5], frames - heard);
        stream.hear(sound.data() + 2 * heard, count);
        heard += count;
        while (stream.nextReady()) {
            const std::int64_t k = stream.nextIndex();
            const std::vector<std::uint32_t> ours = stream.drawNext().packed();
            render.advanceTo(static_cast<double>(k) / fps);
            ASSERT_EQ(ours, render.picture().packed()) << "picture " << k;
        }
    }
    // Pictures 0 to 29: the windows of calls up to 29 / 30 s lie within the second of sound.
    EXPECT_EQ(stream.nextIndex(), 30);
}

} // namespace
} // namespace lumacore::gst
