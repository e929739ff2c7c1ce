// Writes any bytes to a scratch file and decodes it with lumacore's audio front end (openAudio,
// FFmpeg underneath) up to a few seconds of sound: it must either give samples in -1..1 or fail
// with a one-line AudioError, never crash, hang or run out of memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "audio/audio_source.h"

namespace {

using lumacore::cli::AudioError;
using lumacore::cli::AudioSource;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// Sound decoded per input at most, at the output rate below.
constexpr std::size_t kMaxFrames = 4 * 22050;
constexpr int kSampleRate = 22050;

// The input file goes to memory where there is a memory file system, else the temporary folder.
std::filesystem::path scratchFolder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

struct Removed {
    std::string path;
    ~Removed() { std::remove(path.c_str()); }
};

void checkMessage(const AudioError& error, const std::string& path) {
    const std::string message = error.what();
    check(message.find('\n') == std::string::npos);
    check(message.rfind(path, 0) == 0); // it names the file
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The file is removed after each input: libFuzzer ends without running static destructors.
    static const std::string path =
        (scratchFolder() / ("lumacore-fuzz-audio-" + std::to_string(getpid()))).string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const Removed removed{path};
    std::unique_ptr<AudioSource> source;
    try {
        source = lumacore::cli::openAudio(path, kSampleRate);
    } catch (const AudioError& error) {
        checkMessage(error, path);
        return 0;
    }
    check(source->info().sampleRate == kSampleRate);
    std::vector<float> block(2 * 1024);
    std::size_t total = 0;
    try {
        while (total < kMaxFrames) {
            const std::size_t got = source->read(block.data(), block.size() / 2);
            check(got <= block.size() / 2);
            if (got == 0) break;
            for (std::size_t i = 0; i < 2 * got; ++i)
                check(block[i] >= -1.0f && block[i] <= 1.0f);
            total += got;
        }
    } catch (const AudioError& error) {
        checkMessage(error, path);
    }
    return 0;
}
