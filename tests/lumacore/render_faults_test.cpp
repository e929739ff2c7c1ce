// The faults of `lumacore render` and `analyse` that a review found, each through the program:
// hostile numbers (options and frames-file time stamps) that once ran without end or converted
// out of range, a --start beyond the input that reported success, and an existing folder named
// like a still that was checked as one and written as a sequence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "frames/frames_file.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

// A valid frames file at 60 frames per second whose last frame is stamped `lastUs`.
void writeFramesWithLastStamp(const fs::path& path, std::uint64_t lastUs) {
    FramesWriter writer(path.string(), 44100, {60, 1});
    Frame frame;
    for (int n = 0; n < 2; ++n) {
        frame.timeUs = n == 1 ? lastUs : 0;
        writer.append(frame);
    }
    writer.finish();
}

TEST(RenderFaults, HostileNumbersGetOneLineAndNothingElse) {
    ScratchDir scratch;
    const fs::path folder = fs::path(scratch.file("x")).parent_path();
    writeToneWav(folder / "tone.wav", 2);
    writeFramesWithLastStamp(folder / "far.lmf", 18446744073709551000ull); // near 2^64 us
    writeFramesWithLastStamp(folder / "late.lmf", 3'000'000'000ull);       // 50 min in 2 frames
    writeFramesWithLastStamp(folder / "short.lmf", 16'667);                // 2 frames, 1/30 s
    const struct {
        std::vector<std::string> args;
        std::string mentions;
    } cases[] = {
        {{"render", "--rate", "1e-300", "-o", "null"}, "--rate"},
        {{"render", "--rate", "1e300", "-o", "null"}, "--rate"},
        {{"render", "--fps", "1e-300", "-o", "null"}, "--fps"},
        {{"render", "--duration", "1e300", "-o", "null"}, "--duration"},
        {{"render", "--duration", "-1", "-o", "null"}, "--duration"},
        {{"render", "--duration", "-0.5", "-o", "null"}, "--duration"},
        {{"render", "--duration", "0", "-o", "null"}, "--duration"},
        {{"render", "--start", "1e300", "-o", "null"}, "--start"},
        {{"render", "--at", "1e300", "-o", "a.png"}, "--at"},
        {{"render", "--start", "40", "-o", "null"}, "--start"},
        {{"render", "tone.wav", "--start", "2.5", "-o", "null"}, "--start"},
        {{"render", "--frames", "short.lmf", "--start", "1", "-o", "null"}, "--start"},
        {{"render", "--frames", "far.lmf", "-o", "null"}, "far.lmf"},
        {{"render", "--frames", "far.lmf", "-o", "-"}, "far.lmf"},
        {{"render", "--frames", "late.lmf", "-o", "null"}, "late.lmf"},
        {{"analyse", "--rate", "1e-300", "-o", "x.lmf"}, "--rate"},
        {{"analyse", "--rate", "1e300", "-o", "x.lmf"}, "--rate"},
    };
    const std::vector<std::string> before = entriesUnder(folder);
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        const ProgramRun run = runLumacore(c.args, folder, true, 20);
        EXPECT_EQ(run.exitCode, 1) << run.errors; // not killed by the time limit, not crashed
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        EXPECT_LE(run.output.size(), 64u * 1024 * 1024) << "wrote without end";
        EXPECT_EQ(entriesUnder(folder), before) << "left something behind";
    }
}

TEST(RenderFaults, AnExistingFolderNamedLikeAStillIsWrittenAsTheSequenceItIs) {
    ScratchDir scratch;
    const fs::path folder = fs::path(scratch.file("x")).parent_path();
    fs::create_directories(folder / "x.png");
    // A still's check would refuse --at before --start; a sequence has no --at.
    const ProgramRun run = runLumacore({"render", "-q", "--size", "16x16", "--fps", "4", "--start",
                                        "2", "--duration", "1", "-o", "x.png"},
                                       folder);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(entriesUnder(folder / "x.png"),
              (std::vector<std::string>{"frame-000001.png", "frame-000002.png", "frame-000003.png",
                                        "frame-000004.png"}));
}

} // namespace
} // namespace lumacore::cli::test
