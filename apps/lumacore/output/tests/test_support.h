// Helpers shared by the output tests: a scratch folder per test, a sine-wave sound source and
// test pictures.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "audio/audio_source.h"
#include "host/raster/bitmap.h"
#include "audio/sample_buffer.h"

namespace lumacore::cli::testing_support {

// A fresh folder for one test, removed (permissions restored first) at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lumacore-output-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a scratch folder");
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored))
            if (entry.is_directory(ignored))
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

    // Every name in the folder, sorted; hidden ones included.
    std::set<std::string> names(const std::string& sub = "") const {
        std::set<std::string> result;
        for (auto& entry : std::filesystem::directory_iterator(sub.empty() ? path_ : path_ / sub))
            result.insert(entry.path().filename().string());
        return result;
    }

  private:
    std::filesystem::path path_;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A stereo sine: `seconds` long (frames rounded), the right channel at half the left's level.
class SineSource : public AudioSource {
  public:
    SineSource(int sampleRate, double seconds, double hertz = 440)
        : frames_(std::llround(seconds * sampleRate)), hertz_(hertz) {
        info_.sampleRate = sampleRate;
        info_.durationSeconds = seconds;
    }
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override {
        std::size_t n = 0;
        for (; n < frames && position_ < frames_; ++n, ++position_) {
            const double t = static_cast<double>(position_) / info_.sampleRate;
            const auto value =
                static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hertz_ * t));
            out[n * 2] = value;
            out[n * 2 + 1] = value / 2;
        }
        return n;
    }
    void seek(std::int64_t frame) override { position_ = frame; }

  private:
    AudioInfo info_;
    std::int64_t frames_;
    std::int64_t position_ = 0;
    double hertz_;
};

// A sound in a sample buffer of its own, as a video sink takes it.
inline std::shared_ptr<SampleBuffer> bufferOf(std::unique_ptr<AudioSource> source) {
    return std::make_shared<SampleBuffer>(std::move(source));
}

// A picture where neighbouring pixels differ in every channel, changing with `seed`.
inline Bitmap testPicture(int width, int height, int seed = 0) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = (x * 7 + y * 3 + seed * 11) & 0xFF;
            const std::uint32_t g = (x * 13 + y * 29 + seed * 5) & 0xFF;
            const std::uint32_t b = (x * y + seed * 17) & 0xFF;
            picture.row(y)[x] = r << 16 | g << 8 | b;
        }
    return picture;
}

inline Bitmap solidPicture(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    Bitmap picture(width, height);
    picture.fill(rgb(r, g, b));
    return picture;
}

// The picture's R, G, B bytes (and 255 after each with `alpha`), enlarged `scale` times,
// pixel by pixel.
inline std::vector<std::uint8_t> bytesOf(const Bitmap& picture, bool alpha, int scale = 1) {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < picture.height() * scale; ++y)
        for (int x = 0; x < picture.width() * scale; ++x) {
            const Colour c = picture.colourAt(x / scale, y / scale);
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(c & 0xFF),
                                       static_cast<std::uint8_t>((c >> 8) & 0xFF),
                                       static_cast<std::uint8_t>((c >> 16) & 0xFF)});
            if (alpha) bytes.push_back(255);
        }
    return bytes;
}

} // namespace lumacore::cli::testing_support
