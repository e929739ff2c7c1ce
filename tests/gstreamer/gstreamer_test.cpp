// lumacorevis as a user runs it: gst-launch-1.0 from a WAV file to PNG pictures, each against
// `lumacore render --at` of its moment at the same size and rate; gst-inspect-1.0's listing; a
// pixel format downstream cannot take; the transparent pictures' alpha; playbin's visualiser.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "history/title_banner.h"
#include "play_support.h"
#include "png_reader.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

// gst-launch-1.0 or gst-inspect-1.0 with the plug-in from the build folder and a registry of the
// test's own, so that nothing is written to the home folder.
struct GstRun {
    std::optional<int> exitCode;
    std::string errors;
};

GstRun runGst(const std::string& tool, const std::vector<std::string>& args, const fs::path& folder,
              const fs::path& output = "/dev/null") {
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    const fs::path errors = folder / "gst.stderr";
    ChildProcess child(argv,
                       {{"GST_PLUGIN_PATH", LUMACORE_GST_PLUGIN_DIR},
                        {"GST_REGISTRY", (folder / "registry.bin").string()},
                        {"GST_DEBUG", std::nullopt}},
                       folder, output, errors);
    GstRun run;
    run.exitCode = child.waitExit(60);
    run.errors = fileBytes(errors);
    return run;
}

// The WAV of the tests: a sawtooth on the left and a chirp on the right, 16-bit at 44.1 kHz.
fs::path toneWav(const ScratchDir& scratch) {
    const fs::path wav = scratch.file("tone.wav");
    writeToneWav(wav, 3);
    return wav;
}

struct PictureRow {
    const char* name;
    std::vector<std::string> properties; // lumacorevis's
    std::vector<std::string> render;     // the same display for `lumacore render`
    const char* sound;                   // the caps the element takes the sound in
    int width, height, fps;
    int frame; // the picture compared, k / fps
    bool banner;
};

void PrintTo(const PictureRow& row, std::ostream* out) {
    *out << row.name;
}

class GstPictures : public ::testing::TestWithParam<PictureRow> {};

// The picture at k / fps equals render's still of that moment, outside the banner strip (its text
// is drawn alike, its title is not: render names the file).
TEST_P(GstPictures, EqualRenderAtTheirMoment) {
    const PictureRow& row = GetParam();
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    fs::create_directory(scratch.file("frames"));
    std::vector<std::string> pipeline{"-q",
                                      "filesrc",
                                      "location=" + wav.string(),
                                      "!",
                                      "decodebin",
                                      "!",
                                      "audioconvert",
                                      "!",
                                      row.sound,
                                      "!",
                                      "lumacorevis"};
    pipeline.insert(pipeline.end(), row.properties.begin(), row.properties.end());
    const std::vector<std::string> tail{"!",
                                        "video/x-raw,width=" + std::to_string(row.width) +
                                            ",height=" + std::to_string(row.height) +
                                            ",framerate=" + std::to_string(row.fps) + "/1",
                                        "!",
                                        "videoconvert",
                                        "!",
                                        "pngenc",
                                        "!",
                                        "multifilesink",
                                        "location=" + scratch.file("frames/%04d.png")};
    pipeline.insert(pipeline.end(), tail.begin(), tail.end());
    const GstRun run = runGst("gst-launch-1.0", pipeline, scratch.file(""));
    ASSERT_EQ(run.exitCode, 0) << run.errors;

    char name[16];
    std::snprintf(name, sizeof name, "%04d.png", row.frame);
    const std::optional<Picture> ours = readPng(fs::path(scratch.file("frames")) / name);
    ASSERT_TRUE(ours) << "no picture " << name;

    char at[32];
    std::snprintf(at, sizeof at, "%.17g", static_cast<double>(row.frame) / row.fps);
    std::vector<std::string> render{"render",
                                    wav.string(),
                                    "-q",
                                    "-o",
                                    scratch.file("still.png"),
                                    "--size",
                                    std::to_string(row.width) + "x" + std::to_string(row.height),
                                    "--fps",
                                    std::to_string(row.fps),
                                    "--at",
                                    at};
    render.insert(render.end(), row.render.begin(), row.render.end());
    const ProgramRun still = runLumacore(render, scratch.file(""));
    ASSERT_EQ(still.exitCode, 0) << still.errors;
    const std::optional<Picture> theirs = readPng(scratch.file("still.png"));
    ASSERT_TRUE(theirs);
    ASSERT_EQ(ours->width, theirs->width);
    ASSERT_EQ(ours->height, theirs->height);

    const int rows = row.banner ? bannerTop(row.height) : row.height;
    const std::size_t bytes = 3 * static_cast<std::size_t>(row.width) * rows;
    const auto differ =
        std::mismatch(ours->rgb.begin(), ours->rgb.begin() + bytes, theirs->rgb.begin());
    EXPECT_TRUE(differ.first == ours->rgb.begin() + bytes)
        << "first difference at pixel " << (differ.first - ours->rgb.begin()) / 3;
}

INSTANTIATE_TEST_SUITE_P(Displays, GstPictures,
                         ::testing::Values(PictureRow{"History2dS16",
                                                      {"mode=2d"},
                                                      {"--mode", "2d"},
                                                      "audio/x-raw,format=S16LE",
                                                      320,
                                                      200,
                                                      25,
                                                      50,
                                                      true},
                                           PictureRow{"History3dF32",
                                                      {"mode=3d", "brightness=1.5"},
                                                      {"--mode", "3d", "--brightness", "1.5"},
                                                      "audio/x-raw,format=F32LE",
                                                      400,
                                                      240,
                                                      60,
                                                      130,
                                                      true},
                                           PictureRow{"Scope",
                                                      {"module=scope"},
                                                      {"--module", "scope"},
                                                      "audio/x-raw,format=F32LE",
                                                      289,
                                                      257,
                                                      30,
                                                      45,
                                                      false},
                                           PictureRow{"VuMeter",
                                                      {"module=vu"},
                                                      {"--module", "vu"},
                                                      "audio/x-raw,format=S16LE",
                                                      289,
                                                      257,
                                                      30,
                                                      80,
                                                      false}),
                         [](const ::testing::TestParamInfo<PictureRow>& info) {
                             return info.param.name;
                         });

TEST(GstElement, InspectListsItsProperties) {
    ScratchDir scratch;
    const GstRun run =
        runGst("gst-inspect-1.0", {"lumacorevis"}, scratch.file(""), scratch.file("inspect.txt"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const std::string listing = fileBytes(scratch.file("inspect.txt"));
    EXPECT_NE(listing.find("Visualization"), std::string::npos);
    for (const char* property : {"module", "mode", "brightness", "title", "transparent"})
        EXPECT_NE(listing.find(std::string("  ") + property + " "), std::string::npos) << property;
}

// Downstream takes RGBA only, while opaque pictures are BGRx: one clear line, no pictures.
TEST(GstElement, UnmakeableFormatFailsNegotiationClearly) {
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    const GstRun run =
        runGst("gst-launch-1.0",
               {"filesrc", "location=" + wav.string(), "!", "decodebin", "!", "audioconvert", "!",
                "lumacorevis", "!", "video/x-raw,format=RGBA", "!", "fakesink"},
               scratch.file(""));
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.errors.find("lumacorevis cannot make the pictures asked for downstream"),
              std::string::npos)
        << run.errors;
}

// transparent=true: RGBA whose every byte, alpha included, is render --transparent's PNG.
TEST(GstElement, TransparentPicturesCarryRendersAlpha) {
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    fs::create_directory(scratch.file("frames"));
    const GstRun run =
        runGst("gst-launch-1.0",
               {"-q", "filesrc", "location=" + wav.string(), "!", "decodebin", "!", "audioconvert",
                "!", "lumacorevis", "transparent=true", "mode=2d", "title=\"\"", "!",
                "video/x-raw,width=320,height=200,framerate=25/1", "!", "pngenc", "!",
                "multifilesink", "location=" + scratch.file("frames/%04d.png")},
               scratch.file(""));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const ProgramRun still = runLumacore(
        {"render", wav.string(), "-q", "-o", scratch.file("still.png"), "--size", "320x200",
         "--fps", "25", "--at", "1.6", "--mode", "2d", "--transparent", "--title", ""},
        scratch.file(""));
    ASSERT_EQ(still.exitCode, 0) << still.errors;
    const auto ours = lumacore::test::decodePng(fileBytes(scratch.file("frames/0040.png")));
    const auto theirs = lumacore::test::decodePng(fileBytes(scratch.file("still.png")));
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(ours->colourType, 6);
    EXPECT_EQ(ours->alpha, theirs->alpha);
    EXPECT_EQ(ours->rgb, theirs->rgb);
    EXPECT_TRUE(std::any_of(ours->alpha.begin(), ours->alpha.end(), [](auto a) { return a == 0; }));
}

// playbin's visualiser: the pictures of the file's sound reach the video sink.
TEST(GstElement, DrawsAsPlaybinsVisualiser) {
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    fs::create_directory(scratch.file("frames"));
    const GstRun run = runGst("gst-launch-1.0",
                              {"-q", "playbin", "uri=file://" + wav.string(), "flags=0x1a",
                               "vis-plugin=lumacorevis",
                               "video-sink=videoconvert ! pngenc ! multifilesink location=" +
                                   scratch.file("frames/%04d.png"),
                               "audio-sink=fakesink sync=false"},
                              scratch.file(""));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(fs::exists(scratch.file("frames/0010.png")));
}

} // namespace
} // namespace lumacore::cli::test
