// Which files of a folder are audio to a command that takes folders (`play`, `render`): the
// extensions of the kinds the decoder opens, found in the folder (and its subfolders when asked)
// and sorted by name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace lumacore::cli {

// Whether the file's extension is one of the audio kinds a folder is searched for.
bool looksLikeAudio(const std::string& path);

// The audio files of `folder` (with `recursive`, of its subfolders too), sorted by their full
// path, so that a subfolder's files follow the files before it by name. A folder that cannot be
// listed adds one line to `problems`.
std::vector<std::string> audioFilesIn(const std::filesystem::path& folder, bool recursive,
                                      std::vector<std::string>& problems);

} // namespace lumacore::cli
