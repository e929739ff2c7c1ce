// The module drawn from a GStreamer stream's sound, as `lumacore render` draws a file: the sound
// pushed as it flows (any rate, channel count and sample format, resampled to the analysis's
// 44.1 kHz by the shared StereoResampler, as render decodes every file), its Render calls made
// as render paces them (call n from frame floor(n * 44100 / calls per second) of the sound's
// start, each once its whole window is in) and its pictures on render's grid (picture k at k /
// fps), each drawn from every call due by its moment once their windows are in. Picture k is
// render's `--at k/fps` of the same sound.
// Nothing here knows GStreamer: the element hands it the sound, the moments and the flushes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/sample_buffer.h"
#include "audio/stereo_resampler.h"
#include "pipeline/live_sound.h"
#include "pipeline/module_runner.h"

namespace lumacore::gst {

// How the stream's sound comes: interleaved frames of `channels` samples at `rate`.
struct SoundFormat {
    int rate = 44100;
    int channels = 2;
    StereoResampler::Sample sample = StereoResampler::Sample::Float;
    bool operator==(const SoundFormat&) const = default;
};

class StreamPicture {
  public:
    static constexpr int kAnalysisRate = 44100;

    // A picture of `display` every 1 / `framesPerSecond` seconds, with as many Render calls a
    // second (render's --rate follows --fps). Throws std::runtime_error when the sound cannot
    // be converted. `text` must outlive it.
    StreamPicture(const cli::Display& display, double framesPerSecond, const SoundFormat& format,
                  std::string title, TextRenderer& text);
    ~StreamPicture();
    StreamPicture(const StreamPicture&) = delete;
    StreamPicture& operator=(const StreamPicture&) = delete;

    // `count` input frames that follow those heard before.
    void hear(const void* frames, std::size_t count);
    // Pictures come at k / fps from the start of the sound (the first frame heard since the
    // start or the last restart), render's grid. Whether picture nextIndex() can be drawn: the
    // windows of every call due by its moment are in.
    bool nextReady() const;
    std::int64_t nextIndex() const { return next_; }
    // Draws picture nextIndex() from the calls due by its moment and moves on to the next.
    const Bitmap& drawNext();
    // Pictures before `index` are not drawn (a pipeline that fell behind drops them); the calls
    // they would have shown are still made, so later pictures are unchanged.
    void skipTo(std::int64_t index) { next_ = std::max(next_, index); }
    // The sound starts afresh (a seek, a flush): a new analysis from the next frame heard, and
    // the module's first paint again, as a render from that position starts.
    void restart();

    // What the user changes while it runs, kept for the runner a restart makes.
    void setModule(cli::ModuleKind module);
    void setMode(bool threeD);
    void setBrightness(float brightness);
    void setTitle(const std::string& title);
    const cli::Display& display() const { return display_; }
    const SoundFormat& format() const { return format_; }
    double framesPerSecond() const { return rate_; }

  private:
    // The calls read from the frames kept from `first` on (frames at the analysis's rate since
    // the start); the runner is told to look again from that moment.
    void gather(std::int64_t first);
    double nextMoment() const;

    cli::Display display_;
    double rate_;
    SoundFormat format_;
    std::string title_;
    TextRenderer& text_;
    std::unique_ptr<StereoResampler> resampler_;
    std::vector<float> resampled_;
    std::int64_t captured_ = 0;                  // frames at the analysis's rate since the start
    std::int64_t first_ = 0;                     // the frame the calls start at
    std::int64_t next_ = 0;                      // the next picture's index
    cli::CapturedSound* sound_ = nullptr;        // samples_' source
    std::unique_ptr<cli::SampleBuffer> samples_; // before calls_: they read it
    cli::LiveCalls calls_{kAnalysisRate};        // before runner_: it reads them
    std::unique_ptr<cli::ModuleRunner> runner_;
};

// The picture's pixels into a video frame's rows: `rgba` false writes the bitmap's words as they
// are (0x00RRGGBB, B, G, R, x bytes on a little-endian machine); true writes R, G, B, A with the
// colour unassociated from the kept alpha, exactly as the PNG output does.
void writePicture(const Bitmap& picture, bool rgba, std::uint8_t* rows, std::size_t stride);

} // namespace lumacore::gst
