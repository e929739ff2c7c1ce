#include "history/win32/config_dialog.h"

#include <commctrl.h>

#include <new>
#include <utility>

#include "history/history_state.h"
#include "history/win32/history_settings.h"
#include "host/arith.h"
#include "host/win32/module_table.h"
#include "resources/resource.h"

namespace lumacore {

void ConfigDialog::DoDataExchange() {
    cancelButton.bind(hwnd(), IDCANCEL);
    okButton.bind(hwnd(), IDOK);
    speedSlider.bind(hwnd(), IDC_SPEED_SLIDER);
    brightnessSlider.bind(hwnd(), IDC_BRIGHTNESS_SLIDER);
}

BOOL ConfigDialog::OnInitDialog() {
    Dialog::OnInitDialog();
    HistoryState& state = historyState();
    speedSlider.SetRange(state.speedMin, state.speedMax, false);
    brightnessSlider.SetRange(truncToInt(state.brightnessMin * 10.0),
                              truncToInt(state.brightnessMax * 10.0), false);
    loadHistorySettings(*getModule(0));
    speedSlider.SetPos(speedValue(state, -1));
    brightnessSlider.SetPos(truncToInt(brightnessValue(state, -1.0f) * 10.0));
    CheckRadioButton(hwnd(), IDC_MODE_2D, IDC_MODE_3D, IDC_MODE_2D + currentMode(state));
    return TRUE;
}

void ConfigDialog::OnHScroll(UINT code, UINT position, HWND control) {
    // Only dragging the thumb and letting it go act; the position comes from the control, so
    // arrow keys, page clicks and the end of tracking change nothing.
    if (code == TB_THUMBPOSITION || code == TB_THUMBTRACK) {
        HistoryState& state = historyState();
        if (control != nullptr && control == speedSlider.hwnd())
            speedValue(state, speedSlider.GetPos());
        else if (control != nullptr && control == brightnessSlider.hwnd())
            brightnessValue(state, static_cast<float>(brightnessSlider.GetPos()) * 0.1f);
    }
    Dialog::OnHScroll(code, position, control);
}

bool ConfigDialog::OnCommand(WORD id, WORD notification) {
    if (notification != BN_CLICKED) return false;
    if (id == IDC_MODE_2D) {
        on2D();
        return true;
    }
    if (id == IDC_MODE_3D) {
        on3D();
        return true;
    }
    return false;
}

void ConfigDialog::on2D() {
    CheckRadioButton(hwnd(), IDC_MODE_2D, IDC_MODE_3D, IDC_MODE_2D);
    setMode(historyState(), 0);
}

void ConfigDialog::on3D() {
    CheckRadioButton(hwnd(), IDC_MODE_2D, IDC_MODE_3D, IDC_MODE_3D);
    setMode(historyState(), 1);
}

void openConfigDialog() {
    HistoryState& state = historyState();
    HWND parent = static_cast<HWND>(getModule(0)->hwndParent);
    if (state.configDialog == nullptr) {
        state.configDialog = new (std::nothrow) ConfigDialog(parent);
        if (state.configDialog == nullptr) return;
    }
    // A dialog whose window could not be created earlier gets another try.
    if (state.configDialog->hwnd() == nullptr &&
        !state.configDialog->Create(IDD_CONFIGURATION, parent))
        return;
    state.configDialog->ShowWindow(SW_SHOW);
    SetWindowPos(state.configDialog->hwnd(), state.fullScreen ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
                 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void closeConfigDialog() {
    ConfigDialog* dialog = std::exchange(historyState().configDialog, nullptr);
    // A dialog whose thread could not destroy it now keeps its object: the window goes when that
    // thread takes its messages again and reads the object until then (a few bytes, never freed).
    if (dialog != nullptr && dialog->DestroyWindow()) delete dialog;
}

} // namespace lumacore
