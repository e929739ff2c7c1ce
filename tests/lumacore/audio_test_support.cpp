// Helpers of the audio and analysis tests: formula sources, scratch folders and the ffmpeg tool.
#include "audio_test_support.h"
#include "program_support.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lumacore::cli::test {

SignalSource::SignalSource(long long frames, Formula formula, int sampleRate, std::size_t maxRead)
    : frames_(frames), formula_(std::move(formula)), maxRead_(maxRead) {
    info_.sampleRate = sampleRate;
    info_.durationSeconds = static_cast<double>(frames) / sampleRate;
}

std::size_t SignalSource::read(float* out, std::size_t frames) {
    std::size_t done = 0;
    const std::size_t limit = std::min(frames, maxRead_);
    for (; done < limit && position_ < frames_; ++done, ++position_)
        for (int c = 0; c < 2; ++c)
            out[2 * done + c] = formula_(position_, c);
    return done;
}

void damage(const std::string& path, double at, std::size_t count, unsigned mask) {
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const auto from = static_cast<std::size_t>(at * static_cast<double>(bytes.size()));
    std::uint32_t noise = 0x9E3779B9u;
    for (std::size_t i = from; i < from + count && i < bytes.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>((noise >> 24) & mask);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

SignalSource::Formula sines(double leftAmplitude, double leftFrequency, double rightAmplitude,
                            double rightFrequency, int sampleRate) {
    return [=](long long frame, int channel) {
        const double t = static_cast<double>(frame) / sampleRate;
        const double amplitude = channel == 0 ? leftAmplitude : rightAmplitude;
        const double frequency = channel == 0 ? leftFrequency : rightFrequency;
        return static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * t));
    };
}

std::vector<float> readAll(AudioSource& source, std::size_t block) {
    std::vector<float> samples;
    std::vector<float> buffer(2 * block);
    while (const std::size_t got = source.read(buffer.data(), block))
        samples.insert(samples.end(), buffer.begin(), buffer.begin() + 2 * got);
    return samples;
}

std::vector<Frame> analyseAll(AudioSource& source, double callsPerSecond) {
    Analyser analyser(source, callsPerSecond);
    std::vector<Frame> frames;
    winampVisModule module;
    double time = 0;
    while (analyser.next(module, time))
        frames.push_back(frameFromModule(module, std::llround(time * 1e6)));
    return frames;
}

int peakBin(const unsigned char (&row)[kSamplesPerChannel]) {
    return static_cast<int>(std::max_element(std::begin(row), std::end(row)) - std::begin(row));
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("lumacore-audio-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

#ifdef LUMACORE_FFMPEG_TOOL
namespace {

struct PipeCloser {
    void operator()(std::FILE* pipe) const { pclose(pipe); }
};

const std::set<std::string>& encoders() {
    static const std::set<std::string> names = [] {
        std::set<std::string> found;
        const std::string command =
            quoted(LUMACORE_FFMPEG_TOOL) + " -hide_banner -encoders 2>/dev/null";
        std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
        if (!pipe) return found;
        char line[512];
        while (std::fgets(line, sizeof line, pipe.get())) {
            // " A....D flac   FLAC (...)": the flags, then the name.
            std::istringstream words(line);
            std::string flags, name;
            if (words >> flags >> name && flags.size() == 6) found.insert(name);
        }
        return found;
    }();
    return names;
}

} // namespace

bool haveFfmpegTool() {
    return true;
}

bool haveEncoder(const std::string& name) {
    return encoders().count(name) > 0;
}

bool runFfmpegTool(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{LUMACORE_FFMPEG_TOOL, "-nostdin", "-hide_banner",
                                 "-loglevel",          "error",    "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
#else
bool haveFfmpegTool() {
    return false;
}
bool haveEncoder(const std::string&) {
    return false;
}
bool runFfmpegTool(const std::vector<std::string>&) {
    return false;
}
#endif

bool encodeWithPictures(const std::string& path, const std::string& encoder,
                        const std::vector<AttachedPicture>& pictures) {
    std::vector<std::string> arguments{"-f", "lavfi", "-i", "sine=d=1"};
    for (const AttachedPicture& picture : pictures)
        arguments.insert(arguments.end(), {"-i", picture.path});
    arguments.insert(arguments.end(), {"-map", "0:a"});
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const std::string stream = "v:" + std::to_string(i);
        arguments.insert(arguments.end(), {"-map", std::to_string(i + 1) + ":v",
                                           "-disposition:" + stream, "attached_pic"});
        if (!pictures[i].type.empty())
            arguments.insert(arguments.end(),
                             {"-metadata:s:" + stream, "comment=" + pictures[i].type});
    }
    arguments.insert(arguments.end(), {"-c:a", encoder, "-c:v", "copy"});
    if (path.ends_with(".mp3")) arguments.insert(arguments.end(), {"-id3v2_version", "3"});
    arguments.push_back(path);
    return runFfmpegTool(arguments);
}

} // namespace lumacore::cli::test
