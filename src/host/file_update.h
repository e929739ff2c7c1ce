// A file read, changed and written back as one step that no other update of the same file can
// run inside: the settings file's writes go through it, so that two writers at once (threads or
// processes) each build on the other's change and neither is lost.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace lumacore {

// What an update makes of the file's bytes (nullopt: there is no file): the new bytes, or
// nullopt to leave the file as it is. It may throw FileError to refuse, with its reason.
using FileChange = std::function<std::optional<std::string>(const std::optional<std::string>&)>;

// Reads the file at `path`, hands its bytes to `change` and replaces the file with the result,
// all under an exclusive lock on the file (flock natively; other updates of the file wait). The
// new bytes go into a unique temporary file beside it, which is renamed over the file with the
// old file's permissions, so a failure at any step leaves the old file whole, and a file that was
// missing stays missing. A file that is not a regular file, cannot be read or is read-only (for a
// privileged user too) is not written. Returns an empty string, or one line naming the file and
// saying why it was not written.
std::string updateFile(const std::string& path, const FileChange& change);

} // namespace lumacore
