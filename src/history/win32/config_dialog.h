// The configuration dialog of the spectrum-history display: brightness and speed sliders and a
// 2D/3D choice, applied to the running display as they change. Modeless, owned by the player's
// window; OK, Cancel and the close box only hide it.
#pragma once

#include "host/win32/dialog.h"

namespace lumacore {

class ConfigDialog : public Dialog {
  public:
    explicit ConfigDialog(HWND parent) : Dialog(parent) {}
    ~ConfigDialog() override = default;

    ButtonControl cancelButton;
    ButtonControl okButton;
    SliderControl speedSlider;
    SliderControl brightnessSlider;

  protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override { Dialog::OnOK(); }
    void OnCancel() override { Dialog::OnCancel(); }
    void OnHScroll(UINT code, UINT position, HWND control) override;
    bool OnCommand(WORD id, WORD notification) override;

  private:
    void on2D();
    void on3D();
};

// Shows the dialog, creating it on first use, topmost while the display is in full screen.
void openConfigDialog();
// Destroys the dialog, if any, on the thread that owns its window.
void closeConfigDialog();

} // namespace lumacore
