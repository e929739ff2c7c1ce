// Closing a window on the thread that owns it: at once there, with a bounded wait from elsewhere.
#include "host/win32/close_request.h"

namespace lumacore {
namespace {

// One more reference to this library, never given back: a player that unloads it after Quit
// must not take away the procedure of a window that still waits for its thread.
void keepLibraryLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&keepLibraryLoaded), &self);
}

} // namespace

bool closeOnOwnerThread(HWND window) {
    if (window == nullptr || !IsWindow(window)) return true;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        SendMessageA(window, kCloseRequest, 0, 0);
        return !IsWindow(window);
    }
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, kCloseRequest, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kOwnerAnswerMs,
                        &answer);
    if (!IsWindow(window)) return true;
    keepLibraryLoaded();
    PostMessageA(window, kCloseRequest, 0, 0);
    return false;
}

} // namespace lumacore
