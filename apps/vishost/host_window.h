// The player's main window as a plug-in sees it: the module's hwndParent. It answers the two
// playlist queries a visualisation may send (WM_USER with IPC_GETLISTPOS or
// IPC_GETPLAYLISTTITLE in lParam) and records every message it receives, in order, including
// the keys a plug-in forwards with PostMessage. It stays hidden.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "report.h"

namespace lumacore::vishost {

inline constexpr LPARAM kIpcGetListPos = 125;
inline constexpr LPARAM kIpcGetPlaylistTitle = 212;
inline constexpr const char* kHostWindowClass = "LumacoreVisHost";

// A number shared by recorded messages and message boxes, so their relative order is known.
std::uint64_t nextEventSequence();

class HostWindow {
  public:
    // `frames` is the count of frames rendered so far; each record notes it.
    HostWindow(std::vector<std::optional<std::string>> playlist, int listPos,
               const std::atomic<int>* frames);
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    ~HostWindow();

    HWND handle() const { return hwnd_; }
    // Everything received so far. Read it on the window's thread or after that thread stopped
    // dispatching.
    const std::vector<RecordedMessage>& messages() const { return messages_; }

  private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT answer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Titles stay put for the window's life, so the pointers handed out stay valid.
    const std::vector<std::optional<std::string>> playlist_;
    const int listPos_;
    const std::atomic<int>* frames_;
    std::vector<RecordedMessage> messages_;
    HWND hwnd_ = nullptr;
};

// Takes every pending message of the calling thread off its queue, translating keys and
// dispatching as a player's loop does. Returns false when it met WM_QUIT (its exit code in
// *quitCode); the messages after it stay queued.
bool pumpMessages(int* quitCode = nullptr);

} // namespace lumacore::vishost
