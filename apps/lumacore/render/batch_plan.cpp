// Naming a batch's outputs after its inputs, and refusing the batches that would lose a file.
#include "render/batch_plan.h"

#include <filesystem>
#include <map>
#include <stdexcept>
#include <system_error>

#include "audio/audio_files.h"
#include "render/case_fold.h"

namespace lumacore::cli {
namespace {

namespace fs = std::filesystem;

// The output for `input` under `folder`: its file name with the extension of `format`, or for
// a PNG sequence a folder of that name.
std::string outputFor(const fs::path& folder, const fs::path& subPath, const std::string& input,
                      const std::string& format) {
    const fs::path stem = fs::path(input).stem();
    if (format == "png") return (folder / subPath / stem).string() + "/";
    return (folder / subPath / stem).string() + "." + format;
}

// The name two outputs share when they are one file: spelled alike once "." and ".." and a
// sequence's trailing '/' are gone.
std::string sameness(const std::string& output) {
    std::string name = fs::path(output).lexically_normal().string();
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

// The path with its links and "." and ".." resolved, as far as it exists, to compare files by.
std::string resolved(const std::string& path) {
    std::error_code error;
    const fs::path full = fs::weakly_canonical(path, error);
    return error ? sameness(path) : sameness(full.string());
}

// Whether two inputs are one file: spelled alike once resolved ("./a.mp3" and "a.mp3"), or the
// file system says so (a hard link).
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return resolved(a) == resolved(b) || fs::equivalent(a, b, error);
}

} // namespace

bool isFolderTarget(const std::string& output) {
    std::error_code ignored;
    return (!output.empty() && output.back() == '/') || fs::is_directory(output, ignored);
}

bool isBatch(const std::vector<std::string>& inputs, const std::string& output, bool formatGiven) {
    if (inputs.size() > 1 || formatGiven) return true;
    std::error_code ignored;
    return inputs.size() == 1 && fs::is_directory(inputs.front(), ignored) &&
           isFolderTarget(output);
}

std::vector<BatchJob> planBatch(const BatchRequest& request, std::vector<std::string>& problems) {
    if (!isFolderTarget(request.output))
        throw std::invalid_argument(
            "'" + request.output +
            "' is not a folder: the outputs of several inputs, or of --format, go into a folder "
            "(an existing one, or a name ending in / to create it)");
    const fs::path folder(request.output);
    std::vector<BatchJob> jobs;
    for (const std::string& input : request.inputs) {
        std::error_code error;
        if (!fs::is_directory(input, error)) {
            jobs.push_back({input, outputFor(folder, {}, input, request.format)});
            continue;
        }
        const std::vector<std::string> files = audioFilesIn(input, request.recursive, problems);
        if (files.empty()) problems.push_back(input + ": no audio files in the folder");
        for (const std::string& file : files) {
            const fs::path subPath = fs::path(file).lexically_relative(input).parent_path();
            jobs.push_back({file, outputFor(folder, subPath, file, request.format)});
        }
    }

    // Outputs are compared as a case-insensitive file system compares them: there "Intro.mp4"
    // would replace "intro.mp4" without a word.
    std::map<std::string, const BatchJob*> taken;
    for (const BatchJob& job : jobs) {
        const auto [earlier, added] = taken.emplace(caseFolded(sameness(job.output)), &job);
        if (added) continue;
        const BatchJob& first = *earlier->second;
        if (first.input == job.input) throw std::invalid_argument(job.input + " is given twice");
        if (sameFile(first.input, job.input))
            throw std::invalid_argument("'" + first.input + "' and '" + job.input +
                                        "' are one file, given twice");
        if (sameness(first.output) == sameness(job.output))
            throw std::invalid_argument(first.input + " and " + job.input +
                                        " would both be written to '" + job.output +
                                        "': render them into different folders");
        throw std::invalid_argument(first.input + " and " + job.input + " would be written to '" +
                                    first.output + "' and '" + job.output +
                                    "', names that differ only in case (one file on exFAT or a "
                                    "Windows share): render them into different folders");
    }
    std::map<std::string, std::string> inputs; // resolved path -> as given
    for (const std::string& input : request.inputs)
        inputs.emplace(resolved(input), input);
    for (const BatchJob& job : jobs)
        inputs.emplace(resolved(job.input), job.input);
    for (const BatchJob& job : jobs)
        if (const auto input = inputs.find(resolved(job.output)); input != inputs.end())
            throw std::invalid_argument("'" + job.output + "', the output of " + job.input +
                                        ", would replace the input " + input->second);
    return jobs;
}

} // namespace lumacore::cli
