// Running the `lumacore` program in a scratch folder as a user would, for the end-to-end tests:
// its exit code, what it wrote on standard error, and its standard output when asked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lumacore::cli::test {

struct ProgramRun {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string output; // standard output, when captured
    std::string errors; // standard error
};

// Runs LUMACORE_PROGRAM with `args` in `folder`, stopped after `timeoutSeconds` (then the exit
// code is timeout's 124). Standard output is kept when `captureOutput`.
ProgramRun runLumacore(const std::vector<std::string>& args, const std::filesystem::path& folder,
                       bool captureOutput = false, int timeoutSeconds = 120);

// The same on a terminal of its own (a pseudo-terminal through script(1)), as a user at a
// shell sees it: `output` holds standard output and error together, as the terminal got them
// (line ends as "\r\n"). The exit code is 127 where script(1) is missing.
ProgramRun runLumacoreOnTerminal(const std::vector<std::string>& args,
                                 const std::filesystem::path& folder, int timeoutSeconds = 120);

// `text` in single quotes for the shell.
std::string quoted(const std::string& text);

// Every file and folder under `folder`, relative to it, sorted: what a run left behind.
std::vector<std::string> entriesUnder(const std::filesystem::path& folder);

// The file's bytes; empty when it cannot be read.
std::string fileBytes(const std::filesystem::path& path);

// FNV-1a, 64 bits.
std::uint64_t fnv1a(const std::string& bytes);

// A 16-bit PCM WAV file of interleaved `samples` of `channels` channels at `sampleRate`.
void writeWav16(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                int sampleRate = 44100, int channels = 2);

// 16-bit stereo WAV, 44100 Hz, `seconds` long: a sawtooth on the left and a chirp on the right,
// computed in integers so that every machine writes the same bytes.
void writeToneWav(const std::filesystem::path& path, int seconds);

} // namespace lumacore::cli::test
