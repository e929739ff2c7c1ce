#include "host/win32/dialog.h"

#include <commctrl.h>

#include "host/win32/close_request.h"

namespace lumacore {

void SliderControl::SetRange(int minimum, int maximum, bool redraw) {
    send(TBM_SETRANGEMIN, FALSE, minimum);
    send(TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
}

void SliderControl::SetPos(int position) {
    send(TBM_SETPOS, TRUE, position);
}

int SliderControl::GetPos() const {
    return static_cast<int>(send(TBM_GETPOS, 0, 0));
}

HINSTANCE libraryInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&libraryInstance), &module);
    return module;
}

Dialog::~Dialog() {
    DestroyWindow();
}

bool Dialog::Create(int templateId, HWND parent) {
    if (hwnd_ != nullptr) return true;
    parent_ = parent;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    hwnd_ = CreateDialogParamA(libraryInstance(), MAKEINTRESOURCEA(templateId), parent, dialogProc,
                               reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

void Dialog::ShowWindow(int command) const {
    if (hwnd_ != nullptr) ::ShowWindow(hwnd_, command);
}

bool Dialog::DestroyWindow() {
    if (hwnd_ == nullptr) return true;
    if (!closeOnOwnerThread(hwnd_)) return false;
    hwnd_ = nullptr;
    return true;
}

INT_PTR CALLBACK Dialog::dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCloseRequest) {
        // On the dialog's own thread: the object hears nothing more, the window goes.
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        ::DestroyWindow(hwnd);
        return TRUE;
    }
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
        dialog->DoDataExchange();
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    switch (message) {
    case WM_HSCROLL:
        dialog->OnHScroll(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_COMMAND:
        // The close box arrives as IDCANCEL.
        if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
            dialog->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            dialog->OnCancel();
            return TRUE;
        }
        return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

} // namespace lumacore
