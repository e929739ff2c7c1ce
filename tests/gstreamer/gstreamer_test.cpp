// lumacorevis as a user runs it: gst-launch-1.0 from a WAV file to PNG pictures, each against
// `lumacore render --at` of its moment at the same size and rate; gst-inspect-1.0's listing; a
// pixel format downstream cannot take; playbin's visualiser; a seek.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "child_process.h"
#include "history/title_banner.h"
#include "png_reader.h"
#include "program_support.h"

namespace lumacore::cli::test {
namespace {

namespace fs = std::filesystem;

// The arguments of `line`, split at its spaces; a word in double quotes keeps its spaces.
std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> all;
    for (std::string word; in >> std::quoted(word);)
        all.push_back(word);
    return all;
}

struct GstRun {
    std::optional<int> exitCode;
    std::string errors;
};

// A GStreamer tool with the plug-in from the build folder and a registry in the test's scratch
// folder, so that nothing is written to the home folder.
GstRun runGst(const std::string& command, const ScratchDir& scratch,
              const fs::path& output = "/dev/null") {
    const fs::path errors = scratch.file("gst.stderr");
    ChildProcess child(words(command),
                       {{"GST_PLUGIN_PATH", LUMACORE_GST_PLUGIN_DIR},
                        {"GST_REGISTRY", scratch.file("registry.bin")},
                        {"GST_DEBUG", std::nullopt}},
                       scratch.file(""), output, errors);
    return {child.waitExit(60), fileBytes(errors)};
}

// The sound of the tests: a sawtooth on the left and a chirp on the right, 16-bit at 44.1 kHz.
fs::path toneWav(const ScratchDir& scratch) {
    const fs::path wav = scratch.file("tone.wav");
    writeToneWav(wav, 5);
    return wav;
}

// A PNG file's pixels; nullopt when it cannot be read.
std::optional<lumacore::test::DecodedPng> png(const fs::path& path) {
    return lumacore::test::decodePng(fileBytes(path));
}

// `lumacore render WAV ARGS -o still.png`'s picture.
std::optional<lumacore::test::DecodedPng>
renderStill(const ScratchDir& scratch, const fs::path& wav, const std::string& args) {
    std::vector<std::string> all{"render", wav.string(), "-q", "-o", scratch.file("still.png")};
    for (std::string& word : words(args))
        all.push_back(std::move(word));
    const ProgramRun run = runLumacore(all, scratch.file(""));
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    return png(scratch.file("still.png"));
}

// Whether the first `rows` rows of two pictures of one size are the same, alpha included.
bool sameAbove(const lumacore::test::DecodedPng& ours, const lumacore::test::DecodedPng& theirs,
               int rows) {
    const auto pixels = static_cast<std::ptrdiff_t>(ours.width) * rows;
    return ours.width == theirs.width && ours.height == theirs.height &&
           ours.colourType == theirs.colourType &&
           std::equal(ours.rgb.begin(), ours.rgb.begin() + 3 * pixels, theirs.rgb.begin()) &&
           (ours.alpha.empty() ||
            std::equal(ours.alpha.begin(), ours.alpha.begin() + pixels, theirs.alpha.begin()));
}

struct PictureRow {
    const char* name;
    const char* properties; // lumacorevis's
    const char* render;     // the same display for `lumacore render`
    const char* sound;      // what the sound goes through last (its caps, tags)
    int width, height, fps;
    int frame;   // the picture compared, k / fps
    bool banner; // compared too
};

void PrintTo(const PictureRow& row, std::ostream* out) {
    *out << row.name;
}

class GstPictures : public ::testing::TestWithParam<PictureRow> {};

// The picture at k / fps equals render's still of that moment; outside the banner strip where
// render's title is the file's name and the element's is empty.
TEST_P(GstPictures, EqualRenderAtTheirMoment) {
    const PictureRow& row = GetParam();
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    fs::create_directory(scratch.file("frames"));
    const std::string size = std::to_string(row.width) + "x" + std::to_string(row.height);
    const GstRun run = runGst(
        "gst-launch-1.0 -q filesrc location=" + wav.string() + " ! decodebin ! audioconvert ! " +
            row.sound + " ! lumacorevis " + row.properties +
            " ! video/x-raw,width=" + std::to_string(row.width) +
            ",height=" + std::to_string(row.height) + ",framerate=" + std::to_string(row.fps) +
            "/1 ! videoconvert ! pngenc ! multifilesink location=" +
            scratch.file("frames/%04d.png"),
        scratch);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    char name[16], at[32];
    std::snprintf(name, sizeof name, "%04d.png", row.frame);
    std::snprintf(at, sizeof at, "%.17g", static_cast<double>(row.frame) / row.fps);
    const auto ours = png(fs::path(scratch.file("frames")) / name);
    ASSERT_TRUE(ours) << "no picture " << name;
    const auto theirs = renderStill(scratch, wav,
                                    "--size " + size + " --fps " + std::to_string(row.fps) +
                                        " --at " + at + " " + row.render);
    ASSERT_TRUE(theirs);
    EXPECT_TRUE(sameAbove(*ours, *theirs, row.banner ? row.height : bannerTop(row.height)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Displays, GstPictures, ::testing::Values(
    PictureRow{"History2dS16", "mode=2d", "--mode 2d", "audio/x-raw,format=S16LE",
               320, 200, 25, 50, false},
    PictureRow{"History3dF32", "mode=3d brightness=1.5", "--mode 3d --brightness 1.5",
               "audio/x-raw,format=F32LE", 400, 240, 60, 130, false},
    PictureRow{"Scope", "module=scope", "--module scope", "audio/x-raw,format=F32LE",
               289, 257, 30, 45, true},
    PictureRow{"VuMeter", "module=vu", "--module vu", "audio/x-raw,format=S16LE",
               289, 257, 30, 80, true},
    // RGBA whose every byte, alpha included, is render --transparent's PNG, banner and all.
    PictureRow{"Transparent", "transparent=true mode=2d title=_", "--mode 2d --transparent --title _",
               "audio/x-raw,format=F32LE", 320, 200, 25, 110, true},
    // The banner too, after its first tick: its title comes from the stream's tags.
    PictureRow{"HistoryTitleFromTags", "mode=2d", "--mode 2d --title \"Lumacore - Banner\"",
               "taginject tags=artist=Lumacore,title=Banner", 320, 200, 25, 110, true}),
    [](const ::testing::TestParamInfo<PictureRow>& info) { return info.param.name; });
// clang-format on

struct LaunchRow {
    const char* name;
    const char* command; // {wav}: the tone's file, {out}: a file in the scratch folder
    bool succeeds;
    const char* said; // in the tool's output, or its errors when it fails
    bool pictures;    // {out} is a picture afterwards
};

void PrintTo(const LaunchRow& row, std::ostream* out) {
    *out << row.name;
}

class GstLaunch : public ::testing::TestWithParam<LaunchRow> {};

TEST_P(GstLaunch, Runs) {
    const LaunchRow& row = GetParam();
    ScratchDir scratch;
    std::string command = row.command;
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"{wav}", toneWav(scratch)},
          {"{out}", scratch.file("out")}})
        for (std::size_t at; (at = command.find(name)) != std::string::npos;)
            command.replace(at, name.size(), value);
    const GstRun run = runGst(command, scratch, scratch.file("said.txt"));
    EXPECT_EQ(run.exitCode == 0, row.succeeds) << run.errors;
    const std::string said = fileBytes(scratch.file("said.txt")) + run.errors;
    for (const std::string& line : words(row.said))
        EXPECT_NE(said.find(line), std::string::npos) << line << " in: " << said;
    EXPECT_EQ(png(scratch.file("out")).has_value(), row.pictures);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Element, GstLaunch, ::testing::Values(
    LaunchRow{"InspectListsItsProperties", "gst-inspect-1.0 lumacorevis", true,
              "Visualization \"  module \" \"  mode \" \"  brightness \" \"  title \" "
              "\"  transparent \"", false},
    // Downstream takes RGBA only, while opaque pictures are BGRx: one clear line, no pictures.
    LaunchRow{"UnmakeableFormatFailsNegotiationClearly",
              "gst-launch-1.0 filesrc location={wav} ! decodebin ! audioconvert ! lumacorevis ! "
              "video/x-raw,format=RGBA ! fakesink", false,
              "\"lumacorevis cannot make the pictures asked for downstream\"", false},
    // Mono, six channels, 8 kHz and 192 kHz: each resampled to stereo at 44.1 kHz and drawn.
    LaunchRow{"Mono", "gst-launch-1.0 -q filesrc location={wav} ! decodebin ! audioconvert ! "
              "audio/x-raw,channels=1 ! lumacorevis ! videoconvert ! pngenc snapshot=true ! "
              "filesink location={out}", true, "", true},
    LaunchRow{"SixChannels", "gst-launch-1.0 -q filesrc location={wav} ! decodebin ! "
              "audioconvert ! audio/x-raw,channels=6 ! lumacorevis ! videoconvert ! "
              "pngenc snapshot=true ! filesink location={out}", true, "", true},
    LaunchRow{"Rate8kHz", "gst-launch-1.0 -q filesrc location={wav} ! decodebin ! audioconvert ! "
              "audioresample ! audio/x-raw,rate=8000 ! lumacorevis ! videoconvert ! "
              "pngenc snapshot=true ! filesink location={out}", true, "", true},
    LaunchRow{"Rate192kHz", "gst-launch-1.0 -q filesrc location={wav} ! decodebin ! "
              "audioconvert ! audioresample ! audio/x-raw,rate=192000 ! lumacorevis ! "
              "videoconvert ! pngenc snapshot=true ! filesink location={out}", true, "", true},
    // playbin's visualiser: the pictures of the file's sound reach the video sink.
    LaunchRow{"DrawsAsPlaybinsVisualiser", "gst-launch-1.0 -q playbin uri=file://{wav} "
              "flags=audio+vis vis-plugin=lumacorevis audio-sink=fakesink "
              "\"video-sink=videoconvert ! pngenc snapshot=true ! filesink location={out}\"",
              true, "", true}),
    [](const ::testing::TestParamInfo<LaunchRow>& info) { return info.param.name; });
// clang-format on

// Sound that ends before the first picture's calls are in: no picture, no fault.
TEST(GstElement, EndsCleanlyBeforeAnyPicture) {
    ScratchDir scratch;
    writeWav16(scratch.file("short.wav"), std::vector<std::int16_t>(2 * 400, 1000));
    const GstRun run = runGst("gst-launch-1.0 -q filesrc location=" + scratch.file("short.wav") +
                                  " ! decodebin ! audioconvert ! lumacorevis ! fakesink",
                              scratch);
    EXPECT_EQ(run.exitCode, 0) << run.errors;
}

// A flushing seek starts the sound afresh at the new position: the pictures after it are those of
// `render --start` there, stamped from it.
TEST(GstElement, SeekStartsAfreshWhereItLands) {
    ScratchDir scratch;
    const fs::path wav = toneWav(scratch);
    setenv("GST_PLUGIN_PATH", LUMACORE_GST_PLUGIN_DIR, 1);
    setenv("GST_REGISTRY", scratch.file("registry.bin").c_str(), 1);
    gst_init(nullptr, nullptr);
    const std::string description =
        "filesrc location=" + wav.string() +
        " ! decodebin ! audioconvert ! lumacorevis mode=2d ! "
        "video/x-raw,width=320,height=200,framerate=25/1 ! videoconvert ! video/x-raw,format=RGB ! "
        "appsink name=out sync=false";
    std::unique_ptr<GstElement, decltype(&gst_object_unref)> pipeline(
        gst_parse_launch(description.c_str(), nullptr), gst_object_unref);
    ASSERT_TRUE(pipeline);
    GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline.get()), "out");
    gst_object_unref(out); // the pipeline holds it
    gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    ASSERT_EQ(gst_element_get_state(pipeline.get(), nullptr, nullptr, 30 * GST_SECOND),
              GST_STATE_CHANGE_SUCCESS);
    ASSERT_TRUE(gst_element_seek_simple(
        pipeline.get(), GST_FORMAT_TIME,
        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
        3 * GST_SECOND / 2));
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    std::optional<lumacore::test::DecodedPng> ours;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 30 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (GST_BUFFER_PTS(buffer) == 5 * GST_SECOND / 2 &&
            gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            ours = {320, 200, 2, std::vector<std::uint8_t>(map.data, map.data + map.size), {}};
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    ASSERT_TRUE(ours) << "no picture stamped 2.5 s";
    const auto theirs =
        renderStill(scratch, wav, "--size 320x200 --fps 25 --start 1.5 --at 2.5 --mode 2d");
    ASSERT_TRUE(theirs);
    EXPECT_TRUE(sameAbove(*ours, *theirs, bannerTop(200)));
}

} // namespace
} // namespace lumacore::cli::test
