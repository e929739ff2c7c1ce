// Writes the analyser's calls for a whole sound into a frames file, under a unique temporary name
// beside it that becomes the real one only when the file is complete.
#include "analysis/frames_export.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <utility>

#include "analysis/analyser.h"
#include "host/posix/temporary_files.h"

namespace lumacore::cli {
namespace {

constexpr std::uint32_t kMaxDenominator = 10000;

} // namespace

FrameRate frameRateFraction(double callsPerSecond) {
    if (!std::isfinite(callsPerSecond) || callsPerSecond <= 0)
        throw std::invalid_argument("calls per second must be a positive number, not " +
                                    std::to_string(callsPerSecond));
    // Far outside what a frames file allows: any fraction will be rejected with the rate named.
    if (callsPerSecond > 1e6) return {1000000, 1};
    // Continued fractions: the convergents and, at the end, one semiconvergent give the closest
    // fraction within the denominator limit, so whole rates, x/1001 rates and other simple
    // fractions come out exactly.
    std::uint64_t numerator = 1, previousNumerator = 0;
    std::uint64_t denominator = 0, previousDenominator = 1;
    double rest = callsPerSecond;
    for (int step = 0; step < 64; ++step) {
        const double whole = std::floor(rest);
        if (whole > 1e9) break; // a term this large adds nothing a uint32 fraction can hold
        const auto term = static_cast<std::uint64_t>(whole);
        const std::uint64_t nextNumerator = term * numerator + previousNumerator;
        const std::uint64_t nextDenominator = term * denominator + previousDenominator;
        if (nextDenominator > kMaxDenominator) {
            // The last convergent, or a fraction between it and the one before that still fits
            // (a semiconvergent), whichever is closer.
            const std::uint64_t most = (kMaxDenominator - previousDenominator) / denominator;
            const std::uint64_t h = most * numerator + previousNumerator;
            const std::uint64_t k = most * denominator + previousDenominator;
            const auto distance = [callsPerSecond](std::uint64_t top, std::uint64_t bottom) {
                return std::fabs(static_cast<double>(top) / static_cast<double>(bottom) -
                                 callsPerSecond);
            };
            if (most > 0 && denominator > 0 && distance(h, k) < distance(numerator, denominator)) {
                numerator = h;
                denominator = k;
            }
            break;
        }
        previousNumerator = std::exchange(numerator, nextNumerator);
        previousDenominator = std::exchange(denominator, nextDenominator);
        const double value = static_cast<double>(numerator) / static_cast<double>(denominator);
        if (std::fabs(value - callsPerSecond) <= 1e-15 * callsPerSecond) break; // exact
        const double fraction = rest - whole;
        if (fraction <= 0 || fraction < 1e-12) break;
        rest = 1.0 / fraction;
    }
    // A rate below 1/10000 ends at 0/1, which the frames file rejects.
    return {static_cast<std::uint32_t>(numerator), static_cast<std::uint32_t>(denominator)};
}

void writeFramesFile(AudioSource& source, double callsPerSecond, const std::string& path) {
    const FrameRate rate = frameRateFraction(callsPerSecond);
    Analyser analyser(source, callsPerSecond);
    // Messages name the file the caller asked for, not the temporary one.
    const auto failed = [&path](const FileError& error) {
        return FramesError(path + ": " + error.reason());
    };
    std::optional<TemporaryFile> temporary;
    try {
        temporary.emplace(path);
    } catch (const FileError& error) {
        throw failed(error);
    }
    {
        std::ofstream file(temporary->path(), std::ios::binary | std::ios::trunc);
        if (!file)
            throw FramesError(path + ": cannot create the file (" + std::strerror(errno) + ")");
        FramesWriter writer(file, static_cast<std::uint32_t>(std::max(0, source.info().sampleRate)),
                            rate, path);
        winampVisModule module;
        double time = 0;
        while (analyser.next(module, time))
            writer.append(
                frameFromModule(module, static_cast<std::uint64_t>(std::llround(time * 1e6))));
        writer.finish();
        file.close();
        if (!file) throw FramesError(path + ": cannot write the file");
    }
    try {
        temporary->commit();
    } catch (const FileError& error) {
        throw failed(error);
    }
}

} // namespace lumacore::cli
