// The two questions the displays ask the player, sent to its main window as WM_USER messages.
#pragma once

#include <windows.h>

namespace lumacore {

inline constexpr LPARAM IPC_GETLISTPOS = 125;
inline constexpr LPARAM IPC_GETPLAYLISTTITLE = 212;

// The title of the player's current playlist entry, or null. The text belongs to the player:
// read it at once, never keep the pointer.
inline const char* playlistTitle(HWND player) {
    const LRESULT position = SendMessageA(player, WM_USER, 0, IPC_GETLISTPOS);
    return reinterpret_cast<const char*>(
        SendMessageA(player, WM_USER, static_cast<WPARAM>(position), IPC_GETPLAYLISTTITLE));
}

} // namespace lumacore
