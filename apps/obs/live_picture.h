// The module drawn from the sound OBS delivers, on the live path every live end shares: the
// delivered frames are heard on OBS's clock (the age of the newest frame is the time since its
// time stamp), and each video frame advances the runner to the moment the path shows then.
// Without sound, silence is drawn at the wall clock's pace, as for an idle capture. A picture
// that fell behind shows the present at once.
// OBS's sound (48 kHz, usually) is resampled to the analysis's 44.1 kHz, as `render` decodes
// every file, so that a tone lights the same bin here as there.
// Not thread-safe: the source calls it from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/stereo_resampler.h"
#include "pipeline/live_analysis.h"
#include "pipeline/module_runner.h"
#include "source_settings.h"

namespace lumacore::obs {

class LivePicture {
  public:
    // The rate the sound is analysed at, whatever OBS's.
    static constexpr int kAnalysisRate = 44100;

    // Starts at `now` (seconds on OBS's clock); `sampleRate` is OBS's. `text` must outlive it.
    LivePicture(const SourcePicture& picture, const std::string& title, int sampleRate,
                TextRenderer& text, double now);
    ~LivePicture();
    LivePicture(const LivePicture&) = delete;
    LivePicture& operator=(const LivePicture&) = delete;

    // `count` stereo frames taken at `now`, the newest ending at `endSeconds` on OBS's clock;
    // `restarted`: they do not continue the sound before them.
    void hear(const float* frames, std::int64_t count, double endSeconds, bool restarted,
              double now);
    // Advances the module to the picture at `now`; true when the picture changed.
    bool advance(double now);

    // What the user changes without a new runner.
    void setMode(bool threeD) { runner_->setMode(threeD); }
    void setBrightness(float brightness) { runner_->setBrightness(brightness); }
    void setTitle(const std::string& title) { runner_->setTitle(title); }

    const Bitmap& picture() const { return runner_->picture(); }
    const cli::ModuleRunner& runner() const { return *runner_; }
    // The moment of the sound the picture shows, in seconds of the stream.
    double shownSeconds() const { return analysis_.shown(); }
    // Frames covered so far, at the analysis's rate: sound kept and silence added.
    std::int64_t covered() const { return analysis_.covered(); }

  private:
    // `count` frames of OBS's rate at the analysis's rate, into resampled_; their count.
    std::int64_t resample(const float* frames, std::int64_t count);

    int inRate_;
    std::unique_ptr<StereoResampler> resampler_; // the shared one; none at the analysis's rate
    std::vector<float> resampled_;
    double callsPerSecond_;
    cli::LiveAnalysis analysis_;
    std::unique_ptr<cli::ModuleRunner> runner_; // after analysis_: it reads the calls
};

} // namespace lumacore::obs
