#include "listen/fifo_format.h"

#include <charconv>
#include <stdexcept>

#include "listen/app_match.h"

namespace lumacore::cli {
namespace {

constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 384000;
constexpr int kMostChannels = 8;

// A whole decimal number, or nothing.
std::optional<int> number(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return {};
    return value;
}

} // namespace

FifoFormat FifoFormat::parse(const std::string& text) {
    const std::string wrong = "--fifo-format takes RATE:BITS:CHANNELS (such as 44100:16:2), not '" +
                              shownEscaped(text) + "'";
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) throw std::invalid_argument(wrong);
    const std::optional<int> rate = number(text.substr(0, first));
    const std::string bits = text.substr(first + 1, second - first - 1);
    const std::optional<int> channels = number(text.substr(second + 1));
    if (!rate || !channels) throw std::invalid_argument(wrong);

    FifoFormat format;
    if (*rate < kLowestRate || *rate > kHighestRate)
        throw std::invalid_argument("--fifo-format: the rate must be " +
                                    std::to_string(kLowestRate) + " to " +
                                    std::to_string(kHighestRate) + " Hz, not " + text);
    format.rate = *rate;
    if (bits == "8")
        format.sample = StereoResampler::Sample::S8;
    else if (bits == "16")
        format.sample = StereoResampler::Sample::S16;
    else if (bits == "24")
        format.sample = StereoResampler::Sample::S24In32;
    else if (bits == "32")
        format.sample = StereoResampler::Sample::S32;
    else if (bits == "f")
        format.sample = StereoResampler::Sample::Float;
    else
        throw std::invalid_argument("--fifo-format: the bits must be 8, 16, 24, 32 or f, not '" +
                                    shownEscaped(bits) + "'");
    if (*channels < 1 || *channels > kMostChannels)
        throw std::invalid_argument("--fifo-format: the channels must be 1 to " +
                                    std::to_string(kMostChannels) + ", not " +
                                    std::to_string(*channels));
    format.channels = *channels;
    return format;
}

} // namespace lumacore::cli
