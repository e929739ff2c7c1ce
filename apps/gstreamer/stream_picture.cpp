// A stream's sound into the module's pictures, paced as `lumacore render` paces its calls.
#include "stream_picture.h"

#include <cmath>
#include <cstring>

#include "analysis/analyser.h"
#include "output/pixels.h"

namespace lumacore::gst {

StreamPicture::StreamPicture(const cli::Display& display, double framesPerSecond,
                             const SoundFormat& format, std::string title, TextRenderer& text)
    : display_(display), rate_(framesPerSecond), format_(format), title_(std::move(title)),
      text_(text) {
    restart();
}

StreamPicture::~StreamPicture() {
    runner_.reset();
    calls_.reset(); // before the sound it reads goes
}

void StreamPicture::restart() {
    runner_.reset();
    calls_.reset();
    resampler_ = std::make_unique<StereoResampler>(format_.rate, kAnalysisRate, format_.channels,
                                                   format_.sample);
    captured_ = 0;
    next_ = 0;
    gather(0);
    runner_ = std::make_unique<cli::ModuleRunner>(display_, title_, calls_, text_);
}

void StreamPicture::gather(std::int64_t first) {
    calls_.reset();
    first_ = first;
    auto sound = std::make_unique<cli::CapturedSound>(kAnalysisRate);
    sound_ = sound.get();
    samples_ = std::make_unique<cli::SampleBuffer>(std::move(sound), first);
    calls_.setCaptured(first);
    calls_.start(*samples_, rate_, first);
    if (runner_) runner_->seek(static_cast<double>(first) / kAnalysisRate);
}

void StreamPicture::hear(const void* frames, std::size_t count) {
    resampled_.clear();
    const std::size_t made = resampler_->convert(frames, count, resampled_);
    if (made == 0) return;
    if (!sound_->push(resampled_.data(), made)) {
        // Sound no picture asked for in a long while (pictures dropped downstream): the analysis
        // goes on from here rather than drawing the old sound late.
        gather(captured_);
        sound_->push(resampled_.data(), made);
    }
    captured_ += static_cast<std::int64_t>(made);
    calls_.setCaptured(captured_);
    runner_->poll();
}

double StreamPicture::nextMoment() const {
    return static_cast<double>(next_) / rate_;
}

bool StreamPicture::nextReady() const {
    // The newest call whose window is in is due at or after the picture: every call before it
    // is in too.
    return cli::newestLiveCallSeconds(captured_, first_, rate_, kAnalysisRate) >= nextMoment();
}

const Bitmap& StreamPicture::drawNext() {
    runner_->poll();
    runner_->advanceTo(nextMoment());
    ++next_;
    return runner_->picture();
}

void StreamPicture::setModule(cli::ModuleKind module) {
    display_.module = module;
    runner_->setModule(module);
}

void StreamPicture::setMode(bool threeD) {
    display_.threeD = threeD;
    runner_->setMode(threeD);
}

void StreamPicture::setBrightness(float brightness) {
    display_.brightness = brightness;
    runner_->setBrightness(brightness);
}

void StreamPicture::setTitle(const std::string& title) {
    title_ = title;
    runner_->setTitle(title);
}

void writePicture(const Bitmap& picture, bool rgba, std::uint8_t* rows, std::size_t stride) {
    const auto width = static_cast<std::size_t>(picture.width());
    for (int y = 0; y < picture.height(); ++y) {
        const std::uint32_t* words = picture.row(y);
        std::uint8_t* out = rows + static_cast<std::size_t>(y) * stride;
        if (rgba)
            cli::straightRgba(words, width, out);
        else
            std::memcpy(out, words, 4 * width);
    }
}

} // namespace lumacore::gst
