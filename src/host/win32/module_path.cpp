#include "host/win32/module_path.h"

#include <windows.h>

#include <vector>

namespace lumacore {

std::string moduleFileName(const winampVisModule& module) {
    // The name is asked for into MAX_PATH characters first. A name that fills them is cut, and
    // a cut name can end inside a folder's name, whose parent would then get our settings file:
    // ask again with more room, up to the longest name the system has.
    HMODULE handle = static_cast<HMODULE>(module.hDllInstance);
    constexpr DWORD kLongest = 32768;
    for (DWORD size = MAX_PATH; size <= kLongest; size *= 2) {
        std::vector<char> buffer(size + 1, '\0'); // a cut name is not terminated everywhere
        const DWORD length = GetModuleFileNameA(handle, buffer.data(), size);
        if (length < size) return std::string(buffer.data(), length);
    }
    return {}; // no name at all: the settings live in the default "plugin.ini"
}

} // namespace lumacore
