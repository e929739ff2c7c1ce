#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "draw_scripts.h"
#include "frames/frames_file.h"

namespace lumacore {
namespace {

std::vector<Frame> randomFrames(int count, std::uint64_t seed) {
    testing::Random random(seed);
    std::vector<Frame> frames(count);
    std::uint64_t time = random.next() % 1000;
    for (Frame& frame : frames) {
        frame.timeUs = time;
        time += random.between(0, 40000); // equal times are allowed
        for (auto* rows : {&frame.spectrum, &frame.waveform})
            for (auto& row : *rows)
                for (unsigned char& value : row)
                    value = static_cast<unsigned char>(random.next());
    }
    return frames;
}

std::string encode(const std::vector<Frame>& frames, std::uint32_t sampleRate = 44100,
                   FrameRate rate = {60, 1}) {
    std::stringstream out;
    FramesWriter writer(out, sampleRate, rate);
    for (const Frame& frame : frames)
        writer.append(frame);
    writer.finish();
    return out.str();
}

bool sameFrame(const Frame& a, const Frame& b) {
    return a.timeUs == b.timeUs && std::memcmp(a.spectrum, b.spectrum, sizeof a.spectrum) == 0 &&
           std::memcmp(a.waveform, b.waveform, sizeof a.waveform) == 0;
}

// A stream that cannot seek, like a pipe: the reader has to find length faults as it goes.
class OneWayBuffer : public std::streambuf {
  public:
    explicit OneWayBuffer(std::string bytes) : bytes_(std::move(bytes)) {
        setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
    }

  private:
    std::string bytes_;
};

// Reads every frame; returns the error message, or "" when the data was accepted.
std::string readAll(std::istream& in, std::vector<Frame>* frames = nullptr) {
    try {
        FramesReader reader(in);
        Frame frame;
        while (reader.next(frame))
            if (frames) frames->push_back(frame);
        return "";
    } catch (const FramesError& error) {
        return error.what();
    }
}

void putU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

TEST(FramesFile, RoundTripsThroughStreamsAndFiles) {
    const struct {
        std::uint32_t sampleRate;
        FrameRate rate;
        int frames;
    } cases[] = {{44100, {60, 1}, 0},
                 {48000, {30000, 1001}, 1},
                 {8000, {1, 100}, 7},
                 {1000000, {1000, 1}, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        const std::vector<Frame> frames = randomFrames(c.frames, c.frames + 1);
        const std::string bytes = encode(frames, c.sampleRate, c.rate);
        ASSERT_EQ(bytes.size(), kFramesHeaderSize + c.frames * kFrameRecordSize);

        for (const bool seekable : {true, false}) {
            OneWayBuffer oneWay(bytes);
            std::istringstream stringStream(bytes);
            std::istream oneWayStream(&oneWay);
            std::istream& in = seekable ? static_cast<std::istream&>(stringStream) : oneWayStream;
            FramesReader reader(in);
            EXPECT_EQ(reader.header().sampleRate, c.sampleRate);
            EXPECT_EQ(reader.header().frameRate.numerator, c.rate.numerator);
            EXPECT_EQ(reader.header().frameRate.denominator, c.rate.denominator);
            EXPECT_EQ(reader.header().frameCount, static_cast<std::uint32_t>(c.frames));
            Frame frame;
            for (const Frame& expected : frames) {
                ASSERT_TRUE(reader.next(frame));
                EXPECT_TRUE(sameFrame(frame, expected)) << reader.framesRead();
            }
            EXPECT_FALSE(reader.next(frame));
            EXPECT_FALSE(reader.next(frame)); // the end stays the end
            EXPECT_EQ(reader.framesRead(), static_cast<std::uint32_t>(c.frames));
        }
    }

    // Through a real file, with the count patched by the destructor.
    const auto path =
        (std::filesystem::temp_directory_path() / "lumacore_frames_test.lmcf").string();
    const std::vector<Frame> frames = randomFrames(5, 99);
    {
        FramesWriter writer(path, 22050, {25, 1});
        for (const Frame& frame : frames)
            writer.append(frame);
        EXPECT_EQ(writer.frameCount(), 5u);
    }
    FramesReader reader(path);
    EXPECT_EQ(reader.header().sampleRate, 22050u);
    Frame frame;
    for (const Frame& expected : frames) {
        ASSERT_TRUE(reader.next(frame));
        EXPECT_TRUE(sameFrame(frame, expected));
    }
    EXPECT_FALSE(reader.next(frame));
    std::remove(path.c_str());
}

TEST(FramesFile, LayoutIsLittleEndianAsDocumented) {
    std::vector<Frame> frames = randomFrames(2, 5);
    frames[1].timeUs = 0x0102030405060708ull;
    frames[1].spectrum[1][0] = 0xAB;
    frames[1].waveform[0][575] = 0xCD;
    const std::string bytes = encode(frames, 0x0000AC44, {30000, 1001});
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    EXPECT_EQ(bytes.substr(0, 8), "LMCFRAMS");
    EXPECT_EQ(at(8), 1);
    EXPECT_EQ(at(12), 0x44);
    EXPECT_EQ(at(13), 0xAC);
    EXPECT_EQ(at(16) | at(17) << 8, 30000);
    EXPECT_EQ(at(20) | at(21) << 8, 1001);
    EXPECT_EQ(at(24), 2);
    for (std::size_t i = 28; i < 64; ++i)
        EXPECT_EQ(at(i), 0) << i;
    const std::size_t second = kFramesHeaderSize + kFrameRecordSize;
    EXPECT_EQ(at(second), 0x08);
    EXPECT_EQ(at(second + 7), 0x01);
    EXPECT_EQ(at(second + 8 + 576), 0xAB);
    EXPECT_EQ(at(second + 8 + 2 * 576 + 575), 0xCD);
}

TEST(FramesFile, DamagedDataGivesOneLineErrors) {
    const std::string good = encode(randomFrames(3, 7));
    const std::size_t frameAt = kFramesHeaderSize;
    using Edit = std::function<void(std::string&)>;
    const struct {
        const char* what;
        Edit edit;
        const char* seekableError;
        const char* streamedError; // where a stream that cannot seek finds it later or otherwise
    } cases[] = {
        {"empty", [](std::string& b) { b.clear(); }, "empty file", nullptr},
        {"bad magic", [](std::string& b) { b[3] = 'X'; }, "bad magic", nullptr},
        {"other file", [](std::string& b) { b = "GIF89a"; }, "bad magic", nullptr},
        {"magic only", [](std::string& b) { b.resize(5); }, "truncated header (5 of 64", nullptr},
        {"short header", [](std::string& b) { b.resize(40); }, "truncated header (40", nullptr},
        {"version 2", [](std::string& b) { putU32(b, 8, 2); }, "format version 2", nullptr},
        {"version 0", [](std::string& b) { putU32(b, 8, 0); }, "format version 0", nullptr},
        {"reserved", [](std::string& b) { b[63] = 1; }, "reserved header byte 63", nullptr},
        {"rate 0 Hz", [](std::string& b) { putU32(b, 12, 0); }, "sample rate 0 Hz", nullptr},
        {"rate huge", [](std::string& b) { putU32(b, 12, 0xFFFFFFFF); }, "sample rate", nullptr},
        {"fps 0", [](std::string& b) { putU32(b, 16, 0); }, "frame rate 0/1 has a zero", nullptr},
        {"fps /0", [](std::string& b) { putU32(b, 20, 0); }, "frame rate 60/0 has a zero", nullptr},
        {"fps high", [](std::string& b) { putU32(b, 16, 5000); }, "frame rate 5000/1 is", nullptr},
        {"fps low", [](std::string& b) { putU32(b, 20, 10000); }, "frame rate 60/10000", nullptr},
        {"unfinished", [](std::string& b) { putU32(b, 24, 0xFFFFFFFF); }, "never finished",
         nullptr},
        {"absurd count", [](std::string& b) { putU32(b, 24, 0x7FFFFFFF); }, "above the limit",
         nullptr},
        {"count high", [](std::string& b) { putU32(b, 24, 4); },
         "counts 4 frames (9248 bytes) but 6936", "truncated frame 3 (0 of 2312"},
        {"count low", [](std::string& b) { putU32(b, 24, 2); }, "counts 2 frames",
         "data after the last of 2 frames"},
        {"cut frame", [](std::string& b) { b.resize(b.size() - 10); }, "but 6926 bytes",
         "truncated frame 2 (2302 of 2312"},
        {"extra byte", [](std::string& b) { b.push_back('\0'); }, "but 6937 bytes",
         "data after the last of 3 frames"},
        {"time back", [&](std::string& b) { b[frameAt + kFrameRecordSize + 5] = 1; },
         "frame 2 goes back in time", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.edit(bytes);
        std::istringstream seekable(bytes);
        const std::string error = readAll(seekable);
        EXPECT_NE(error.find(c.seekableError), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(error.rfind("frames data: ", 0), 0u) << error; // names its source

        OneWayBuffer buffer(bytes);
        std::istream streamed(&buffer);
        const std::string streamedError = readAll(streamed);
        const char* expected = c.streamedError ? c.streamedError : c.seekableError;
        EXPECT_NE(streamedError.find(expected), std::string::npos) << streamedError;
    }
}

TEST(FramesFile, WriterRefusesWhatAReaderWouldReject) {
    const struct {
        const char* what;
        std::uint32_t sampleRate;
        FrameRate rate;
        const char* error;
    } headers[] = {
        {"slow audio", 999, {60, 1}, "sample rate 999 Hz"},
        {"zero fps", 44100, {0, 1}, "zero term"},
        {"too fast", 44100, {1001, 1}, "outside"},
    };
    for (const auto& h : headers) {
        std::stringstream out;
        try {
            FramesWriter writer(out, h.sampleRate, h.rate);
            ADD_FAILURE() << h.what << " accepted";
        } catch (const FramesError& error) {
            EXPECT_NE(std::string(error.what()).find(h.error), std::string::npos) << error.what();
        }
        EXPECT_TRUE(out.str().empty()) << h.what; // nothing written for a refused header
    }

    std::stringstream out;
    FramesWriter writer(out, 44100, {60, 1});
    std::vector<Frame> frames = randomFrames(2, 3);
    frames[1].timeUs = frames[0].timeUs - 1;
    writer.append(frames[0]);
    EXPECT_THROW(writer.append(frames[1]), FramesError);

    // Until it finishes, the file says it is unfinished rather than pass for a short one.
    std::istringstream partial(out.str());
    EXPECT_NE(readAll(partial).find("never finished"), std::string::npos);

    writer.finish();
    EXPECT_THROW(writer.append(frames[0]), FramesError);
    std::vector<Frame> back;
    std::istringstream finished(out.str());
    EXPECT_EQ(readAll(finished, &back), "");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_TRUE(sameFrame(back[0], frames[0]));
}

} // namespace
} // namespace lumacore
