// Closing one of the library's windows from any thread. Only the thread that owns a window may
// release its device context and destroy it, and some players call Quit from another thread
// than the one that called Init; so the library's windows answer a private message by closing
// themselves, on their own thread.
#pragma once

#include <windows.h>

namespace lumacore {

// The message the library's windows answer by closing themselves on their own thread: the
// display windows give back their surface, destroy themselves and unregister their class; the
// dialog destroys itself. Sent or posted only by closeOnOwnerThread.
inline constexpr UINT kCloseRequest = WM_APP + 0x1C0;

// How long a thread that does not own the window waits for the owner to close it.
inline constexpr DWORD kOwnerAnswerMs = 500;

// Has `window` close itself on the thread that owns it; true when it is gone on return (or was
// gone already). On its own thread the request is answered at once. From another thread the
// caller waits for the owner at most kOwnerAnswerMs, taking messages sent to its own windows
// meanwhile; when the owner does not answer in time (it may be waiting for the caller), the
// request is posted instead, the window stays known to its owner and goes when that thread next
// takes its messages, and the library keeps itself loaded so that the window's procedure is
// still there then. Returns false in that case.
bool closeOnOwnerThread(HWND window);

} // namespace lumacore
