// Recorded player frames: the spectrum and waveform rows a player hands to Render, frame after
// frame, in a small versioned little-endian file (docs/frames-format.md). The writer streams
// frames out and patches the count when it finishes; the reader streams them back one at a time
// and checks everything it reads, so a damaged or foreign file gives a FramesError with a
// one-line message, never a crash or an allocation sized by the file's claims.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>

#include "host/vis_module.h"

namespace lumacore {

inline constexpr char kFramesMagic[8] = {'L', 'M', 'C', 'F', 'R', 'A', 'M', 'S'};
inline constexpr std::uint32_t kFramesFormatVersion = 1;
inline constexpr std::size_t kFramesHeaderSize = 64;
// Time stamp, then two channels of spectrum and two of waveform.
inline constexpr std::size_t kFrameRecordSize = 8 + 4 * kSamplesPerChannel;

// Limits a reader accepts; anything beyond them is a damaged file, not a recording.
inline constexpr std::uint32_t kMinSampleRate = 1000;
inline constexpr std::uint32_t kMaxSampleRate = 1000000;
inline constexpr std::uint32_t kMaxFrameCount = 10000000;
// Frame rates from one frame in 100 seconds to 1000 frames a second.
inline constexpr double kMinFrameRate = 0.01;
inline constexpr double kMaxFrameRate = 1000.0;
// The count a writer leaves in the header until it finishes.
inline constexpr std::uint32_t kUnfinishedFrameCount = 0xFFFFFFFFu;

class FramesError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Frames per second as an exact fraction (30000/1001 for NTSC-like rates).
struct FrameRate {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 1;
};

struct FramesHeader {
    std::uint32_t sampleRate = 44100;
    FrameRate frameRate{};
    std::uint32_t frameCount = 0;
};

struct Frame {
    std::uint64_t timeUs = 0; // microseconds since the start of the recording
    unsigned char spectrum[2][kSamplesPerChannel]{};
    unsigned char waveform[2][kSamplesPerChannel]{}; // signed 8-bit samples
};

// Copies a frame's rows into a module record, and a record's rows into a frame.
void loadFrame(const Frame& frame, winampVisModule& module);
Frame frameFromModule(const winampVisModule& module, std::uint64_t timeUs);

// Empty when the values are acceptable, otherwise what is wrong with them.
std::string checkSampleRate(std::uint32_t sampleRate);
std::string checkFrameRate(FrameRate rate);

class FramesWriter {
  public:
    // Creates (truncates) the file and writes a header whose count says "unfinished".
    FramesWriter(const std::string& path, std::uint32_t sampleRate, FrameRate rate);
    // Writes to a seekable stream that the caller keeps alive until finish().
    FramesWriter(std::ostream& out, std::uint32_t sampleRate, FrameRate rate,
                 std::string name = "frames data");
    FramesWriter(const FramesWriter&) = delete;
    FramesWriter& operator=(const FramesWriter&) = delete;
    // Finishes the file if finish() was not called; errors are swallowed here.
    ~FramesWriter();

    // Appends one frame. Times must not go backwards.
    void append(const Frame& frame);
    // Patches the frame count into the header and flushes. Further calls do nothing.
    void finish();

    std::uint32_t frameCount() const { return count_; }

  private:
    void checkHeader() const;
    void writeHeader(std::uint32_t count);
    [[noreturn]] void fail(const std::string& problem) const;

    std::unique_ptr<std::ofstream> file_;
    std::ostream* out_;
    std::string name_;
    FramesHeader header_;
    std::uint32_t count_ = 0;
    std::uint64_t lastTime_ = 0;
    bool finished_ = false;
};

class FramesReader {
  public:
    // Opens the file and checks its header, and its length when the stream can tell it.
    explicit FramesReader(const std::string& path);
    // Reads from a stream that the caller keeps alive.
    explicit FramesReader(std::istream& in, std::string name = "frames data");
    FramesReader(const FramesReader&) = delete;
    FramesReader& operator=(const FramesReader&) = delete;

    const FramesHeader& header() const { return header_; }
    // Reads the next frame into `frame`. Returns false after the last one, once it has checked
    // that nothing follows it.
    bool next(Frame& frame);
    std::uint32_t framesRead() const { return read_; }

  private:
    void readHeader();
    [[noreturn]] void fail(const std::string& problem) const;

    std::unique_ptr<std::ifstream> file_;
    std::istream* in_;
    std::string name_;
    FramesHeader header_;
    std::uint32_t read_ = 0;
    std::uint64_t lastTime_ = 0;
};

} // namespace lumacore
