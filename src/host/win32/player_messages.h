// The two questions the displays ask the player, sent to its main window as WM_USER messages.
#pragma once

#include <windows.h>

namespace lumacore {

inline constexpr LPARAM IPC_GETLISTPOS = 125;
inline constexpr LPARAM IPC_GETPLAYLISTTITLE = 212;

// How long a question waits for the player's answer. A player whose main thread waits for the
// visualisation's thread to end, without taking messages, never answers.
inline constexpr UINT kPlayerAnswerMs = 300;

// The title of the player's current playlist entry, or null, also when the player does not
// answer in time. The text belongs to the player: read it at once, never keep the pointer.
inline const char* playlistTitle(HWND player) {
    const auto ask = [player](WPARAM wParam, LPARAM what, DWORD_PTR& answer) {
        return SendMessageTimeoutA(player, WM_USER, wParam, what, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                   kPlayerAnswerMs, &answer) != 0;
    };
    DWORD_PTR position = 0, title = 0;
    if (!ask(0, IPC_GETLISTPOS, position) || !ask(position, IPC_GETPLAYLISTTITLE, title))
        return nullptr;
    return reinterpret_cast<const char*>(title);
}

} // namespace lumacore
