// The XDG settings path from XDG_CONFIG_HOME and HOME.
#include "host/xdg_settings_path.h"

#include <cstdlib>
#include <filesystem>

#include "host/file_error.h"

namespace lumacore {
namespace {

bool absolute(const char* folder) {
    return folder != nullptr && folder[0] == '/';
}

} // namespace

std::string xdgSettingsPath(const char* configHome, const char* home) {
    std::filesystem::path folder;
    if (absolute(configHome))
        folder = configHome;
    else if (absolute(home))
        folder = std::filesystem::path(home) / ".config";
    else
        return {};
    return (folder / "lumacore" / "lumacore.ini").lexically_normal().string();
}

std::string userSettingsPath() {
    std::string path = xdgSettingsPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (path.empty())
        throw FileError("no folder for the settings: set HOME (or XDG_CONFIG_HOME) to an absolute "
                        "path");
    return path;
}

} // namespace lumacore
