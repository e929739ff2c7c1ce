// The frames file export: read back with FramesReader it holds exactly the analyser's calls, with
// the rate as an exact fraction; a failed export leaves no file behind and an old one intact.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <set>
#include <stdexcept>

#include "analysis/frames_export.h"
#include "audio_test_support.h"

namespace lumacore::cli::test {
namespace {

TEST(FramesExport, HoldsExactlyTheAnalysersCalls) {
    ScratchDir dir;
    const std::string path = dir.file("song.frames");
    const auto formula = sines(0.4, 700, 0.2, 2500, 48000);
    const double rate = 30000.0 / 1001;
    SignalSource source(100000, formula, 48000);
    writeFramesFile(source, rate, path);

    SignalSource again(100000, formula, 48000);
    const std::vector<Frame> expected = analyseAll(again, rate);
    FramesReader reader(path);
    EXPECT_EQ(reader.header().sampleRate, 48000u);
    EXPECT_EQ(reader.header().frameRate.numerator, 30000u);
    EXPECT_EQ(reader.header().frameRate.denominator, 1001u);
    ASSERT_EQ(reader.header().frameCount, expected.size());
    Frame frame;
    for (const Frame& want : expected) {
        ASSERT_TRUE(reader.next(frame));
        EXPECT_EQ(frame.timeUs, want.timeUs);
        ASSERT_EQ(std::memcmp(frame.spectrum, want.spectrum, sizeof frame.spectrum), 0);
        ASSERT_EQ(std::memcmp(frame.waveform, want.waveform, sizeof frame.waveform), 0);
    }
    EXPECT_FALSE(reader.next(frame));
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
}

struct FractionRow {
    double rate;
    std::uint32_t numerator;
    std::uint32_t denominator;
};

class FrameRateFractionTest : public ::testing::TestWithParam<FractionRow> {};

TEST_P(FrameRateFractionTest, IsExactForCommonRates) {
    const FractionRow row = GetParam();
    const FrameRate fraction = frameRateFraction(row.rate);
    EXPECT_EQ(fraction.numerator, row.numerator) << row.rate;
    EXPECT_EQ(fraction.denominator, row.denominator) << row.rate;
}

INSTANTIATE_TEST_SUITE_P(Rates, FrameRateFractionTest,
                         ::testing::Values(FractionRow{60, 60, 1}, FractionRow{1000, 1000, 1},
                                           FractionRow{30000.0 / 1001, 30000, 1001},
                                           FractionRow{24000.0 / 1001, 24000, 1001},
                                           FractionRow{60000.0 / 1001, 60000, 1001},
                                           FractionRow{12.5, 25, 2}, FractionRow{0.5, 1, 2},
                                           FractionRow{1.0 / 3, 1, 3}, FractionRow{0.01, 1, 100},
                                           FractionRow{2.0 / 7, 2, 7}));

TEST(FramesExport, NearestFractionForOtherRates) {
    for (const double rate : {std::numbers::pi, 10 * std::numbers::e, 23.456789, 0.0123457}) {
        const FrameRate fraction = frameRateFraction(rate);
        ASSERT_LE(fraction.denominator, 10000u);
        const double error =
            std::fabs(static_cast<double>(fraction.numerator) / fraction.denominator - rate);
        // No fraction with a denominator up to 10000 comes closer.
        for (int denominator = 1; denominator <= 10000; ++denominator) {
            const double numerator = std::round(rate * denominator);
            ASSERT_GE(std::fabs(numerator / denominator - rate), error * (1 - 1e-9))
                << rate << " ~ " << numerator << "/" << denominator << " beats "
                << fraction.numerator << "/" << fraction.denominator;
        }
    }
}

// A source that fails part-way, as a damaged file does.
class FailingSource : public SignalSource {
  public:
    FailingSource() : SignalSource(1000000, sines(0.5, 440, 0.5, 440)) {}
    std::size_t read(float* out, std::size_t frames) override {
        if ((read_ += frames) > 50000) throw AudioError("song.mp3: corrupt audio data at 1.13 s");
        return SignalSource::read(out, frames);
    }

  private:
    std::size_t read_ = 0;
};

TEST(FramesExport, AFailureLeavesAnOldFileAsItWas) {
    ScratchDir dir;
    const std::string path = dir.file("song.frames");
    std::ofstream(path) << "the old file";
    FailingSource source;
    EXPECT_THROW(writeFramesFile(source, 60, path), AudioError);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old file");
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
}

TEST(FramesExport, RejectsRatesTheFormatCannotHold) {
    ScratchDir dir;
    const std::string path = dir.file("song.frames");
    SignalSource source(1000, sines(0.5, 440, 0.5, 440));
    EXPECT_THROW(writeFramesFile(source, 0, path), std::invalid_argument);
    EXPECT_THROW(writeFramesFile(source, std::nan(""), path), std::invalid_argument);
    EXPECT_THROW(writeFramesFile(source, 5000, path), FramesError);
    EXPECT_THROW(writeFramesFile(source, 0.001, path), FramesError);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));
}

TEST(FramesExport, NamesTheFileWhenItCannotBeWritten) {
    ScratchDir dir;
    const std::string path = dir.file("no-such-folder/song.frames");
    SignalSource source(1000, sines(0.5, 440, 0.5, 440));
    try {
        writeFramesFile(source, 60, path);
        FAIL() << "no error";
    } catch (const FramesError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(path + ": ", 0), 0u) << error.what();
    }
}

// A file that happens to carry a name like "OUT.partial" is the user's: a finished export and a
// failed one both leave it byte for byte, and nothing but the output is added beside it. (The
// export once wrote through that fixed name, then deleted it.)
TEST(FramesExport, NeverTouchesAnotherFileBesideTheOutput) {
    const struct {
        const char* what;
        bool fails;
        std::set<std::string> after;
    } cases[] = {
        {"finished", false, {"song.frames", "song.frames.partial"}},
        {"failed", true, {"song.frames.partial"}},
    };
    for (const auto& c : cases) {
        ScratchDir dir;
        const std::string path = dir.file("song.frames");
        std::ofstream(path + ".partial") << "the user's own notes";
        if (c.fails) {
            FailingSource source;
            EXPECT_THROW(writeFramesFile(source, 60, path), AudioError) << c.what;
        } else {
            SignalSource source(20000, sines(0.5, 440, 0.5, 440));
            writeFramesFile(source, 60, path);
        }
        std::set<std::string> names;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
            names.insert(entry.path().filename().string());
        EXPECT_EQ(names, c.after) << c.what;
        std::ifstream in(path + ".partial");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's own notes")
            << c.what;
    }
}

} // namespace
} // namespace lumacore::cli::test
