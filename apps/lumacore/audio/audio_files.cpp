// Finding the audio files of a folder.
#include "audio/audio_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

namespace lumacore::cli {

namespace fs = std::filesystem;

bool looksLikeAudio(const std::string& path) {
    static constexpr std::array<const char*, 19> kinds = {
        ".aac", ".aif", ".aiff", ".ape",  ".au",  ".flac", ".m4a",  ".mka", ".mp2", ".mp3",
        ".mpc", ".oga", ".ogg",  ".opus", ".wav", ".wave", ".weba", ".wma", ".wv"};
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(kinds.begin(), kinds.end(), extension) != kinds.end();
}

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

} // namespace lumacore::cli
