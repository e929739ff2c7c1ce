// Faults only the program as a whole shows, run as a user would run it: damaged input files and
// a reader that goes away must end in a clear exit status and exactly the lines a user should
// see; and titles tagged in UTF-8 must reach the banner strip as the characters they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "audio_test_support.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ProgramRun {
    int status = -1;    // the program's exit status, 128 + n when signal n ended it
    std::string errors; // its standard error
};

// Runs lumacore with `args` in `dir`; its standard output goes to `output` (a shell command it
// is piped into, or a redirection).
ProgramRun lumacore(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::string& output = ">/dev/null") {
    std::string command = quoted(LUMACORE_PROGRAM);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    const std::string errors = dir.file("stderr.txt"), status = dir.file("status.txt");
    const std::string script =
        "{ " + command + " 2>" + quoted(errors) + "; echo $? >" + quoted(status) + "; } " + output;
    EXPECT_EQ(std::system(script.c_str()), 0) << script;
    ProgramRun run;
    run.errors = readText(errors);
    run.status = std::atoi(readText(status).c_str());
    return run;
}

// Six seconds of a sine as `name`, made by the ffmpeg tool with `encoder`.
std::string sineFile(const ScratchDir& dir, const std::string& name, const char* encoder,
                     const std::vector<std::string>& extra = {}) {
    const std::string path = dir.file(name);
    std::vector<std::string> args = {"-f",   "lavfi", "-i", "sine=frequency=660:d=6",
                                     "-c:a", encoder};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(path);
    EXPECT_TRUE(runFfmpegTool(args));
    return path;
}

struct FaultRow {
    const char* name;
    const char* encoder; // needed to make the input, or nullptr
    // Makes the input in the folder; returns the program's arguments.
    std::function<std::vector<std::string>(const ScratchDir&, const char*)> make;
    const char* output; // where standard output goes
    int status;
    const char* says; // the whole of standard error, as a regular expression
};

std::string faultName(const ::testing::TestParamInfo<FaultRow>& info) {
    return info.param.name;
}

class FilesAndSignals : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FilesAndSignals, EndWithTheRightStatusAndOneLine) {
    const FaultRow& row = GetParam();
    if (row.encoder && !haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool to make the input";
    if (row.encoder && !haveEncoder(row.encoder)) GTEST_SKIP() << "no " << row.encoder;
    ScratchDir dir;
    const std::vector<std::string> args = row.make(dir, row.encoder);
    const ProgramRun run = lumacore(dir, args, row.output);
    EXPECT_EQ(run.status, row.status) << run.errors;
    EXPECT_TRUE(std::regex_match(run.errors, std::regex(row.says))) << run.errors;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FilesAndSignals,
    ::testing::Values(
        // 64 bytes of a packet overwritten: the render goes on, and says what it skipped.
        FaultRow{"damaged_mp3_renders", "libmp3lame",
                 [](const ScratchDir& dir, const char* encoder) {
                     const std::string path = sineFile(dir, "damaged.mp3", encoder);
                     damage(path, 0.5, 64);
                     return std::vector<std::string>{"render", path, "-o", "null", "-q"};
                 },
                 ">/dev/null", 0,
                 "lumacore: .*/damaged\\.mp3: skipped [0-9.]+ s of damaged audio \\(the first "
                 "at [0-9.]+ s\\), played as silence\n"},
        // Nothing in it decodes: the one line of a failure.
        FaultRow{"undecodable_flac_fails", "flac",
                 [](const ScratchDir& dir, const char* encoder) {
                     const std::string path = sineFile(dir, "hopeless.flac", encoder);
                     const std::size_t size = readText(path).size();
                     damage(path, 8400.0 / size, size);
                     return std::vector<std::string>{"render", path, "-o", "null", "-q"};
                 },
                 ">/dev/null", 1, "lumacore: .*/hopeless\\.flac: [^\n]+\n"},
        // The reader of raw frames stops after ten bytes: a write error, not death by SIGPIPE.
        FaultRow{"raw_frames_into_a_closed_pipe", nullptr,
                 [](const ScratchDir&, const char*) {
                     return std::vector<std::string>{"render", "-o",         "-", "--size",
                                                     "64x48",  "--duration", "5", "-q"};
                 },
                 "| head -c 10 >/dev/null", 1,
                 "lumacore: cannot write raw frames: the reader went away\n"}),
    faultName);

// A file tagged "Motörhead" / "Café" shows those characters in the banner strip: its picture is
// the one `--title` gives with the same words; and as "ö" and "é" are as wide as "o" and "e",
// its text ends where "Motorhead - Cafe" ends (the UTF-8 bytes read as Windows-1252,
// "MotÃ¶rhead - CafÃ©", run further), differing only in the accented letters.
TEST(BannerTitle, TagsInUtf8ShowTheirCharacters) {
    if (!haveFfmpegTool() || !haveEncoder("flac")) GTEST_SKIP() << "no ffmpeg tool or flac";
    ScratchDir dir;
    const std::string tagged =
        sineFile(dir, "tagged.flac", "flac",
                 {"-metadata", "artist=Mot\xC3\xB6rhead", "-metadata", "title=Caf\xC3\xA9"});
    const std::string plain = sineFile(dir, "plain.flac", "flac");
    constexpr int kWidth = 240, kHeight = 160;
    constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * 4;
    // The picture at 4 s, when the banner is drawn, as raw RGBA.
    const auto picture = [&](const std::string& input, const std::vector<std::string>& extra) {
        std::vector<std::string> args = {
            "render",     input,
            "-o",         "-",
            "--fps",      "4",
            "--duration", "4.1",
            "--size",     std::to_string(kWidth) + "x" + std::to_string(kHeight),
            "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProgramRun run = lumacore(dir, args, ">" + quoted(dir.file("frames.rgba")));
        EXPECT_EQ(run.status, 0) << run.errors;
        const std::string frames = readText(dir.file("frames.rgba"));
        EXPECT_EQ(frames.size(), 17 * kFrameBytes);
        return frames.size() < kFrameBytes ? std::string()
                                           : frames.substr(frames.size() - kFrameBytes);
    };
    // The columns where two pictures differ, as the first and last (-1, -1: none).
    const auto differing = [&](const std::string& a, const std::string& b) {
        std::pair<int, int> span{-1, -1};
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
            if (a[i] != b[i]) {
                const int x = static_cast<int>(i / 4 % kWidth);
                span.first = span.first < 0 ? x : std::min(span.first, x);
                span.second = std::max(span.second, x);
            }
        return span;
    };
    const std::string fromTags = picture(tagged, {});
    ASSERT_FALSE(fromTags.empty());
    EXPECT_EQ(fromTags, picture(plain, {"--title", "Mot\xC3\xB6rhead - Caf\xC3\xA9"}));
    const std::string unaccented = picture(plain, {"--title", "Motorhead - Cafe"});
    const int textEnds = differing(unaccented, picture(plain, {"--title", ""})).second;
    ASSERT_GT(textEnds, 0) << "no banner text drawn";
    const std::pair<int, int> accents = differing(fromTags, unaccented);
    EXPECT_GE(accents.first, 0) << "the accents are missing";
    EXPECT_LE(accents.second, textEnds) << "the title runs on beyond its letters";
}

} // namespace
} // namespace lumacore::cli::test
