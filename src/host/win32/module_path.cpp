#include "host/win32/module_path.h"

#include <windows.h>

namespace lumacore {

std::string moduleFileName(const winampVisModule& module) {
    char buffer[MAX_PATH] = {};
    const DWORD length =
        GetModuleFileNameA(static_cast<HMODULE>(module.hDllInstance), buffer, MAX_PATH);
    // A name cut at the buffer's end is not terminated on every Windows: take what was written.
    return std::string(buffer, length < MAX_PATH ? length : MAX_PATH - 1);
}

} // namespace lumacore
