// Decoding files that the ffmpeg tool makes at test time (a format is skipped where the tool or
// its encoder is missing): tags, length, channels, resampling and the sines that went in; and
// damaged or foreign files, which must give a one-line AudioError naming the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "audio_test_support.h"

namespace lumacore::cli::test {
namespace {

constexpr double kSeconds = 2.0;
const double kLeftFrequency = binFrequency(26);  // 995.3 Hz at 44.1 kHz
const double kRightFrequency = binFrequency(52); // 1990.6 Hz

struct FormatRow {
    const char* extension;
    const char* encoder;
};

std::string formatName(const ::testing::TestParamInfo<FormatRow>& info) {
    return info.param.extension;
}

// Makes `path` holding the test sines (0.5 at the left frequency, 0.25 at the right one; a mono
// file has the left one only) and two tags whose keys are not in lower case.
void encodeSines(const std::string& path, const char* encoder, bool mono,
                 double seconds = kSeconds) {
    std::string expression = "0.5*sin(2*PI*" + std::to_string(kLeftFrequency) + "*t)";
    if (!mono) expression += "|0.25*sin(2*PI*" + std::to_string(kRightFrequency) + "*t)";
    ASSERT_TRUE(runFfmpegTool(
        {"-f", "lavfi", "-i", "aevalsrc=" + expression + ":s=44100:d=" + std::to_string(seconds),
         "-c:a", encoder, "-metadata", "ARTIST=Test Artist", "-metadata", "Title=Tëst tune", path}))
        << "ffmpeg could not make " << path;
}

#define SKIP_WITHOUT_ENCODER(encoder)                                                              \
    do {                                                                                           \
        if (!haveFfmpegTool()) GTEST_SKIP() << "no ffmpeg tool to make the test file";             \
        if (!haveEncoder(encoder)) GTEST_SKIP() << "ffmpeg has no " << (encoder) << " encoder";    \
    } while (false)

class DecoderFormatTest : public ::testing::TestWithParam<FormatRow> {};

TEST_P(DecoderFormatTest, GivesBackTheTagsLengthAndSines) {
    const FormatRow row = GetParam();
    SKIP_WITHOUT_ENCODER(row.encoder);
    ScratchDir dir;
    const std::string path = dir.file(std::string("sines.") + row.extension);
    encodeSines(path, row.encoder, false);

    std::unique_ptr<AudioSource> source = openAudio(path);
    const AudioInfo& info = source->info();
    EXPECT_EQ(info.path, path);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.sourceChannels, 2);
    EXPECT_EQ(info.artist, "Test Artist");
    EXPECT_EQ(info.title, "Tëst tune");
    EXPECT_NEAR(info.durationSeconds, kSeconds, 0.1);

    const std::vector<Frame> frames = analyseAll(*source, 20);
    EXPECT_NEAR(frames.size() / 20.0, kSeconds, 0.1); // the sound's length, to within 0.1 s
    for (std::size_t n = 5; n < 35; ++n) {
        EXPECT_EQ(peakBin(frames[n].spectrum[0]), 26) << "call " << n;
        EXPECT_EQ(peakBin(frames[n].spectrum[1]), 52) << "call " << n;
    }
}

TEST_P(DecoderFormatTest, PutsMonoOnBothSidesAtFullLevel) {
    const FormatRow row = GetParam();
    SKIP_WITHOUT_ENCODER(row.encoder);
    ScratchDir dir;
    const std::string path = dir.file(std::string("mono.") + row.extension);
    encodeSines(path, row.encoder, true);

    std::unique_ptr<AudioSource> source = openAudio(path);
    EXPECT_EQ(source->info().sourceChannels, 1);
    const std::vector<float> samples = readAll(*source, 1000);
    ASSERT_FALSE(samples.empty());
    double sum = 0;
    for (std::size_t i = 0; i < samples.size(); i += 2) {
        ASSERT_EQ(samples[i], samples[i + 1]) << "frame " << i / 2;
        sum += samples[i] * samples[i];
    }
    // The sine's level (0.5 / sqrt 2), not 3 dB less as a mono-to-stereo mix would make it.
    EXPECT_NEAR(std::sqrt(sum / (samples.size() / 2)), 0.5 / std::numbers::sqrt2, 0.03);
}

INSTANTIATE_TEST_SUITE_P(Formats, DecoderFormatTest,
                         ::testing::Values(FormatRow{"wav", "pcm_s16le"}, FormatRow{"flac", "flac"},
                                           FormatRow{"mp3", "libmp3lame"},
                                           FormatRow{"ogg", "libvorbis"},
                                           FormatRow{"opus", "libopus"}, FormatRow{"m4a", "aac"}),
                         formatName);

class DecoderRateTest : public ::testing::TestWithParam<int> {};

TEST_P(DecoderRateTest, ResamplesToTheRateAskedFor) {
    const int rate = GetParam();
    SKIP_WITHOUT_ENCODER("flac");
    ScratchDir dir;
    const std::string path = dir.file("sines.flac");
    encodeSines(path, "flac", false);

    std::unique_ptr<AudioSource> source = openAudio(path, rate);
    EXPECT_EQ(source->info().sampleRate, rate);
    const std::vector<Frame> frames = analyseAll(*source, 20);
    EXPECT_NEAR(frames.size() / 20.0, kSeconds, 0.06);
    const auto binOf = [rate](double frequency) {
        return static_cast<int>(std::lround(frequency * kAnalysisWindow / rate));
    };
    for (std::size_t n = 5; n < 35; ++n) {
        EXPECT_EQ(peakBin(frames[n].spectrum[0]), binOf(kLeftFrequency)) << "call " << n;
        EXPECT_EQ(peakBin(frames[n].spectrum[1]), binOf(kRightFrequency)) << "call " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, DecoderRateTest, ::testing::Values(22050, 48000, 96000));

TEST(Decoder, TakesTheSoundOfAVideo) {
    SKIP_WITHOUT_ENCODER("mpeg4");
    ScratchDir dir;
    const std::string path = dir.file("clip.mp4");
    ASSERT_TRUE(runFfmpegTool({"-f", "lavfi", "-i", "testsrc=d=2:s=64x48", "-f", "lavfi", "-i",
                               "sine=frequency=" + std::to_string(kLeftFrequency) + ":d=2", "-c:v",
                               "mpeg4", "-c:a", "aac", path}));
    std::unique_ptr<AudioSource> source = openAudio(path);
    const std::vector<Frame> frames = analyseAll(*source, 20);
    ASSERT_GT(frames.size(), 30u);
    EXPECT_EQ(peakBin(frames[20].spectrum[0]), 26);
}

// ---- files that are not (whole) audio ----

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string randomBytes(std::size_t count) {
    std::mt19937 random(99);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}

// Opens and reads the file to its end. Returns the AudioError's message, or "" if none came. A
// read after a failed read must fail again.
std::string failureOf(const std::string& path) {
    std::unique_ptr<AudioSource> source;
    try {
        source = openAudio(path);
    } catch (const AudioError& error) {
        return error.what();
    }
    try {
        readAll(*source);
    } catch (const AudioError& error) {
        float frame[2];
        EXPECT_THROW(source->read(frame, 1), AudioError) << "a second read after a failure";
        return error.what();
    }
    return "";
}

struct BadFileRow {
    const char* name;
    const char* encoder; // needed to make the file, or nullptr
    // Makes the file in the folder and returns its path.
    std::function<std::string(const ScratchDir&, const char* encoder)> make;
    const char* says; // a part of the message
};

std::string badFileName(const ::testing::TestParamInfo<BadFileRow>& info) {
    return info.param.name;
}

class DecoderErrorTest : public ::testing::TestWithParam<BadFileRow> {};

TEST_P(DecoderErrorTest, GivesAOneLineErrorNamingTheFile) {
    const BadFileRow& row = GetParam();
    if (row.encoder) SKIP_WITHOUT_ENCODER(row.encoder);
    ScratchDir dir;
    const std::string path = row.make(dir, row.encoder);
    if (path.empty()) GTEST_SKIP() << "cannot make an unreadable file here (running as root?)";
    const std::string message = failureOf(path);
    ASSERT_FALSE(message.empty()) << "no error for " << row.name;
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_NE(message.find(row.says), std::string::npos) << message;
}

// A file made by the encoder, three seconds long, of which `keep` (a fraction) is kept, and the
// bytes between `damageFrom` and `damageTo` (fractions) replaced by noise.
std::string encodedAndHarmed(const ScratchDir& dir, const char* encoder, const char* extension,
                             double keep, double damageFrom = 0, double damageTo = 0) {
    const std::string path = dir.file(std::string("harmed.") + extension);
    encodeSines(path, encoder, false, 3.0);
    std::string bytes = readBytes(path);
    const std::string noise = randomBytes(bytes.size());
    for (auto i = static_cast<std::size_t>(damageFrom * bytes.size());
         i < static_cast<std::size_t>(damageTo * bytes.size()); ++i)
        bytes[i] = noise[i];
    bytes.resize(static_cast<std::size_t>(keep * bytes.size()));
    writeBytes(path, bytes);
    return path;
}

// Where a FLAC file's frames begin: after "fLaC" and its metadata blocks.
std::size_t flacAudioStart(const std::string& bytes) {
    std::size_t at = 4;
    for (bool last = false; !last && at + 4 <= bytes.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
        last = byte(at) & 0x80;
        at += 4 + (std::size_t{byte(at + 1)} << 16 | std::size_t{byte(at + 2)} << 8 | byte(at + 3));
    }
    return at;
}

// A PCM WAV file (16-bit stereo, 400 frames of a square wave) whose header claims `rate` Hz.
std::string wavAtRate(const ScratchDir& dir, std::uint32_t rate) {
    const auto u32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    const auto u16 = [](unsigned v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
    };
    std::string samples;
    for (int i = 0; i < 400; ++i)
        samples += u16(i % 40 < 20 ? 8000 : 0x10000 - 8000) + u16(0);
    const std::string format =
        u16(1) + u16(2) + u32(rate) + u32(rate * 4) + u16(4) + u16(16); // PCM, 2 x 16 bits
    const std::string body = "WAVEfmt " + u32(16) + format + "data" +
                             u32(static_cast<std::uint32_t>(samples.size())) + samples;
    const std::string path = dir.file("rate" + std::to_string(rate) + ".wav");
    writeBytes(path, "RIFF" + u32(static_cast<std::uint32_t>(body.size())) + body);
    return path;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DecoderErrorTest,
    ::testing::Values(
        BadFileRow{"missing", nullptr,
                   [](const ScratchDir& dir, const char*) { return dir.file("nothing.mp3"); },
                   "no such file"},
        BadFileRow{"directory", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       std::filesystem::create_directory(dir.file("album.flac"));
                       return dir.file("album.flac");
                   },
                   "directory"},
        BadFileRow{"empty", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       writeBytes(dir.file("empty.wav"), "");
                       return dir.file("empty.wav");
                   },
                   "empty"},
        BadFileRow{"unreadable", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       const std::string path = dir.file("locked.wav");
                       writeBytes(path, randomBytes(1000));
                       ::chmod(path.c_str(), 0);
                       return ::access(path.c_str(), R_OK) == 0 ? std::string() : path;
                   },
                   "cannot read"},
        BadFileRow{"random_bytes", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       writeBytes(dir.file("noise.bin"), randomBytes(64 * 1024));
                       return dir.file("noise.bin");
                   },
                   ""},
        BadFileRow{"random_bytes_named_mp3", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       writeBytes(dir.file("noise.mp3"), randomBytes(64 * 1024));
                       return dir.file("noise.mp3");
                   },
                   ""},
        BadFileRow{"text_named_mp3", nullptr,
                   [](const ScratchDir& dir, const char*) {
                       writeBytes(dir.file("notes.mp3"), "Shopping list:\n- milk\n- bread\n");
                       return dir.file("notes.mp3");
                   },
                   ""},
        BadFileRow{"picture", "png",
                   [](const ScratchDir& dir, const char*) {
                       const std::string path = dir.file("picture.png");
                       EXPECT_TRUE(runFfmpegTool(
                           {"-f", "lavfi", "-i", "testsrc=s=32x32", "-frames:v", "1", path}));
                       return path;
                   },
                   "no audio stream"},
        BadFileRow{"truncated_mp3", "libmp3lame",
                   [](const ScratchDir& dir, const char* encoder) {
                       return encodedAndHarmed(dir, encoder, "mp3", 0.5);
                   },
                   "truncated"},
        BadFileRow{"truncated_flac", "flac",
                   [](const ScratchDir& dir, const char* encoder) {
                       return encodedAndHarmed(dir, encoder, "flac", 0.5);
                   },
                   "truncated"},
        BadFileRow{"flac_cut_in_its_header", "flac",
                   [](const ScratchDir& dir, const char* encoder) {
                       return encodedAndHarmed(dir, encoder, "flac", 0.002);
                   },
                   ""},
        // Damage in the middle is skipped (see DecoderDamageTest); where nothing decodes, the
        // file fails with the decoder's complaint.
        BadFileRow{"flac_with_nothing_decodable", "flac",
                   [](const ScratchDir& dir, const char* encoder) {
                       const std::string path = encodedAndHarmed(dir, encoder, "flac", 1.0);
                       std::string bytes = readBytes(path);
                       const std::string noise = randomBytes(bytes.size());
                       for (std::size_t i = flacAudioStart(bytes); i < bytes.size(); ++i)
                           bytes[i] = noise[i];
                       writeBytes(path, bytes);
                       return path;
                   },
                   "damaged"},
        // A damaged rate field: converting from it would take a filter of gigabytes, or make
        // thousands of samples of every one read.
        BadFileRow{"wav_claiming_167_mhz", nullptr,
                   [](const ScratchDir& dir, const char*) { return wavAtRate(dir, 0x0A00AC44); },
                   "unsupported sample rate 167816260 Hz"},
        BadFileRow{"wav_claiming_999_hz", nullptr,
                   [](const ScratchDir& dir, const char*) { return wavAtRate(dir, 999); },
                   "unsupported sample rate 999 Hz"}),
    badFileName);

// ---- damage that players step over ----

struct DamageRow {
    const char* name;
    const char* encoder;
    const char* extension;
    double from, to;    // the damaged bytes, as fractions of the file (at least 64 bytes)
    unsigned mask;      // of the noise written there
    double settleAfter; // seconds after the damage where the sound must be as it was again
};

std::string damageName(const ::testing::TestParamInfo<DamageRow>& info) {
    return info.param.name;
}

class DecoderDamageTest : public ::testing::TestWithParam<DamageRow> {};

// Damaged packets are skipped with their time kept silent: the sound keeps its length, what
// follows the damage is what the undamaged file gives there, and one line on standard error
// says how much was skipped.
TEST_P(DecoderDamageTest, SkipsTheDamageAndSaysSoOnce) {
    const DamageRow& row = GetParam();
    SKIP_WITHOUT_ENCODER(row.encoder);
    ScratchDir dir;
    const std::string clean = dir.file(std::string("clean.") + row.extension);
    encodeSines(clean, row.encoder, false, 6.0);
    const std::string path = dir.file(std::string("damaged.") + row.extension);
    std::filesystem::copy_file(clean, path);
    const auto size = static_cast<double>(std::filesystem::file_size(path));
    damage(path, row.from, std::max<std::size_t>(64, std::llround((row.to - row.from) * size)),
           row.mask);

    const std::vector<float> expected = [&] {
        std::unique_ptr<AudioSource> source = openAudio(clean);
        return readAll(*source);
    }();
    std::vector<float> samples;
    ::testing::internal::CaptureStderr();
    try {
        std::unique_ptr<AudioSource> source = openAudio(path);
        samples = readAll(*source);
    } catch (const AudioError& error) {
        ADD_FAILURE() << error.what();
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NEAR(samples.size() / 2.0, expected.size() / 2.0, 44100 * 0.03) << "the length";
    EXPECT_EQ(said.rfind("lumacore: " + path + ": skipped ", 0), 0u) << said;
    EXPECT_NE(said.find(" s of damaged audio (the first at "), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // From a little after the damage to the end, the sound is the undamaged file's.
    const double damageEnds = row.to * 6.0 + row.settleAfter;
    const auto first = static_cast<std::size_t>(2 * std::llround(damageEnds * 44100));
    const std::size_t shorter = std::min(samples.size(), expected.size());
    ASSERT_LT(first + 2 * 4410, shorter) << "too little sound after the damage";
    const std::size_t last = shorter - 2 * 4410;
    float worst = 0;
    for (std::size_t i = first; i < last; ++i)
        worst = std::max(worst, std::fabs(samples[i] - expected[i]));
    EXPECT_EQ(worst, 0.0f) << "from " << damageEnds << " s on";
}

INSTANTIATE_TEST_SUITE_P(Files, DecoderDamageTest,
                         // MP3 damage is run through the program (FilesAndSignals): whether 64
                         // bytes break a packet or only its sound depends on where they fall.
                         ::testing::Values(DamageRow{"flac_noise_in_the_middle", "flac", "flac",
                                                     0.4, 0.45, 0xFF, 0.3},
                                           DamageRow{"flac_64_bytes_in_the_middle", "flac", "flac",
                                                     0.5, 0.5, 0xFF, 0.2}),
                         damageName);

// A file cut inside its very last packet has lost too little to report: it plays to its end.
TEST(Decoder, ToleratesALastPacketCutShort) {
    SKIP_WITHOUT_ENCODER("flac");
    ScratchDir dir;
    const std::string path = dir.file("clipped.flac");
    encodeSines(path, "flac", false);
    std::string bytes = readBytes(path);
    bytes.resize(bytes.size() - 100);
    writeBytes(path, bytes);
    std::unique_ptr<AudioSource> source = openAudio(path);
    const std::vector<float> samples = readAll(*source);
    EXPECT_NEAR(samples.size() / 2.0 / 44100, kSeconds, 0.2);
}

} // namespace
} // namespace lumacore::cli::test
