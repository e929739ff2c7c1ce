// A module drawn from sound a host hands over with its time (OBS's sources, a player's
// visualisers), on the live path every live end shares: the frames are heard on the host's clock
// (the age of the newest frame is the time since its time stamp; a stamp ahead of the clock is
// sound still to be heard), and each picture advances the runner to the moment the path shows
// then. Without sound, silence is drawn at the clock's pace, as for an idle capture. A picture
// that fell behind shows the present at once.
// The host's sound (48 kHz, usually) is resampled to the analysis's 44.1 kHz, as `render` decodes
// every file, so that a tone lights the same bin here as there.
// Not thread-safe: the host calls it from one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/stereo_resampler.h"
#include "pipeline/live_analysis.h"
#include "pipeline/module_runner.h"

namespace lumacore::cli {

class LivePicture {
  public:
    // The rate the sound is analysed at, whatever OBS's.
    static constexpr int kAnalysisRate = 44100;

    // Starts at `now` (seconds on the host's clock), `callsPerSecond` calls a second;
    // `sampleRate` is the host's, checked under the name `soundName` ("OBS's audio"). `text` must
    // outlive it.
    LivePicture(const Display& display, double callsPerSecond, const std::string& title,
                int sampleRate, const char* soundName, TextRenderer& text, double now);
    ~LivePicture();
    LivePicture(const LivePicture&) = delete;
    LivePicture& operator=(const LivePicture&) = delete;

    // `count` stereo frames taken at `now`, the newest ending at `endSeconds` on the host's clock
    // (after `now`: still to be heard); `restarted`: they do not continue the sound before them.
    void hear(const float* frames, std::int64_t count, double endSeconds, bool restarted,
              double now);
    // Advances the module to the picture at `now`; true when the picture changed.
    bool advance(double now);

    // What the user changes without a new runner.
    void setMode(bool threeD) { runner_->setMode(threeD); }
    void setBrightness(float brightness) { runner_->setBrightness(brightness); }
    void setTitle(const std::string& title) { runner_->setTitle(title); }
    // Another module at its own client size (a fresh first paint), or the same one resized.
    void setModule(ModuleKind module, int width, int height) {
        runner_->setModule(module, width, height);
    }
    void setClientSize(int width, int height) { runner_->setClientSize(width, height); }

    const Bitmap& picture() const { return runner_->picture(); }
    const ModuleRunner& runner() const { return *runner_; }
    // Whether calls of silence would leave the picture as it is (ModuleRunner::atRest).
    bool atRest() const { return runner_->atRest(); }
    // The moment of the sound the picture shows, in seconds of the stream.
    double shownSeconds() const { return analysis_.shown(); }
    // Frames covered so far, at the analysis's rate: sound kept and silence added.
    std::int64_t covered() const { return analysis_.covered(); }

  private:
    // `count` frames of the host's rate at the analysis's rate, into resampled_; their count.
    std::int64_t resample(const float* frames, std::int64_t count);

    int inRate_;
    std::unique_ptr<StereoResampler> resampler_; // the shared one; none at the analysis's rate
    std::vector<float> resampled_;
    double callsPerSecond_;
    LiveAnalysis analysis_;
    std::unique_ptr<ModuleRunner> runner_; // after analysis_: it reads the calls
};

} // namespace lumacore::cli
