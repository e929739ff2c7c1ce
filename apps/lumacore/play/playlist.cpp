// Expanding files and folders into the play list.
#include "play/playlist.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace lumacore::cli {
namespace {

namespace fs = std::filesystem;

// The audio files of `folder`, sorted by their full path (so a subfolder's files follow the
// files before it by name).
std::vector<std::string> audioFilesIn(const fs::path& folder, bool recursive,
                                      std::vector<std::string>& problems) {
    std::vector<std::string> found;
    std::error_code error;
    const auto take = [&found](const fs::directory_entry& item) {
        std::error_code ignored;
        if (item.is_regular_file(ignored) && looksLikeAudio(item.path().string()))
            found.push_back(item.path().string());
    };
    if (recursive) {
        fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                            error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
            take(*it);
    } else {
        fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error))
            take(*it);
    }
    if (error) problems.push_back(folder.string() + ": cannot list the folder: " + error.message());
    std::sort(found.begin(), found.end());
    return found;
}

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

bool looksLikeAudio(const std::string& path) {
    static constexpr std::array<const char*, 19> kinds = {
        ".aac", ".aif", ".aiff", ".ape",  ".au",  ".flac", ".m4a",  ".mka", ".mp2", ".mp3",
        ".mpc", ".oga", ".ogg",  ".opus", ".wav", ".wave", ".weba", ".wma", ".wv"};
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kinds.begin(), kinds.end(), extension) != kinds.end();
}

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
