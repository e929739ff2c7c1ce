#include "audio/stereo_resampler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "ffmpeg/ffmpeg_owners.h"

namespace lumacore {
namespace {

AVSampleFormat avFormat(StereoResampler::Sample sample) {
    switch (sample) {
    case StereoResampler::Sample::S8:
        return AV_SAMPLE_FMT_U8; // flipped to unsigned on the way in
    case StereoResampler::Sample::S16:
        return AV_SAMPLE_FMT_S16;
    case StereoResampler::Sample::S24In32: // widened to 32 bits on the way in
    case StereoResampler::Sample::S32:
        return AV_SAMPLE_FMT_S32;
    case StereoResampler::Sample::Float:
        break;
    }
    return AV_SAMPLE_FMT_FLT;
}

std::size_t sampleBytes(StereoResampler::Sample sample) {
    switch (sample) {
    case StereoResampler::Sample::S8:
        return 1;
    case StereoResampler::Sample::S16:
        return 2;
    default:
        return 4;
    }
}

} // namespace

struct StereoResampler::Context {
    cli::ResamplerPtr swr;
};

StereoResampler::StereoResampler(int inRate, int outRate, int inChannels, Sample sample)
    : channels_(inChannels), sample_(sample) {
    if (inRate == outRate && inChannels == 2 && sample == Sample::Float) return;
    AVChannelLayout in{};
    av_channel_layout_default(&in, inChannels);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* swr = nullptr;
    const int made = swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, outRate, &in,
                                         avFormat(sample), inRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (made < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        throw std::runtime_error("cannot convert sound of " + std::to_string(inChannels) +
                                 " channels at " + std::to_string(inRate) + " Hz");
    }
    context_ = std::make_unique<Context>();
    context_->swr.reset(swr);
}

StereoResampler::~StereoResampler() = default;

std::size_t StereoResampler::frameBytes() const {
    return sampleBytes(sample_) * static_cast<std::size_t>(channels_);
}

std::size_t StereoResampler::convert(const void* frames, std::size_t count,
                                     std::vector<float>& out) {
    if (count == 0) return 0;
    if (!context_) {
        const auto* samples = static_cast<const float*>(frames);
        out.insert(out.end(), samples, samples + 2 * count);
        return count;
    }
    const auto* in = static_cast<const std::uint8_t*>(frames);
    const std::size_t samples = count * static_cast<std::size_t>(channels_);
    if (sample_ == Sample::S8 || sample_ == Sample::S24In32) {
        widened_.resize(samples * sampleBytes(sample_));
        if (sample_ == Sample::S8) {
            for (std::size_t i = 0; i < samples; ++i)
                widened_[i] = static_cast<unsigned char>(in[i] ^ 0x80);
        } else {
            for (std::size_t i = 0; i < samples; ++i) {
                std::int32_t value;
                std::memcpy(&value, in + 4 * i, 4);
                value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value) << 8);
                std::memcpy(widened_.data() + 4 * i, &value, 4);
            }
        }
        in = widened_.data();
    }
    SwrContext* swr = context_->swr.get();
    const int room = swr_get_out_samples(swr, static_cast<int>(count));
    if (room <= 0) return 0;
    const std::size_t had = out.size();
    out.resize(had + 2 * static_cast<std::size_t>(room));
    auto* into = reinterpret_cast<std::uint8_t*>(out.data() + had);
    const int made = swr_convert(swr, &into, room, &in, static_cast<int>(count));
    out.resize(had + 2 * static_cast<std::size_t>(std::max(made, 0)));
    return static_cast<std::size_t>(std::max(made, 0));
}

} // namespace lumacore
