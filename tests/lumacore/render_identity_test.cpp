// `render` and `analyse` write exactly the bytes they wrote before the pipeline became one
// (sample buffer, module runner, clock, picture loop), and before the outputs took the module's
// own pixels (each sink converting only what it needs, on its own thread): each case's output is
// checked against the checksum recorded from the program built from the tree before the change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* output; // "-": standard output; a folder: its files, by name
    std::uint64_t checksum;
    std::size_t bytes;
};

// The bytes of an output: a file's, or a folder's files in name order, each behind its name.
std::string outputBytes(const fs::path& path) {
    if (!fs::is_directory(path)) return fileBytes(path);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string bytes;
    for (const std::string& name : names)
        bytes += name + '\0' + fileBytes(path / name);
    return bytes;
}

TEST(RenderIdentity, OutputsAreByteForByteThoseOfTheEarlierProgram) {
    // In order: the frames files come from the analyse cases before them.
    const Case cases[] = {
        {"history-3d-still",
         {"render", "-q", "--at", "6", "--size", "320x180", "-o", "out.png"},
         "out.png",
         0x4d355431c3c868daull,
         27337},
        {"history-2d-start-duration",
         {"render", "-q", "--mode", "2d", "--size", "96x54", "--fps", "30", "--start", "3",
          "--duration", "2", "-o", "-"},
         "-",
         0x235fcc9e543afb25ull,
         1244160},
        {"history-3d-banners",
         {"render", "-q", "--size", "80x45", "--fps", "15", "--duration", "10", "-o", "-"},
         "-",
         0x3882769fc79d5b26ull,
         2160000},
        {"history-rate-brightness",
         {"render", "-q", "--size", "64x40", "--fps", "24", "--rate", "43", "--start", "0.5",
          "--duration", "3", "--brightness", "1.7", "-o", "-"},
         "-",
         0x0746bb64642775abull,
         737280},
        {"scope",
         {"render", "-q", "--module", "scope", "--fps", "20", "--duration", "1.5", "-o", "-"},
         "-",
         0x5546099262ec1311ull,
         8912760},
        {"vu-scale-start",
         {"render", "-q", "--module", "vu", "--scale", "2", "--fps", "10", "--start", "2",
          "--duration", "2", "-o", "-"},
         "-",
         0x92b6157f84269a6dull,
         23767360},
        {"png-sequence",
         {"render", "-q", "--size", "48x32", "--fps", "4", "--start", "1", "--duration", "3", "-o",
          "seq/"},
         "seq",
         0x2ff1b5f129232552ull,
         5041},
        {"analyse-demo",
         {"analyse", "-o", "demo.lmf", "--rate", "30"},
         "demo.lmf",
         0xacc0d2f8010b0cbfull,
         2080864},
        {"analyse-wav",
         {"analyse", "tone.wav", "-o", "tone.lmf", "--rate", "29.97"},
         "tone.lmf",
         0x43eab8c9fa449107ull,
         485584},
        {"frames-file",
         {"render", "-q", "--frames", "demo.lmf", "--size", "64x36", "--fps", "30", "--start", "2",
          "--duration", "3", "-o", "-"},
         "-",
         0x82964675c38001f9ull,
         829440},
        {"frames-file-still",
         {"render", "-q", "--frames", "demo.lmf", "--module", "scope", "--at", "5", "-o", "f.png"},
         "f.png",
         0xadb4f03e660d79d1ull,
         3542},
        {"wav-start-duration",
         {"render", "-q", "tone.wav", "--size", "72x40", "--fps", "25", "--start", "2.5",
          "--duration", "3", "-o", "-"},
         "-",
         0x7e20d1d3e42d39b5ull,
         864000},
        {"wav-to-end",
         {"render", "-q", "tone.wav", "--module", "vu", "--fps", "12", "--start", "5", "-o", "-"},
         "-",
         0xc7214cc80ef8b801ull,
         7427300},
        {"demo-to-end",
         {"render", "-q", "--size", "32x20", "--fps", "5", "--start", "25", "-o", "-"},
         "-",
         0x7be2cda3c248283aull,
         66560},
        {"wav-still-scale",
         {"render", "-q", "tone.wav", "--at", "4", "--size", "50x30", "--scale", "3", "--mode",
          "2d", "-o", "w.png"},
         "w.png",
         0xdc880acbfd464780ull,
         471},
        {"odd-size-scale3-raw",
         {"render", "-q", "--size", "33x21", "--scale", "3", "--fps", "8", "--start", "4",
          "--duration", "2", "-o", "-"},
         "-",
         0x2d43948c85b77f93ull,
         399168},
        {"sequence-scale2",
         {"render", "-q", "--mode", "2d", "--size", "41x23", "--scale", "2", "--fps", "3",
          "--start", "6", "--duration", "2", "-o", "seq2/"},
         "seq2",
         0xcc3e61da16e713f0ull,
         1086},
        {"scope-scale2-still",
         {"render", "-q", "--module", "scope", "--scale", "2", "--at", "3", "-o", "s.png"},
         "s.png",
         0x2f7fa760f9547b2bull,
         7228},
    };
    ScratchDir scratch;
    const fs::path folder = fs::path(scratch.file("x")).parent_path();
    writeToneWav(folder / "tone.wav", 7);
    ASSERT_EQ(fnv1a(fileBytes(folder / "tone.wav")), 0x691fbb75ad1cfe2full)
        << "the test's sound is not the one the checksums were recorded with";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool raw = std::string(c.output) == "-";
        const ProgramRun run = runLumacore(c.args, folder, raw);
        ASSERT_EQ(run.exitCode, 0) << run.errors;
        const std::string bytes = raw ? run.output : outputBytes(folder / c.output);
        EXPECT_EQ(bytes.size(), c.bytes);
        EXPECT_EQ(fnv1a(bytes), c.checksum);
    }
}

} // namespace
} // namespace lumacore::cli::test
