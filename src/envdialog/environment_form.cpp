#include "envdialog/environment_form.h"

#include "common/resource_ids.h"
#include "common/window.h"
#include "envdialog/form_rules.h"
#include "langmodule/langmodule.h"
#include "session/shared_state.h"

namespace {

const int kLongFormControls[] = {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE_LABEL, IDC_ENV_DISPLAY_LABEL,
                                 IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE, IDC_ENV_APPLY_DISPLAY,
                                 IDC_ENV_LAYOUT,       IDC_ENV_TIMEZONE,       IDC_ENV_DISPLAY,
                                 IDC_ENV_NETWORK_LABEL, IDC_ENV_NETWORK_STATUS, IDC_ENV_NETWORK_START,
                                 IDC_ENV_WIFI,          IDC_ENV_NETWORK_SETTINGS};

bool IsLongFormControl(HWND dialog, HWND control)
{
    for (int id : kLongFormControls) {
        if (GetDlgItem(dialog, id) == control) return true;
    }
    return false;
}

// The template's keyboard, time-zone, display and network rows make one band; rows the program
// added below the template make another.
std::vector<FormBand> LongFormBands(HWND dialog, const LongFormLayout& longForm)
{
    std::vector<int> longTops;
    std::vector<int> stayingTops;
    for (const auto& [control, corner] : longForm.Corners) {
        (IsLongFormControl(dialog, control) ? longTops : stayingTops).push_back(corner.y);
    }
    // The long form's client bottom, also while the dialog shows the short one.
    RECT client{};
    GetClientRect(dialog, &client);
    return ShortFormBands(longTops, stayingTops, client.bottom + (longForm.Height - WindowHeight(dialog)));
}

}  // namespace

LongFormLayout RecordLongForm(HWND dialog)
{
    LongFormLayout longForm;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        longForm.Corners.emplace_back(child, ControlPosition(child));
    }
    longForm.Height = WindowHeight(dialog);
    return longForm;
}

void SwitchForm(HWND dialog, const LongFormLayout& longForm, bool shortForm)
{
    const std::vector<FormBand> bands = LongFormBands(dialog, longForm);
    for (int control : kLongFormControls) ShowWindow(GetDlgItem(dialog, control), shortForm ? SW_HIDE : SW_SHOW);
    SetDlgItemTextA(dialog, IDC_ENV_TOGGLE,
                    LoadLangString(shortForm ? IDS_TOGGLE_EXPAND : IDS_TOGGLE_COLLAPSE).c_str());
    for (const auto& [control, corner] : longForm.Corners) {
        if (IsLongFormControl(dialog, control)) continue;
        const int shift = shortForm ? ShortFormShift(bands, corner.y) : 0;
        SetWindowPos(control, nullptr, corner.x, corner.y - shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    SetWindowPos(dialog, nullptr, 0, 0, WindowWidth(dialog),
                 longForm.Height - (shortForm ? ShortFormSaving(bands) : 0), SWP_NOMOVE | SWP_NOOWNERZORDER);
    Shared().Settings.LessLogonMode = shortForm;
    CentreOnScreen(dialog);
}

bool IsLongForm(HWND dialog) { return IsControlShown(dialog, IDC_ENV_LAYOUT_LABEL); }
