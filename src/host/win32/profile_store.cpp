#include "host/win32/profile_store.h"

#include <windows.h>

#include <utility>

namespace lumacore {

ProfileStore::ProfileStore(std::string path) : path_(std::move(path)) {}

unsigned ProfileStore::readInt(const std::string& section, const std::string& key, int fallback) {
    return GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, path_.c_str());
}

bool ProfileStore::writeString(const std::string& section, const std::string& key,
                               const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) !=
           FALSE;
}

} // namespace lumacore
