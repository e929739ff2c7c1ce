// Sound of any rate, channel count and sample format as interleaved stereo float frames at the
// rate asked for (libswresample): OBS's sound and a FIFO's raw samples on their way to the
// analysis. Nothing is done to sound that is already stereo float at that rate.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

struct SwrContext;

namespace lumacore {

class StereoResampler {
  public:
    // How each sample is stored, in the machine's byte order. S24In32: 24 bits in the low three
    // bytes of 32 (as MPD writes its 24-bit sound).
    enum class Sample { S8, S16, S24In32, S32, Float };

    // Throws std::runtime_error when libswresample cannot make the conversion.
    StereoResampler(int inRate, int outRate, int inChannels = 2, Sample sample = Sample::Float);
    ~StereoResampler();
    StereoResampler(const StereoResampler&) = delete;
    StereoResampler& operator=(const StereoResampler&) = delete;

    // Bytes of one input frame.
    std::size_t frameBytes() const;
    // Appends to `out` what `count` input frames become, and returns how many frames it appended
    // (a few may wait inside for the next call).
    std::size_t convert(const void* frames, std::size_t count, std::vector<float>& out);

  private:
    struct Context;
    int channels_;
    Sample sample_;
    std::unique_ptr<Context> context_; // none: stereo float at the output rate already
    std::vector<unsigned char> widened_;
};

} // namespace lumacore
