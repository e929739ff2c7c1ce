// Expanding files and folders into the play list.
#include "play/playlist.h"

#include <filesystem>
#include <system_error>

#include "audio/audio_files.h"

namespace lumacore::cli {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> expand(const std::vector<std::string>& inputs, bool recursive,
                                std::vector<std::string>& problems) {
    std::vector<std::string> entries;
    for (const std::string& input : inputs) {
        std::error_code error;
        const fs::file_status status = fs::status(input, error);
        if (fs::is_directory(status)) {
            std::vector<std::string> files = audioFilesIn(input, recursive, problems);
            if (files.empty()) problems.push_back(input + ": no audio files in the folder");
            entries.insert(entries.end(), files.begin(), files.end());
        } else if (fs::exists(status)) {
            entries.push_back(input); // a file given by name is tried whatever its name
        } else {
            problems.push_back(input + ": no such file or folder");
        }
    }
    return entries;
}

} // namespace

Playlist::Playlist(const std::vector<std::string>& inputs, bool recursive,
                   std::vector<std::string>& problems) {
    if (inputs.empty())
        entries_.push_back(""); // the demo tune
    else
        entries_ = expand(inputs, recursive, problems);
}

bool Playlist::next(bool loop) {
    if (current_ + 1 < entries_.size()) {
        ++current_;
        return true;
    }
    if (!loop || entries_.empty()) return false;
    current_ = 0;
    return true;
}

void Playlist::previous() {
    if (current_ > 0) --current_;
}

std::size_t Playlist::append(const std::vector<std::string>& inputs, bool recursive,
                             std::vector<std::string>& problems) {
    const std::size_t first = entries_.size();
    std::vector<std::string> added = expand(inputs, recursive, problems);
    entries_.insert(entries_.end(), added.begin(), added.end());
    return first;
}

} // namespace lumacore::cli
