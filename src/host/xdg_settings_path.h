// Where lumacore keeps its settings on Linux, by the XDG base-directory rule: the file
// lumacore/lumacore.ini in $XDG_CONFIG_HOME, or in ~/.config when that variable is unset, empty
// or not an absolute path. (The plug-in's file sits beside the library instead: settingsPath.)
#pragma once

#include <string>

namespace lumacore {

// The file for these values of XDG_CONFIG_HOME and HOME (nullptr: unset); empty when neither
// gives an absolute folder.
std::string xdgSettingsPath(const char* configHome, const char* home);

// The same from this process's environment. Throws FileError, with one line saying which
// variables to set, when neither gives an absolute folder.
std::string userSettingsPath();

} // namespace lumacore
