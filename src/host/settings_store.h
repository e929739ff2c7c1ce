// Where the settings file is read and written: the platform's profile functions in the plug-in,
// a plain file-backed store elsewhere. Both follow the platform's reading of the file exactly.
#pragma once

#include <string>

namespace lumacore {

class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // What GetPrivateProfileIntA returns for `key` in `section`: the platform's parse of the
    // stored text, `fallback` when the key is missing (or empty, as the platform treats it).
    virtual unsigned readInt(const std::string& section, const std::string& key, int fallback) = 0;
    // What WritePrivateProfileStringA does: sets key=value in section (creating the file, section
    // or key as needed), leaving every other line of the file exactly as it was. False on failure.
    virtual bool writeString(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
};

} // namespace lumacore
