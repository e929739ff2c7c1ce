#include "host_window.h"

#include <stdexcept>

namespace lumacore::vishost {
namespace {

// The window being created on this thread: messages arrive before WM_NCCREATE hands over the
// creation parameter.
thread_local HostWindow* creating = nullptr;

// The queued message being dispatched on this thread, so that the procedure can tell a posted
// message from a sent one. Cleared by the first procedure call that looks at it.
thread_local const MSG* dispatching = nullptr;

// A plug-in that keeps posting to itself must not hold the host in one pump for ever.
constexpr int kMaxMessagesPerPump = 10000;

} // namespace

std::uint64_t nextEventSequence() {
    static std::atomic<std::uint64_t> sequence{0};
    return sequence++;
}

HostWindow::HostWindow(std::vector<std::optional<std::string>> playlist, int listPos,
                       const std::atomic<int>* frames)
    : playlist_(std::move(playlist)), listPos_(listPos), frames_(frames) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kHostWindowClass;
    // A second host in the same process (tests run several) finds the class already there.
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the player window class");
    creating = this;
    hwnd_ = CreateWindowExA(0, kHostWindowClass, "vishost", WS_OVERLAPPEDWINDOW, 0, 0, 275, 116,
                            nullptr, nullptr, instance, this);
    creating = nullptr;
    if (!hwnd_) throw std::runtime_error("cannot create the player window");
}

HostWindow::~HostWindow() {
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    UnregisterClassA(kHostWindowClass, GetModuleHandleA(nullptr)); // fails while others live
}

LRESULT CALLBACK HostWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HostWindow* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self && message == WM_NCCREATE) {
        self = static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) self = creating;
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);

    RecordedMessage record;
    record.sequence = nextEventSequence();
    record.message = message;
    record.wParam = wParam;
    record.lParam = lParam;
    record.frame = self->frames_ ? self->frames_->load() : 0;
    const MSG* queued = dispatching;
    dispatching = nullptr;
    record.posted = queued && queued->hwnd == hwnd && queued->message == message &&
                    queued->wParam == wParam && queued->lParam == lParam;
    // Record before answering, so nested messages come after the one that caused them.
    const std::size_t at = self->messages_.size();
    self->messages_.push_back(record);
    const LRESULT result = self->answer(hwnd, message, wParam, lParam);
    self->messages_[at].result = result;
    if (message == WM_USER && lParam == kIpcGetPlaylistTitle && result)
        self->messages_[at].title = reinterpret_cast<const char*>(result);
    return result;
}

LRESULT HostWindow::answer(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_USER:
        if (lParam == kIpcGetListPos) return listPos_;
        if (lParam == kIpcGetPlaylistTitle) {
            if (wParam >= playlist_.size() || !playlist_[wParam]) return 0;
            return reinterpret_cast<LRESULT>(playlist_[wParam]->c_str());
        }
        return 0;
    case WM_CLOSE:
        return 0; // the host decides when the player window goes
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool pumpMessages(int* quitCode) {
    MSG msg;
    for (int n = 0; n < kMaxMessagesPerPump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            if (quitCode) *quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        TranslateMessage(&msg);
        dispatching = &msg;
        DispatchMessageA(&msg);
        dispatching = nullptr;
    }
    return true;
}

} // namespace lumacore::vishost
