// A small modeless-dialog layer in the shape the configuration dialog expects of a class
// library: a dialog created from a template in this library's resources, member controls bound
// to their ids, and overridable handlers for initialisation, OK, Cancel, horizontal scrolls and
// commands. Only what the plug-in uses is here.
#pragma once

#include <windows.h>

namespace lumacore {

// A control of a dialog, bound by id when the dialog initialises.
class DialogControl {
  public:
    void bind(HWND dialog, int id) { hwnd_ = GetDlgItem(dialog, id); }
    HWND hwnd() const { return hwnd_; }

  protected:
    LRESULT send(UINT message, WPARAM wParam, LPARAM lParam) const {
        return hwnd_ ? SendMessageA(hwnd_, message, wParam, lParam) : 0;
    }

  private:
    HWND hwnd_ = nullptr;
};

class ButtonControl : public DialogControl {};

// A trackbar ("msctls_trackbar32").
class SliderControl : public DialogControl {
  public:
    void SetRange(int minimum, int maximum, bool redraw);
    void SetPos(int position);
    int GetPos() const;
};

class Dialog {
  public:
    explicit Dialog(HWND parent) : parent_(parent) {}
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the modeless dialog window from template `templateId` of this library, owned by
    // `parent`; false when the window cannot be created.
    bool Create(int templateId, HWND parent);
    void ShowWindow(int command) const;
    // Destroys the window on the thread that owns it (close_request.h). False when that thread
    // did not answer in time: the window then goes when it next takes its messages and still
    // uses this object until then, so the object must be kept alive.
    bool DestroyWindow();
    HWND hwnd() const { return hwnd_; }

  protected:
    // Binds member controls to their ids; called before OnInitDialog.
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog() { return TRUE; }
    // Ending a modeless dialog hides its window; nothing is destroyed or undone.
    virtual void OnOK() { ShowWindow(SW_HIDE); }
    virtual void OnCancel() { ShowWindow(SW_HIDE); }
    virtual void OnHScroll(UINT /*code*/, UINT /*position*/, HWND /*control*/) {}
    // A command other than OK and Cancel; true when handled.
    virtual bool OnCommand(WORD /*id*/, WORD /*notification*/) { return false; }

    HWND parent() const { return parent_; }

  private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND parent_;
    HWND hwnd_ = nullptr;
};

// This library's module handle (the DLL's, not the process's).
HINSTANCE libraryInstance();

} // namespace lumacore
