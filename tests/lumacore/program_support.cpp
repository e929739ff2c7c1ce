// Runs the program through the shell with its streams in files, so that no pipe can fill up.
#include "program_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace lumacore::cli::test {
namespace {

void put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& out, unsigned value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> entriesUnder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        names.push_back(std::filesystem::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProgramRun runLumacore(const std::vector<std::string>& args, const std::filesystem::path& folder,
                       bool captureOutput, int timeoutSeconds) {
    const std::filesystem::path out = folder / ".stdout", err = folder / ".stderr";
    std::string command = "cd " + quoted(folder.string()) + " && timeout -s KILL " +
                          std::to_string(timeoutSeconds) + " " + quoted(LUMACORE_PROGRAM);
    for (const std::string& a : args)
        command += " " + quoted(a);
    command +=
        " >" + quoted(captureOutput ? out.string() : "/dev/null") + " 2>" + quoted(err.string());
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = fileBytes(err);
    if (captureOutput) run.output = fileBytes(out);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    std::filesystem::remove(err, ignored);
    return run;
}

ProgramRun runLumacoreOnTerminal(const std::vector<std::string>& args,
                                 const std::filesystem::path& folder, int timeoutSeconds) {
    const std::filesystem::path out = folder / ".terminal";
    std::string program = quoted(LUMACORE_PROGRAM);
    for (const std::string& a : args)
        program += " " + quoted(a);
    const std::string command = "cd " + quoted(folder.string()) + " && timeout -s KILL " +
                                std::to_string(timeoutSeconds) + " script -qec " +
                                test::quoted(program) + " /dev/null </dev/null >" +
                                quoted(out.string()) + " 2>&1";
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = fileBytes(out);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    return run;
}

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

void writeWav16(const std::filesystem::path& path, const std::vector<std::int16_t>& samples,
                int sampleRate, int channels) {
    std::string data;
    for (std::int16_t sample : samples)
        put16(data, static_cast<unsigned>(sample) & 0xFFFF);
    const auto rate = static_cast<unsigned>(sampleRate);
    std::string wav = "RIFF";
    put32(wav, static_cast<unsigned>(36 + data.size()));
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1); // PCM
    const auto count = static_cast<unsigned>(channels);
    put16(wav, count);
    put32(wav, rate);
    put32(wav, rate * 2 * count);
    put16(wav, 2 * count);
    put16(wav, 16);
    wav += "data";
    put32(wav, static_cast<unsigned>(data.size()));
    std::ofstream(path, std::ios::binary) << wav << data;
}

void writeToneWav(const std::filesystem::path& path, int seconds) {
    const long long rate = 44100, frames = seconds * rate;
    std::vector<std::int16_t> samples;
    samples.reserve(static_cast<std::size_t>(2 * frames));
    for (long long i = 0; i < frames; ++i) {
        const long long left = (i * 311) % 40000 - 20000;
        const long long right = ((i * i) / 4096 % 16000 - 8000) * 2;
        samples.push_back(static_cast<std::int16_t>(left));
        samples.push_back(static_cast<std::int16_t>(right));
    }
    writeWav16(path, samples, static_cast<int>(rate));
}

} // namespace lumacore::cli::test
