#include "envdialog/environment_dialog.h"

#include "common/files.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/address_dialog.h"
#include "envdialog/devices_dialog.h"
#include "envdialog/drive_dialog.h"
#include "envdialog/folder_browser.h"
#include "envdialog/load_driver.h"
#include "envdialog/log_collection.h"
#include "envdialog/target_zone.h"
#include "envdialog/network_status.h"
#include "envdialog/unlock_prompt.h"
#include "envdialog/wifi_dialog.h"
#include "envdialog/wifi_row.h"
#include "langmodule/langmodule.h"
#include "session/shared_state.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

namespace {

constexpr LONG_PTR kDialogMark = 1973;
const int kFolderColumnWidth = ScaleForDpi(100);  // pixels at 96 DPI, scaled
const int kVolumeColumnWidth = ScaleForDpi(100);
constexpr UINT_PTR kNetworkTimer = 1;  // the drive watch has timers of its own
constexpr UINT kNetworkPollMs = 2000;

EnvironmentPass* PassOf(HWND dialog)
{
    return reinterpret_cast<EnvironmentPass*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void AddComboText(HWND dialog, int control, const std::string& text)
{
    SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SelectComboIndex(HWND dialog, int control, int index)
{
    SendDlgItemMessageA(dialog, control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int ComboSelection(HWND dialog, int control)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, control, CB_GETCURSEL, 0, 0));
}

// The target-list index of the selected list-view item, or -1.
long long SelectedTarget(HWND dialog)
{
    return SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
}

// ---- filling the controls ----

void InsertColumn(HWND list, int index, UINT mask, int width, const std::string& heading)
{
    LVCOLUMNA column{};
    column.mask = mask;
    column.cx = width;
    column.pszText = const_cast<char*>(heading.c_str());
    column.cchTextMax = 128;
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

// Wide enough for the longest volume text, so that a mark such as ", hibernated" (a warning the
// operator must read) is not cut off, yet never more than a third of the list.
int VolumeColumnWidth(HWND list, const TTargetList& targets)
{
    constexpr int kCellPadding = 16;  // the list view's own margins on both sides of a cell
    int width = kVolumeColumnWidth;
    for (size_t i = 0; i < targets.Count(); ++i) {
        const std::string& text = targets.At(static_cast<long long>(i)).Volume;
        const auto textWidth =
            static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
        width = std::max(width, textWidth + kCellPadding);
    }
    return std::min(width, ClientWidth(list) / 3);
}

void FillTargetList(HWND dialog, const TTargetList& targets)
{
    HWND list = GetDlgItem(dialog, IDC_ENV_TARGETS);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    const int volumeWidth = VolumeColumnWidth(list, targets);
    InsertColumn(list, 0, LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM, kFolderColumnWidth, LoadLangString(IDS_COLUMN_FOLDER));
    InsertColumn(list, 1, LVCF_WIDTH | LVCF_TEXT, ClientWidth(list) - kFolderColumnWidth - volumeWidth,
                 LoadLangString(IDS_COLUMN_DESCRIPTION));
    // Drive letters shift between boots; the volume's label and size tell the disks apart.
    InsertColumn(list, 2, LVCF_WIDTH | LVCF_TEXT, volumeWidth, LoadLangStringOr(IDS_COLUMN_VOLUME, "Volume"));
    for (size_t i = 0; i < targets.Count(); ++i) AddTargetItem(dialog, static_cast<int>(i));
}

void FillCatalogueCombos(HWND dialog, const EnvironmentPass& pass)
{
    for (size_t i = 0; i < pass.Layouts.Count(); ++i) {
        const TLayoutInfo& layout = pass.Layouts.At(static_cast<long long>(i));
        AddComboText(dialog, IDC_ENV_LAYOUT, layout.Id + " " + layout.Text);
    }
    SelectComboIndex(dialog, IDC_ENV_LAYOUT, FindCurrentLayout(pass.Layouts));
    for (size_t i = 0; i < pass.DisplayModes.Count(); ++i) {
        AddComboText(dialog, IDC_ENV_DISPLAY, pass.DisplayModes.At(static_cast<long long>(i)).Text);
    }
    SelectComboIndex(dialog, IDC_ENV_DISPLAY, FindCurrentDisplayMode(pass.DisplayModes));
    for (size_t i = 0; i < pass.TimeZones.Count(); ++i) {
        AddComboText(dialog, IDC_ENV_TIMEZONE, pass.TimeZones.At(static_cast<long long>(i)).Display);
    }
    SelectComboIndex(dialog, IDC_ENV_TIMEZONE, FindCurrentTimeZone(pass.TimeZones));
    const TShellList& shells = Shared().Settings.ShellList;
    for (size_t i = 0; i < shells.Count(); ++i) {
        AddComboText(dialog, IDC_ENV_SHELL, shells.At(static_cast<long long>(i)).Name);
    }
    SelectComboIndex(dialog, IDC_ENV_SHELL, 0);
}

void RestoreKeptSelection(HWND dialog, EnvironmentPass& pass)
{
    if (!pass.Kept.Kept) return;
    KeptSelection kept = std::exchange(pass.Kept, KeptSelection());
    for (long long i = 0; i < NoTargetIndex(pass.Targets); ++i) {
        if (pass.Targets.At(i).Path != kept.Target) continue;
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        pass.Dialog.RestoringSelection = true;
        SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
        pass.Dialog.RestoringSelection = false;
        SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_ENSUREVISIBLE, i, FALSE);
        break;
    }
    if (kept.Shell >= 0 && static_cast<size_t>(kept.Shell) < Shared().Settings.ShellList.Count()) {
        SelectComboIndex(dialog, IDC_ENV_SHELL, kept.Shell);
    }
}

void ShowNetworkStatus(HWND dialog)
{
    NetworkStatus status = CurrentNetworkStatus();
    ShowNetworkText(dialog, status);
    bool startable = status.state == NetworkState::NotStarted || status.state == NetworkState::NoAdapter ||
                     status.state == NetworkState::Waiting;
    EnableWindow(GetDlgItem(dialog, IDC_ENV_NETWORK_START), startable);
}

void InitEnvironmentDialog(HWND dialog, EnvironmentPass& pass)
{
    // The window's own user data carries the dialog's mark; DWLP_USER (set by the procedure) is
    // the dialog's, and holds the pass.
    SetWindowLongPtrA(dialog, GWLP_USERDATA, kDialogMark);
    AddMissingControls(dialog, IDD_ENVIRONMENT);
    AddWifiButton(dialog);
    pass.Dialog = EnvironmentDialogState();
    pass.Dialog.LongForm = RecordLongForm(dialog);
    pass.Dialog.OkText = DialogItemText(dialog, IDOK);
    FillTargetList(dialog, pass.Targets);
    FillCatalogueCombos(dialog, pass);
    RestoreKeptSelection(dialog, pass);
    CheckDlgButton(dialog, IDC_ENV_REMOVABLE, Shared().SearchRemovableDrives ? BST_CHECKED : BST_UNCHECKED);
    ShowNetworkStatus(dialog);
    SetTimer(dialog, kNetworkTimer, kNetworkPollMs, nullptr);
    StartDriveWatch(dialog);
    const TSettings& settings = Shared().Settings;
    if (settings.LessLogonMode) CollapseEnvironmentDialog(dialog);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), settings.EnableRebootButton);
    CentreOnScreen(dialog);
    LogEvent("dialog", {{"action", "shown"}, {"entries", std::to_string(pass.Targets.Count())},
                        {"shells", std::to_string(settings.ShellList.Count())},
                        {"form", settings.LessLogonMode ? "short" : "long"}});
}

// ---- choosing a target and its time zone ----

void OnGetDisplayInfo(NMLVDISPINFOA& info, const TTargetList& targets)
{
    if (!(info.item.mask & LVIF_TEXT) || info.item.lParam < 0 ||
        static_cast<size_t>(info.item.lParam) >= targets.Count()) {
        return;
    }
    // The record outlives the dialog, so the control may keep pointing at its text.
    const TLokInfo& target = targets.At(info.item.lParam);
    const std::string& text = info.item.iSubItem <= 0   ? target.Path
                              : info.item.iSubItem == 1 ? target.Description
                                                        : target.Volume;
    info.item.pszText = const_cast<char*>(text.c_str());
}

void OnTargetChanged(HWND dialog, EnvironmentPass& pass, const NMLISTVIEW& change)
{
    if (change.uChanged != LVIF_STATE) return;
    bool wasSelected = change.uOldState & LVIS_SELECTED;
    bool isSelected = change.uNewState & LVIS_SELECTED;
    if (isSelected && !wasSelected) {
        const TTargetList& targets = pass.Targets;
        bool noTarget = change.lParam == NoTargetIndex(targets);
        // A locked drive is no target yet: OK unlocks it instead of taking a folder.
        bool locked = !noTarget && targets.At(change.lParam).Locked;
        bool folder = !noTarget && !locked;
        SelectTargetZone(dialog, pass, folder ? &targets.At(change.lParam) : nullptr);
        SetDlgItemTextA(dialog, IDC_ENV_FOLDER, folder ? targets.At(change.lParam).Path.c_str() : "");
        EnableWindow(GetDlgItem(dialog, IDC_ENV_FOLDER), folder);
        EnableWindow(GetDlgItem(dialog, IDC_ENV_BROWSE), folder);
        std::string okText = locked ? LoadLangStringOr(IDS_UNLOCK_BUTTON, "&Unlock...") : pass.Dialog.OkText;
        SetDlgItemTextA(dialog, IDOK, okText.c_str());
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    } else if (wasSelected && !isSelected) {
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    }
}

void OnNotify(HWND dialog, EnvironmentPass& pass, NMHDR& header)
{
    if (header.hwndFrom != GetDlgItem(dialog, IDC_ENV_TARGETS)) return;
    if (header.code == LVN_GETDISPINFOA) OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOA&>(header), pass.Targets);
    if (header.code == LVN_ITEMCHANGED) OnTargetChanged(dialog, pass, reinterpret_cast<NMLISTVIEW&>(header));
}

// The installation or locked drive selected in the list; null for none and the no-target entry.
const TLokInfo* SelectedInstallationEntry(HWND dialog, const TTargetList& targets)
{
    const long long index = SelectedTarget(dialog);
    if (index < 0 || index >= NoTargetIndex(targets)) return nullptr;
    return &targets.At(index);
}

// ---- commands ----

void OnOk(HWND dialog, const EnvironmentPass& pass)
{
    const TLokInfo* selected = SelectedInstallationEntry(dialog, pass.Targets);
    if (selected && selected->Locked) {
        if (RunUnlockPrompt(dialog, selected->Path[0])) EndDialog(dialog, kDrivesUnlocked);
        return;
    }
    SharedState& shared = Shared();
    // A Windows folder is a path: what is typed beyond MAX_PATH is cut off.
    shared.TargetRoot = DialogItemText(dialog, IDC_ENV_FOLDER).substr(0, MAX_PATH - 1);
    // Without a shell entry (none configured, or none selected) the shell in force stays, so the
    // operator always gets a shell.
    int shell = ComboSelection(dialog, IDC_ENV_SHELL);
    bool listed = shell >= 0 && static_cast<size_t>(shell) < shared.Settings.ShellList.Count();
    if (listed) {
        shared.ShellCommand = shared.Settings.ShellList.At(shell).CommandLine;
    }
    LogEvent("dialog", {{"action", "ok"}, {"target", shared.TargetRoot},
                        {"shell", listed ? shared.Settings.ShellList.At(shell).Name : "(the one in force)"},
                        {"form", shared.Settings.LessLogonMode ? "short" : "long"}});
    EndDialog(dialog, kConfirmed);
}

void OnShutdown(HWND dialog)
{
    if (RunShutdownChoice(dialog, IsSetupLoaderPresent())) EndDialog(dialog, kShutdownTaken);
}

void OnBrowse(HWND dialog)
{
    std::string folder = BrowseTargetFolder(dialog, DialogItemText(dialog, IDC_ENV_FOLDER));
    SetDlgItemTextA(dialog, IDC_ENV_FOLDER, folder.c_str());
    EnableWindow(GetDlgItem(dialog, IDOK), IsExistingFolder(folder));
}

// Ends the dialog for a new pass that finds the drives as they are now, keeping the selection.
void EndForNewPass(HWND dialog, EnvironmentPass& pass)
{
    const long long index = SelectedTarget(dialog);
    pass.Kept.Kept = true;
    pass.Kept.Target = index >= 0 && index < NoTargetIndex(pass.Targets) ? pass.Targets.At(index).Path : "";
    pass.Kept.Shell = ComboSelection(dialog, IDC_ENV_SHELL);
    EndDialog(dialog, kDrivesChanged);
}

// Kept for the session; a new pass searches the drives with the choice in force.
void OnSearchRemovable(HWND dialog, EnvironmentPass& pass)
{
    const bool search = IsDlgButtonChecked(dialog, IDC_ENV_REMOVABLE) == BST_CHECKED;
    if (search == Shared().SearchRemovableDrives) return;
    Shared().SearchRemovableDrives = search;
    LogEvent("scan", {{"removable", search ? "searched" : "skipped"}});
    EndForNewPass(dialog, pass);
}

void OnLoadDriver(HWND dialog, EnvironmentPass& pass)
{
    if (RunLoadDriver(dialog)) EndForNewPass(dialog, pass);
}

// The Windows folder of the installation selected in the list; empty for none, the no-target
// entry or a locked drive.
std::string SelectedInstallation(HWND dialog, const TTargetList& targets)
{
    const TLokInfo* selected = SelectedInstallationEntry(dialog, targets);
    return selected && !selected->Locked ? selected->Path : std::string();
}

void OnStartNetwork(HWND dialog)
{
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_NETWORK_START))) return;
    StartNetwork();
    ShowNetworkStatus(dialog);
}

void OnCommand(HWND dialog, EnvironmentPass& pass, int control)
{
    switch (control) {
    case IDOK: OnOk(dialog, pass); break;
    case IDCANCEL: OnShutdown(dialog); break;
    case IDC_ENV_TOGGLE: IsLongForm(dialog) ? CollapseEnvironmentDialog(dialog) : ExpandEnvironmentDialog(dialog); break;
    case IDC_ENV_BROWSE: OnBrowse(dialog); break;
    case IDC_ENV_NETWORK_START: OnStartNetwork(dialog); break;
    case IDC_ENV_WIFI:
        RunWifiDialog(dialog);
        ShowNetworkStatus(dialog);
        break;
    case IDC_ENV_LOAD_DRIVER: OnLoadDriver(dialog, pass); break;
    case IDC_ENV_DEVICES: RunDevicesDialog(dialog); break;
    case IDC_ENV_REMOVABLE: OnSearchRemovable(dialog, pass); break;
    case IDC_ENV_NETWORK_SETTINGS: RunAddressDialog(dialog); break;
    case IDC_ENV_NETWORK_DRIVE: RunDriveDialog(dialog); break;
    case IDC_ENV_COLLECT_LOGS: CollectLogs(dialog, SelectedInstallation(dialog, pass.Targets)); break;
    case IDC_ENV_APPLY_LAYOUT: ApplyLayout(pass.Layouts, ComboSelection(dialog, IDC_ENV_LAYOUT)); break;
    case IDC_ENV_APPLY_TIMEZONE: ApplyTimeZone(pass.TimeZones, ComboSelection(dialog, IDC_ENV_TIMEZONE)); break;
    case IDC_ENV_APPLY_DISPLAY:
        ApplyDisplayModeAt(pass.DisplayModes, ComboSelection(dialog, IDC_ENV_DISPLAY));
        CentreOnScreen(dialog);  // the screen may have another size now
        break;
    }
}

void OnTimer(HWND dialog, EnvironmentPass& pass, UINT_PTR timer)
{
    if (timer == kNetworkTimer) ShowNetworkStatus(dialog);
    if (OnDriveWatchTimer(dialog, timer, pass.Drives)) EndForNewPass(dialog, pass);
}

}  // namespace

void CollapseEnvironmentDialog(HWND dialog)
{
    if (const EnvironmentPass* pass = PassOf(dialog)) SwitchForm(dialog, pass->Dialog.LongForm, true);
}

void ExpandEnvironmentDialog(HWND dialog)
{
    if (const EnvironmentPass* pass = PassOf(dialog)) SwitchForm(dialog, pass->Dialog.LongForm, false);
}

void AddTargetItem(HWND dialog, int index)
{
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.pszText = LPSTR_TEXTCALLBACKA;
    item.cchTextMax = 128;
    item.iImage = I_IMAGECALLBACK;
    item.lParam = index;
    SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

INT_PTR CALLBACK EnvironmentDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        if (auto* pass = reinterpret_cast<EnvironmentPass*>(lParam)) InitEnvironmentDialog(dialog, *pass);
        return TRUE;
    }
    EnvironmentPass* pass = PassOf(dialog);
    if (!pass) return FALSE;
    switch (message) {
    case WM_NOTIFY:
        OnNotify(dialog, *pass, *reinterpret_cast<NMHDR*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, *pass, LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(dialog, *pass, wParam);
        return TRUE;
    case WM_DEVICECHANGE:
        // TRUE from a dialog procedure hands on DWLP_MSGRESULT as the answer: for the events
        // handled, the TRUE the broadcast asks for; the others go to the default handling.
        if (!OnDeviceChange(dialog, wParam, lParam)) return FALSE;
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kNetworkTimer);
        StopDriveWatch(dialog);
        return FALSE;
    }
    return FALSE;
}
