#include "frames/frames_file.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace lumacore {
namespace {

// Header field offsets (docs/frames-format.md).
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kSampleRateAt = 12;
constexpr std::size_t kRateNumeratorAt = 16;
constexpr std::size_t kRateDenominatorAt = 20;
constexpr std::size_t kCountAt = 24;
constexpr std::size_t kReservedAt = 28;

constexpr std::size_t kRowBytes = kSamplesPerChannel;

void putU32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void putU64(unsigned char* at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t getU32(const unsigned char* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

std::uint64_t getU64(const unsigned char* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

} // namespace

void loadFrame(const Frame& frame, winampVisModule& module) {
    std::memcpy(module.spectrumData, frame.spectrum, sizeof frame.spectrum);
    std::memcpy(module.waveformData, frame.waveform, sizeof frame.waveform);
}

Frame frameFromModule(const winampVisModule& module, std::uint64_t timeUs) {
    Frame frame;
    frame.timeUs = timeUs;
    std::memcpy(frame.spectrum, module.spectrumData, sizeof frame.spectrum);
    std::memcpy(frame.waveform, module.waveformData, sizeof frame.waveform);
    return frame;
}

std::string checkSampleRate(std::uint32_t sampleRate) {
    if (sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
        return "sample rate " + std::to_string(sampleRate) + " Hz is outside " +
               std::to_string(kMinSampleRate) + ".." + std::to_string(kMaxSampleRate);
    return {};
}

std::string checkFrameRate(FrameRate rate) {
    const std::string text =
        std::to_string(rate.numerator) + "/" + std::to_string(rate.denominator);
    if (rate.numerator == 0 || rate.denominator == 0)
        return "frame rate " + text + " has a zero term";
    const double perSecond = static_cast<double>(rate.numerator) / rate.denominator;
    if (perSecond < kMinFrameRate || perSecond > kMaxFrameRate)
        return "frame rate " + text + " is outside 0.01..1000 frames a second";
    return {};
}

// ---- writer ----

FramesWriter::FramesWriter(const std::string& path, std::uint32_t sampleRate, FrameRate rate)
    : out_(nullptr), name_(path), header_{sampleRate, rate, 0} {
    checkHeader();
    file_ = std::make_unique<std::ofstream>(path, std::ios::binary | std::ios::trunc);
    if (!*file_) fail("cannot create the file");
    out_ = file_.get();
    writeHeader(kUnfinishedFrameCount);
}

FramesWriter::FramesWriter(std::ostream& out, std::uint32_t sampleRate, FrameRate rate,
                           std::string name)
    : out_(&out), name_(std::move(name)), header_{sampleRate, rate, 0} {
    checkHeader();
    writeHeader(kUnfinishedFrameCount);
}

void FramesWriter::checkHeader() const {
    if (std::string problem = checkSampleRate(header_.sampleRate); !problem.empty()) fail(problem);
    if (std::string problem = checkFrameRate(header_.frameRate); !problem.empty()) fail(problem);
}

FramesWriter::~FramesWriter() {
    try {
        finish();
    } catch (const FramesError&) {
        // A destructor cannot report; callers who care call finish() themselves.
    }
}

void FramesWriter::fail(const std::string& problem) const {
    throw FramesError(name_ + ": " + problem);
}

void FramesWriter::writeHeader(std::uint32_t count) {
    unsigned char bytes[kFramesHeaderSize]{};
    std::memcpy(bytes, kFramesMagic, sizeof kFramesMagic);
    putU32(bytes + kVersionAt, kFramesFormatVersion);
    putU32(bytes + kSampleRateAt, header_.sampleRate);
    putU32(bytes + kRateNumeratorAt, header_.frameRate.numerator);
    putU32(bytes + kRateDenominatorAt, header_.frameRate.denominator);
    putU32(bytes + kCountAt, count);
    out_->write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    if (!*out_) fail("cannot write the header");
}

void FramesWriter::append(const Frame& frame) {
    if (finished_) fail("frame appended after the file was finished");
    if (count_ >= kMaxFrameCount)
        fail("more than " + std::to_string(kMaxFrameCount) + " frames in one file");
    if (count_ > 0 && frame.timeUs < lastTime_)
        fail("frame " + std::to_string(count_) + " goes back in time (" +
             std::to_string(frame.timeUs) + " us after " + std::to_string(lastTime_) + " us)");
    unsigned char bytes[kFrameRecordSize];
    putU64(bytes, frame.timeUs);
    std::memcpy(bytes + 8, frame.spectrum, 2 * kRowBytes);
    std::memcpy(bytes + 8 + 2 * kRowBytes, frame.waveform, 2 * kRowBytes);
    out_->write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    if (!*out_) fail("cannot write frame " + std::to_string(count_));
    lastTime_ = frame.timeUs;
    ++count_;
}

void FramesWriter::finish() {
    if (finished_ || !out_) return;
    finished_ = true;
    unsigned char count[4];
    putU32(count, count_);
    out_->seekp(static_cast<std::streamoff>(kCountAt));
    out_->write(reinterpret_cast<const char*>(count), sizeof count);
    out_->seekp(0, std::ios::end);
    out_->flush();
    if (!*out_) fail("cannot write the frame count");
    if (file_) {
        file_->close();
        if (!*file_) fail("cannot close the file");
    }
}

// ---- reader ----

FramesReader::FramesReader(const std::string& path)
    : file_(std::make_unique<std::ifstream>(path, std::ios::binary)), in_(file_.get()),
      name_(path) {
    if (!*file_) fail("cannot open the file");
    readHeader();
}

FramesReader::FramesReader(std::istream& in, std::string name) : in_(&in), name_(std::move(name)) {
    readHeader();
}

void FramesReader::fail(const std::string& problem) const {
    throw FramesError(name_ + ": " + problem);
}

void FramesReader::readHeader() {
    unsigned char bytes[kFramesHeaderSize];
    in_->read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const std::streamsize got = in_->gcount();
    if (got == 0) fail("empty file, not a frames file");
    // Say "not a frames file" rather than "truncated" when what is there is not the magic.
    const std::size_t magicBytes = std::min<std::size_t>(got, sizeof kFramesMagic);
    if (std::memcmp(bytes, kFramesMagic, magicBytes) != 0) fail("not a frames file (bad magic)");
    if (got != static_cast<std::streamsize>(sizeof bytes))
        fail("truncated header (" + std::to_string(got) + " of " +
             std::to_string(kFramesHeaderSize) + " bytes)");

    const std::uint32_t version = getU32(bytes + kVersionAt);
    if (version != kFramesFormatVersion)
        fail("unsupported format version " + std::to_string(version) + " (this reader knows " +
             std::to_string(kFramesFormatVersion) + ")");
    for (std::size_t i = kReservedAt; i < kFramesHeaderSize; ++i)
        if (bytes[i] != 0) fail("reserved header byte " + std::to_string(i) + " is not zero");

    header_.sampleRate = getU32(bytes + kSampleRateAt);
    header_.frameRate = {getU32(bytes + kRateNumeratorAt), getU32(bytes + kRateDenominatorAt)};
    header_.frameCount = getU32(bytes + kCountAt);
    if (std::string problem = checkSampleRate(header_.sampleRate); !problem.empty()) fail(problem);
    if (std::string problem = checkFrameRate(header_.frameRate); !problem.empty()) fail(problem);
    if (header_.frameCount == kUnfinishedFrameCount)
        fail("the writer never finished this file (no frame count)");
    if (header_.frameCount > kMaxFrameCount)
        fail("frame count " + std::to_string(header_.frameCount) + " is above the limit of " +
             std::to_string(kMaxFrameCount));

    // Where the stream can tell its length, check the count against it before any frame.
    const std::istream::pos_type here = in_->tellg();
    if (here == std::istream::pos_type(-1)) {
        in_->clear();
        return;
    }
    in_->seekg(0, std::ios::end);
    const std::istream::pos_type end = in_->tellg();
    in_->clear();
    in_->seekg(here);
    if (end == std::istream::pos_type(-1)) return;
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(end - here);
    const std::uint64_t expected = std::uint64_t{header_.frameCount} * kFrameRecordSize;
    if (dataBytes != expected)
        fail("the header counts " + std::to_string(header_.frameCount) + " frames (" +
             std::to_string(expected) + " bytes) but " + std::to_string(dataBytes) +
             " bytes follow it");
}

bool FramesReader::next(Frame& frame) {
    if (read_ == header_.frameCount) {
        if (in_->peek() != std::char_traits<char>::eof())
            fail("data after the last of " + std::to_string(header_.frameCount) + " frames");
        in_->clear();
        return false;
    }
    unsigned char bytes[kFrameRecordSize];
    in_->read(reinterpret_cast<char*>(bytes), sizeof bytes);
    const std::streamsize got = in_->gcount();
    if (got != static_cast<std::streamsize>(sizeof bytes))
        fail("truncated frame " + std::to_string(read_) + " (" + std::to_string(got) + " of " +
             std::to_string(kFrameRecordSize) + " bytes)");
    const std::uint64_t time = getU64(bytes);
    if (read_ > 0 && time < lastTime_)
        fail("frame " + std::to_string(read_) + " goes back in time (" + std::to_string(time) +
             " us after " + std::to_string(lastTime_) + " us)");
    frame.timeUs = time;
    std::memcpy(frame.spectrum, bytes + 8, 2 * kRowBytes);
    std::memcpy(frame.waveform, bytes + 8 + 2 * kRowBytes, 2 * kRowBytes);
    lastTime_ = time;
    ++read_;
    return true;
}

} // namespace lumacore
