// Shared by the audio and analysis tests: sounds made by a formula, reading and analysing a
// source to the end, scratch folders, and running the ffmpeg tool to make encoded test files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analyser.h"
#include "audio/audio_source.h"
#include "frames/frames_file.h"

namespace lumacore::cli::test {

// A stereo sound of `frames` frames whose samples come from a formula; reads hand out at most
// `maxRead` frames, like a decoder that delivers odd-sized packets.
class SignalSource : public AudioSource {
  public:
    using Formula = std::function<float(long long frame, int channel)>;
    SignalSource(long long frames, Formula formula, int sampleRate = 44100,
                 std::size_t maxRead = static_cast<std::size_t>(-1));
    const AudioInfo& info() const override { return info_; }
    std::size_t read(float* out, std::size_t frames) override;
    void seek(std::int64_t frame) override { position_ = frame; }

  private:
    AudioInfo info_;
    long long frames_;
    Formula formula_;
    std::size_t maxRead_;
    long long position_ = 0;
};

// The centre frequency of spectrum bin `bin`.
inline double binFrequency(int bin, int sampleRate = 44100) {
    return bin * static_cast<double>(sampleRate) / kAnalysisWindow;
}

// A sine of `amplitude` at `frequency` on the left and another on the right.
SignalSource::Formula sines(double leftAmplitude, double leftFrequency, double rightAmplitude,
                            double rightFrequency, int sampleRate = 44100);

// Every sample of the source, interleaved, read `block` frames at a time.
std::vector<float> readAll(AudioSource& source, std::size_t block = 4096);

// Every call the analyser makes of the source, with its time in microseconds.
std::vector<Frame> analyseAll(AudioSource& source, double callsPerSecond);

// Index of the largest value of a row (the first of equals).
int peakBin(const unsigned char (&row)[kSamplesPerChannel]);

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Overwrites `count` bytes of the file from `at` (a fraction of its size) with a fixed pattern
// of noise, as a damaged disc or download would. `mask` limits the noise's bytes (0x7F: none of
// them starts an MP3 frame header, so that a demuxer finds the next real one).
void damage(const std::string& path, double at, std::size_t count, unsigned mask = 0xFF);

// The ffmpeg tool, when the build found one.
bool haveFfmpegTool();
// Whether that tool has the encoder `name` (for example "libmp3lame").
bool haveEncoder(const std::string& name);
// Runs the tool with `arguments` (without the program name), quietly; true when it succeeded.
bool runFfmpegTool(const std::vector<std::string>& arguments);

// An image file to carry in a sound file as cover art, and the picture type to mark it with
// ("Cover (front)", "Cover (back)", ...; empty for the container's default).
struct AttachedPicture {
    std::string path;
    std::string type;
};
// Makes `path`: one second of a sine encoded with `encoder`, carrying `pictures` (copied as they
// are) as its attached pictures, in their order. True when the tool succeeded.
bool encodeWithPictures(const std::string& path, const std::string& encoder,
                        const std::vector<AttachedPicture>& pictures);

} // namespace lumacore::cli::test
