#include "envdialog/environment_dialog.h"

#include "catalogues/timezone_rules.h"
#include "common/errors.h"
#include "common/files.h"
#include "common/program.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/devices_dialog.h"
#include "envdialog/folder_browser.h"
#include "envdialog/log_collection.h"
#include "envdialog/network_status.h"
#include "envdialog/unlock_prompt.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dbt.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

constexpr INT_PTR kConfirmed = 1;
constexpr INT_PTR kDrivesUnlocked = 2;  // the catalogues are built again, with the unlocked drive's installations
constexpr INT_PTR kDrivesChanged = 3;   // likewise, for a drive that came or went or a driver loaded
constexpr INT_PTR kShutdownTaken = 10;
constexpr INT_PTR kLastReturningResult = 3;
constexpr LONG_PTR kDialogMark = 1973;
const int kFolderColumnWidth = ScaleForDpi(100);  // pixels at 96 DPI, scaled
const int kVolumeColumnWidth = ScaleForDpi(100);
constexpr UINT_PTR kNetworkTimer = 1;
constexpr UINT kNetworkPollMs = 2000;
constexpr UINT_PTR kDrivesTimer = 2;
constexpr UINT kDrivesSettleMs = 1000;  // a disk with several volumes announces each one
constexpr UINT_PTR kLettersTimer = 3;
constexpr UINT kLettersPollMs = 2000;
constexpr int kTextBuffer = 260;
constexpr const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment\\";

const int kLongFormControls[] = {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE_LABEL, IDC_ENV_DISPLAY_LABEL,
                                 IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE, IDC_ENV_APPLY_DISPLAY,
                                 IDC_ENV_LAYOUT,       IDC_ENV_TIMEZONE,       IDC_ENV_DISPLAY,
                                 IDC_ENV_NETWORK_LABEL, IDC_ENV_NETWORK_STATUS, IDC_ENV_NETWORK_START};

// The template's text of OK, put back when the selection leaves a locked drive.
std::string g_okText;

// The long form as the template (and any controls the program added) laid it out: the short
// form is computed from it, and the long form put back from it.
struct LongFormLayout {
    std::vector<std::pair<HWND, POINT>> corners;
    int height = 0;
};
LongFormLayout g_longForm;

// What the operator had selected when a new pass was started from inside the dialog, given back
// by the next one when it is still there.
struct KeptSelection {
    bool kept = false;
    std::string target;
    int shell = -1;
};
KeptSelection g_kept;

// The drive letters in use when the pass's scan began: a letter that comes or goes after that
// is a volume the pass has not seen, whether or not its broadcast reached the dialog.
DWORD g_passLetters = 0;
// The entry of the time-zone list shown as the selected installation's, or -1.
int g_markedZone = -1;
// The installations whose zone TimeZoneFromTarget= has applied in this pass.
std::set<std::string> g_zonesApplied;
// Set while a new pass gives back the operator's selection: that is no choice of the operator's,
// so it applies no zone (which could undo a zone the operator chose after the installation's).
bool g_restoringSelection = false;

// A text of the module with %1 and %2 filled in.
std::string Filled(UINT id, const char* fallback, const std::string& first, const std::string& second = "")
{
    return FillPlaceholders(LoadLangStringOr(id, fallback), {first, second});
}

// ---- one pass: catalogues and scan dialog ----

void CreateCatalogues()
{
    SharedState& shared = Shared();
    shared.TargetList = std::make_unique<TTargetList>();
    shared.LayoutList = std::make_unique<TLayoutList>();
    shared.TimeZoneList = std::make_unique<TTimeZoneList>();
    shared.DisplayModeList = std::make_unique<TDisplayModeList>();
}

void DestroyCatalogues()
{
    SharedState& shared = Shared();
    shared.TargetList.reset();
    shared.LayoutList.reset();
    shared.DisplayModeList.reset();
    shared.TimeZoneList.reset();
}

// The scan dialog stays up, unpumped, while the builders run; it shows which drive is searched.
void BuildCataloguesUnderScanDialog(HWND owner)
{
    HWND scan = CreateLangDialog(IDD_SCAN, owner);
    Shared().ScanDialogWindow = scan;
    ScopeExit closeScan([scan] {
        if (scan) DestroyWindow(scan);
        Shared().ScanDialogWindow = nullptr;
    });
    SendDlgItemMessageA(scan, IDC_SCAN_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MakeLong(0, 8));

    BuildDisplayModeList();
    BuildLayoutList();
    BuildTimeZoneList();
    BuildTargetList();
    // Once per pass, so that a collected log names the driver still to look for.
    LogDevicesWithoutDriver(ReadDevices());
}

// ---- dialog set-up ----

std::string DialogItemText(HWND dialog, int control)
{
    char text[kTextBuffer] = "";
    GetDlgItemTextA(dialog, control, text, kTextBuffer);
    return text;
}

void InsertColumn(HWND list, int index, UINT mask, int width, const std::string& heading)
{
    LVCOLUMNA column{};
    column.mask = mask;
    column.cx = width;
    column.pszText = const_cast<char*>(heading.c_str());
    column.cchTextMax = 128;
    SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void FillTargetList(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_ENV_TARGETS);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    InsertColumn(list, 0, LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM, kFolderColumnWidth, LoadLangString(IDS_COLUMN_FOLDER));
    InsertColumn(list, 1, LVCF_WIDTH | LVCF_TEXT, ClientWidth(list) - kFolderColumnWidth - kVolumeColumnWidth,
                 LoadLangString(IDS_COLUMN_DESCRIPTION));
    // Drive letters shift between boots; the volume's label and size tell the disks apart.
    InsertColumn(list, 2, LVCF_WIDTH | LVCF_TEXT, kVolumeColumnWidth, LoadLangStringOr(IDS_COLUMN_VOLUME, "Volume"));
    for (size_t i = 0; i < Shared().TargetList->Count(); ++i) AddTargetItem(dialog, static_cast<int>(i));
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

void FillCatalogueCombos(HWND dialog)
{
    const SharedState& shared = Shared();
    for (size_t i = 0; i < shared.LayoutList->Count(); ++i) {
        const TLayoutInfo& layout = shared.LayoutList->At(static_cast<long long>(i));
        AddComboText(dialog, IDC_ENV_LAYOUT, layout.Id + " " + layout.Text);
    }
    SelectComboIndex(dialog, IDC_ENV_LAYOUT, FindCurrentLayout());
    for (size_t i = 0; i < shared.DisplayModeList->Count(); ++i) {
        AddComboText(dialog, IDC_ENV_DISPLAY, shared.DisplayModeList->At(static_cast<long long>(i)).Text);
    }
    SelectComboIndex(dialog, IDC_ENV_DISPLAY, FindCurrentDisplayMode());
    for (size_t i = 0; i < shared.TimeZoneList->Count(); ++i) {
        AddComboText(dialog, IDC_ENV_TIMEZONE, shared.TimeZoneList->At(static_cast<long long>(i)).Display);
    }
    SelectComboIndex(dialog, IDC_ENV_TIMEZONE, FindCurrentTimeZone());
    for (size_t i = 0; i < shared.Settings.ShellList.Count(); ++i) {
        AddComboText(dialog, IDC_ENV_SHELL, shared.Settings.ShellList.At(static_cast<long long>(i)).Name);
    }
    SelectComboIndex(dialog, IDC_ENV_SHELL, 0);
}

void RecordLongForm(HWND dialog)
{
    g_longForm = LongFormLayout();
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        g_longForm.corners.emplace_back(child, ControlPosition(child));
    }
    g_longForm.height = WindowHeight(dialog);
}

void RestoreKeptSelection(HWND dialog)
{
    if (!g_kept.kept) return;
    KeptSelection kept = std::exchange(g_kept, KeptSelection());
    const TTargetList& targets = *Shared().TargetList;
    for (size_t i = 0; i + 1 < targets.Count(); ++i) {
        if (targets.At(static_cast<long long>(i)).Path != kept.target) continue;
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        g_restoringSelection = true;
        SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
        g_restoringSelection = false;
        SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_ENSUREVISIBLE, i, FALSE);
        break;
    }
    if (kept.shell >= 0 && static_cast<size_t>(kept.shell) < Shared().Settings.ShellList.Count()) {
        SelectComboIndex(dialog, IDC_ENV_SHELL, kept.shell);
    }
}

void ShowNetworkStatus(HWND dialog)
{
    NetworkStatus status = CurrentNetworkStatus();
    SetDlgItemTextA(dialog, IDC_ENV_NETWORK_STATUS, NetworkStatusText(status).c_str());
    bool startable = status.state == NetworkState::NotStarted || status.state == NetworkState::NoAdapter ||
                     status.state == NetworkState::Waiting;
    EnableWindow(GetDlgItem(dialog, IDC_ENV_NETWORK_START), startable);
}

void InitEnvironmentDialog(HWND dialog)
{
    SetWindowLongPtrA(dialog, GWLP_USERDATA, kDialogMark);
    AddMissingControls(dialog, IDD_ENVIRONMENT);
    RecordLongForm(dialog);
    g_okText = DialogItemText(dialog, IDOK);
    g_markedZone = -1;
    g_zonesApplied.clear();
    FillTargetList(dialog);
    FillCatalogueCombos(dialog);
    RestoreKeptSelection(dialog);
    ShowNetworkStatus(dialog);
    SetTimer(dialog, kNetworkTimer, kNetworkPollMs, nullptr);
    SetTimer(dialog, kLettersTimer, kLettersPollMs, nullptr);
    if (Shared().Settings.LessLogonMode) CollapseEnvironmentDialog(dialog);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), Shared().Settings.EnableRebootButton);
    CentreOnScreen(dialog);
    LogEvent("dialog", {{"action", "shown"}, {"entries", std::to_string(Shared().TargetList->Count())},
                        {"shells", std::to_string(Shared().Settings.ShellList.Count())},
                        {"form", Shared().Settings.LessLogonMode ? "short" : "long"}});
}

// ---- list view ----

void OnGetDisplayInfo(NMLVDISPINFOA& info)
{
    const TTargetList& targets = *Shared().TargetList;
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

// The installation's zone in the time-zone list: by its key name, or by the standard name an
// installation without key names (Windows XP) keeps; -1 when the list lacks it.
int FindTargetZone(const TLokInfo& target)
{
    const TTimeZoneList& zones = *Shared().TimeZoneList;
    for (size_t i = 0; !target.TimeZoneKey.empty() && i < zones.Count(); ++i) {
        if (lstrcmpiA(zones.At(static_cast<long long>(i)).KeyName.c_str(), target.TimeZoneKey.c_str()) == 0) {
            return static_cast<int>(i);
        }
    }
    return target.TimeZoneName.empty() ? -1 : FindZoneIndex(zones, target.TimeZoneName);
}

// A drop-down list shows its items' own texts, so the mark is part of the item's text.
void SetZoneText(HWND dialog, int zone, const std::string& text)
{
    const int selected = ComboSelection(dialog, IDC_ENV_TIMEZONE);
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_DELETESTRING, static_cast<WPARAM>(zone), 0);
    SendDlgItemMessageA(dialog, IDC_ENV_TIMEZONE, CB_INSERTSTRING, static_cast<WPARAM>(zone),
                        reinterpret_cast<LPARAM>(text.c_str()));
    SelectComboIndex(dialog, IDC_ENV_TIMEZONE, selected);
}

void MarkTargetZone(HWND dialog, int zone)
{
    if (zone == g_markedZone) return;
    const TTimeZoneList& zones = *Shared().TimeZoneList;
    if (g_markedZone >= 0) SetZoneText(dialog, g_markedZone, zones.At(g_markedZone).Display);
    g_markedZone = zone;
    // The mark leads: a zone's name is longer than the closed list is wide.
    if (zone >= 0) SetZoneText(dialog, zone, Filled(IDS_TARGET_ZONE, "Installation: %1", zones.At(zone).Display));
}

// Selecting an installation selects its own zone for Apply; TimeZoneFromTarget= applies it at
// once, the first time the installation is selected in the pass.
void SelectTargetZone(HWND dialog, const TLokInfo* target)
{
    const int zone = target ? FindTargetZone(*target) : -1;
    MarkTargetZone(dialog, zone);
    if (zone < 0) {
        if (target && (!target->TimeZoneKey.empty() || !target->TimeZoneName.empty())) {
            LogEvent("zone", {{"installation", target->Path}, {"key", target->TimeZoneKey},
                              {"standard", target->TimeZoneName}, {"result", "not-listed"}});
        }
        return;
    }
    SelectComboIndex(dialog, IDC_ENV_TIMEZONE, zone);
    if (!Shared().Settings.TimeZoneFromTarget || g_restoringSelection) return;
    if (!g_zonesApplied.insert(target->Path).second) return;
    LogEvent("zone", {{"installation", target->Path}, {"action", "apply"},
                      {"entry", Shared().TimeZoneList->At(zone).Display}});
    ApplyTimeZone(zone);
}

void OnTargetChanged(HWND dialog, const NMLISTVIEW& change)
{
    if (change.uChanged != LVIF_STATE) return;
    bool wasSelected = change.uOldState & LVIS_SELECTED;
    bool isSelected = change.uNewState & LVIS_SELECTED;
    if (isSelected && !wasSelected) {
        const TTargetList& targets = *Shared().TargetList;
        bool noTarget = static_cast<size_t>(change.lParam) + 1 == targets.Count();
        // A locked drive is no target yet: OK unlocks it instead of taking a folder.
        bool locked = !noTarget && targets.At(change.lParam).Locked;
        bool folder = !noTarget && !locked;
        SelectTargetZone(dialog, folder ? &targets.At(change.lParam) : nullptr);
        SetDlgItemTextA(dialog, IDC_ENV_FOLDER, folder ? targets.At(change.lParam).Path.c_str() : "");
        EnableWindow(GetDlgItem(dialog, IDC_ENV_FOLDER), folder);
        EnableWindow(GetDlgItem(dialog, IDC_ENV_BROWSE), folder);
        std::string okText = locked ? LoadLangStringOr(IDS_UNLOCK_BUTTON, "&Unlock...") : g_okText;
        SetDlgItemTextA(dialog, IDOK, okText.c_str());
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    } else if (wasSelected && !isSelected) {
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    }
}

void OnNotify(HWND dialog, NMHDR& header)
{
    if (header.hwndFrom != GetDlgItem(dialog, IDC_ENV_TARGETS)) return;
    if (header.code == LVN_GETDISPINFOA) OnGetDisplayInfo(reinterpret_cast<NMLVDISPINFOA&>(header));
    if (header.code == LVN_ITEMCHANGED) OnTargetChanged(dialog, reinterpret_cast<NMLISTVIEW&>(header));
}

// ---- commands ----

// The locked drive selected in the list, or 0 when the selection is no locked drive.
char SelectedLockedDrive(HWND dialog)
{
    const TTargetList& targets = *Shared().TargetList;
    auto index = SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0 || static_cast<size_t>(index) + 1 >= targets.Count()) return 0;
    const TLokInfo& target = targets.At(index);
    return target.Locked ? target.Path[0] : 0;
}

void OnOk(HWND dialog)
{
    if (char drive = SelectedLockedDrive(dialog)) {
        if (RunUnlockPrompt(dialog, drive)) EndDialog(dialog, kDrivesUnlocked);
        return;
    }
    SharedState& shared = Shared();
    shared.TargetRoot = DialogItemText(dialog, IDC_ENV_FOLDER);
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

bool IsLongForm(HWND dialog) { return IsControlShown(dialog, IDC_ENV_LAYOUT_LABEL); }

// Ends the dialog for a new pass that finds the drives as they are now, keeping the selection.
void EndForNewPass(HWND dialog)
{
    auto index = SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    const TTargetList& targets = *Shared().TargetList;
    g_kept.kept = true;
    g_kept.target = index >= 0 && static_cast<size_t>(index) + 1 < targets.Count() ? targets.At(index).Path : "";
    g_kept.shell = ComboSelection(dialog, IDC_ENV_SHELL);
    EndDialog(dialog, kDrivesChanged);
}

std::string ChooseDriverFile(HWND dialog)
{
    // The filter is two texts, each ended by a zero, and a zero after the last.
    std::string filter = LoadLangStringOr(IDS_DRIVER_FILTER, "Driver setup information (*.inf)");
    filter += std::string("\0*.inf\0", 7) + '\0';
    char file[MAX_PATH] = "";
    const std::string folder = DriverFolderPath();
    OPENFILENAMEA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = filter.c_str();
    choice.lpstrFile = file;
    choice.nMaxFile = MAX_PATH;
    choice.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    choice.lpstrDefExt = "inf";
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    return GetOpenFileNameA(&choice) ? std::string(file) : std::string();
}

// drvload runs under the wait cursor with the dialog disabled: no command of the dialog, and no
// new pass for a disk that arrives meanwhile, can start before it has ended.
void OnLoadDriver(HWND dialog)
{
    const std::string inf = ChooseDriverFile(dialog);
    if (inf.empty()) return;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EnableWindow(dialog, FALSE);
    ToolRun run = LoadDriver(inf);
    if (run.outcome == ToolRun::Outcome::Ran && run.exitCode == 0) WaitForDeviceInstalls();
    // Keys and clicks made meanwhile were meant for a dialog that was busy: handled now, one
    // could close the box below unread, or press OK and start the shell.
    DropQueuedInput();
    EnableWindow(dialog, TRUE);
    SetCursor(previous);
    const std::string caption = LoadLangStringOr(IDS_DRIVER_CAPTION, "Load Driver");
    if (run.outcome == ToolRun::Outcome::Missing) {
        ShowLoggedMessageBox(dialog, Filled(IDS_DRIVER_NO_TOOL, "This Windows PE image cannot load drivers: %1 is missing from it.", run.path),
                             caption, MB_OK | MB_ICONERROR);
        return;
    }
    if (run.outcome != ToolRun::Outcome::Ran || run.exitCode != 0) {
        std::string code = run.outcome == ToolRun::Outcome::Ran          ? std::to_string(run.exitCode)
                           : run.outcome == ToolRun::Outcome::NotStarted ? SystemErrorText(run.error)
                                                                          : ToolOutcomeText(run.outcome);
        ShowLoggedMessageBox(dialog,
                             Filled(IDS_DRIVER_REFUSED,
                                    "drvload did not load the driver %1 (exit code %2). Check that the driver is made "
                                    "for this processor and this version of Windows.",
                                    inf, code),
                             caption, MB_OK | MB_ICONWARNING);
        return;
    }
    ShowLoggedMessageBox(dialog,
                         Filled(IDS_DRIVER_LOADED, "The driver %1 was loaded. Tarn Logon now searches the disks again.", inf),
                         caption, MB_OK | MB_ICONINFORMATION);
    EndForNewPass(dialog);
}

// The Windows folder of the installation selected in the list; empty for none, the no-target
// entry or a locked drive.
std::string SelectedInstallation(HWND dialog)
{
    const TTargetList& targets = *Shared().TargetList;
    auto index = SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0 || static_cast<size_t>(index) + 1 >= targets.Count() || targets.At(index).Locked) return std::string();
    return targets.At(index).Path;
}

void OnStartNetwork(HWND dialog)
{
    if (!IsWindowEnabled(GetDlgItem(dialog, IDC_ENV_NETWORK_START))) return;
    StartNetwork();
    ShowNetworkStatus(dialog);
}

void OnCommand(HWND dialog, int control)
{
    switch (control) {
    case IDOK: OnOk(dialog); break;
    case IDCANCEL: OnShutdown(dialog); break;
    case IDC_ENV_TOGGLE: IsLongForm(dialog) ? CollapseEnvironmentDialog(dialog) : ExpandEnvironmentDialog(dialog); break;
    case IDC_ENV_BROWSE: OnBrowse(dialog); break;
    case IDC_ENV_NETWORK_START: OnStartNetwork(dialog); break;
    case IDC_ENV_LOAD_DRIVER: OnLoadDriver(dialog); break;
    case IDC_ENV_DEVICES: RunDevicesDialog(dialog); break;
    case IDC_ENV_COLLECT_LOGS: CollectLogs(dialog, SelectedInstallation(dialog)); break;
    case IDC_ENV_APPLY_LAYOUT: ApplyLayout(ComboSelection(dialog, IDC_ENV_LAYOUT)); break;
    case IDC_ENV_APPLY_TIMEZONE: ApplyTimeZone(ComboSelection(dialog, IDC_ENV_TIMEZONE)); break;
    case IDC_ENV_APPLY_DISPLAY:
        ApplyDisplayModeAt(ComboSelection(dialog, IDC_ENV_DISPLAY));
        CentreOnScreen(dialog);  // the screen may have another size now
        break;
    }
}

// ---- the two forms ----

bool IsLongFormControl(HWND dialog, HWND control)
{
    for (int id : kLongFormControls) {
        if (GetDlgItem(dialog, id) == control) return true;
    }
    return false;
}

// The bands of the long form, as [top, bottom) in client pixels: each runs from the top of a
// row of long-form controls to the top of the next control below that stays in the short form
// (or the dialog's bottom edge), so the gap above the band is kept. The template's keyboard,
// time-zone, display and network rows make one band; rows the program added below the
// template make another.
std::vector<std::pair<int, int>> LongFormBands(HWND dialog)
{
    std::vector<int> longTops;
    std::vector<int> shortTops;
    for (const auto& [control, corner] : g_longForm.corners) {
        (IsLongFormControl(dialog, control) ? longTops : shortTops).push_back(corner.y);
    }
    RECT client{};
    GetClientRect(dialog, &client);
    std::sort(longTops.begin(), longTops.end());
    std::vector<std::pair<int, int>> bands;
    for (int top : longTops) {
        if (!bands.empty() && top < bands.back().second) continue;
        int bottom = client.bottom + (g_longForm.height - WindowHeight(dialog));
        for (int shortTop : shortTops) {
            if (shortTop >= top) bottom = std::min(bottom, shortTop);
        }
        bands.emplace_back(top, bottom);
    }
    return bands;
}

void SwitchForm(HWND dialog, int showCommand, UINT toggleText, bool shortForm)
{
    const std::vector<std::pair<int, int>> bands = LongFormBands(dialog);
    for (int control : kLongFormControls) ShowWindow(GetDlgItem(dialog, control), showCommand);
    SetDlgItemTextA(dialog, IDC_ENV_TOGGLE, LoadLangString(toggleText).c_str());
    int removed = 0;
    for (const auto& [control, corner] : g_longForm.corners) {
        if (IsLongFormControl(dialog, control)) continue;
        int shift = 0;
        for (const auto& [top, bottom] : bands) {
            if (shortForm && corner.y >= bottom) shift += bottom - top;
        }
        SetWindowPos(control, nullptr, corner.x, corner.y - shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    for (const auto& [top, bottom] : bands) removed += bottom - top;
    SetWindowPos(dialog, nullptr, 0, 0, WindowWidth(dialog), g_longForm.height - (shortForm ? removed : 0),
                 SWP_NOMOVE | SWP_NOOWNERZORDER);
    Shared().Settings.LessLogonMode = shortForm;
    CentreOnScreen(dialog);
}

// "C:,R:" for a mask of drive letters.
std::string DriveNames(DWORD units)
{
    std::string drives;
    for (int bit = 0; bit < 26; ++bit) {
        if (units & (1u << bit)) drives += std::string(drives.empty() ? "" : ",") + static_cast<char>('A' + bit) + ":";
    }
    return drives;
}

// A volume that came or went: the log names its drives, and a pass starts once the messages
// have stopped for a moment. False for the events the dialog leaves alone.
bool OnDeviceChange(HWND dialog, WPARAM event, LPARAM data)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME) return false;
    DWORD units = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header)->dbcv_unitmask;
    LogEvent("drives", {{"event", event == DBT_DEVICEARRIVAL ? "arrived" : "removed"}, {"drives", DriveNames(units)}});
    SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
    return true;
}

// The broadcast may never arrive for a volume (one that Plug and Play sets up long after a
// driver was loaded by hand, one that arrived while the scan dialog stood in for this one), but
// the drive letters in use change, and they are cheap to read.
void CompareDriveLetters(HWND dialog)
{
    DWORD letters = GetLogicalDrives();
    if (letters == 0 || letters == g_passLetters) return;  // 0: the call failed, which tells nothing
    LogEvent("drives", {{"event", "letters-changed"}, {"drives", DriveNames(letters)},
                        {"before", DriveNames(g_passLetters)}});
    g_passLetters = letters;
    SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
}

void OnTimer(HWND dialog, UINT_PTR timer)
{
    if (timer == kNetworkTimer) ShowNetworkStatus(dialog);
    if (timer == kLettersTimer) CompareDriveLetters(dialog);
    if (timer != kDrivesTimer) return;
    KillTimer(dialog, kDrivesTimer);
    // Not while a box or a prompt of this dialog is open: the pass waits until it has gone.
    if (!IsWindowEnabled(dialog)) {
        SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
        return;
    }
    EndForNewPass(dialog);
}

}  // namespace

void CollapseEnvironmentDialog(HWND dialog) { SwitchForm(dialog, SW_HIDE, IDS_TOGGLE_EXPAND, true); }

void ExpandEnvironmentDialog(HWND dialog) { SwitchForm(dialog, SW_SHOW, IDS_TOGGLE_COLLAPSE, false); }

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
    switch (message) {
    case WM_INITDIALOG:
        InitEnvironmentDialog(dialog);
        return TRUE;
    case WM_NOTIFY:
        OnNotify(dialog, *reinterpret_cast<NMHDR*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return TRUE;
    case WM_DEVICECHANGE:
        // TRUE from a dialog procedure hands on DWLP_MSGRESULT as the answer: for the events
        // handled, the TRUE the broadcast asks for; the others go to the default handling.
        if (!OnDeviceChange(dialog, wParam, lParam)) return FALSE;
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kNetworkTimer);
        KillTimer(dialog, kDrivesTimer);
        KillTimer(dialog, kLettersTimer);
        return FALSE;
    }
    return FALSE;
}

bool PublishSystemVariable(const std::string& name, const std::string& value)
{
    UniqueKey key = CreateRegKey(kEnvironmentKey, KEY_ALL_ACCESS);
    const char* registry = key ? "written" : "failed";
    if (key && value.empty()) {
        DeleteRegValue(key.get(), name);  // a value that is not there is no error
        registry = "deleted";
    } else if (key) {
        try {
            WriteRegExpandString(key.get(), name, value);
        } catch (const RegistryError&) {
            // Only the machine-wide copy is lost; the shell still gets the target below.
            registry = "failed";
        }
    }
    // The shell inherits the program's own environment, so that is set even when the machine-wide
    // copy cannot be: a stale value would hand the shell the previous pass's target.
    SetEnvironmentVariableA(name.c_str(), value.c_str());
    if (!key) {
        LogEvent("publish", {{"name", name}, {"value", value}, {"registry", registry}, {"broadcast", "skipped"}});
        return false;
    }

    const bool started = BroadcastSettingChange("Environment");
    LogEvent("publish",
             {{"name", name}, {"value", value}, {"registry", registry}, {"broadcast", started ? "started" : "failed"}});
    return true;
}

void PublishTargetRoot(const std::string& text) { PublishSystemVariable("TARGET_ROOT", text); }

void RunEnvironmentDialog(HWND owner)
{
    INT_PTR result = -1;
    do {
        CreateCatalogues();
        // The catalogues go with the pass, also when an error leaves it.
        ScopeExit destroy([] { DestroyCatalogues(); });
        g_passLetters = GetLogicalDrives();
        BuildCataloguesUnderScanDialog(owner);
        result = ShowLangDialog(IDD_ENVIRONMENT, owner, EnvironmentDlgProc, 0);
    } while (result == kDrivesUnlocked || result == kDrivesChanged);
    if (result == -1) LogEvent("dialog", {{"action", "unavailable"}});
    if (result > kLastReturningResult) EndProgram();
    PublishTargetRoot(Shared().TargetRoot);
}
