#include "envdialog/environment_dialog.h"

#include "common/errors.h"
#include "common/files.h"
#include "common/program.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "envdialog/folder_browser.h"
#include "envdialog/unlock_prompt.h"
#include "langmodule/langmodule.h"
#include "shellctl/shared_state.h"

#include <commctrl.h>

namespace {

constexpr INT_PTR kConfirmed = 1;
constexpr INT_PTR kDrivesUnlocked = 2;  // the catalogues are built again, with the unlocked drive's installations
constexpr INT_PTR kShutdownTaken = 10;
constexpr INT_PTR kLastReturningResult = 3;
constexpr LONG_PTR kDialogMark = 1973;
const int kFolderColumnWidth = ScaleForDpi(100);  // pixels at 96 DPI, scaled
const int kBandHeight = ScaleForDpi(80);  // the keyboard, time-zone and display rows of the long form
constexpr int kTextBuffer = 260;
constexpr const char* kEnvironmentKey = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment\\";

const int kLongFormControls[] = {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE_LABEL, IDC_ENV_DISPLAY_LABEL,
                                 IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE, IDC_ENV_APPLY_DISPLAY,
                                 IDC_ENV_LAYOUT,       IDC_ENV_TIMEZONE,       IDC_ENV_DISPLAY};
const int kButtonRow[] = {IDOK, IDCANCEL, IDC_ENV_TOGGLE};

// The template's text of OK, put back when the selection leaves a locked drive.
std::string g_okText;

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
    InsertColumn(list, 1, LVCF_WIDTH | LVCF_TEXT, ClientWidth(list) - kFolderColumnWidth,
                 LoadLangString(IDS_COLUMN_DESCRIPTION));
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

void InitEnvironmentDialog(HWND dialog)
{
    SetWindowLongPtrA(dialog, GWLP_USERDATA, kDialogMark);
    g_okText = DialogItemText(dialog, IDOK);
    FillTargetList(dialog);
    FillCatalogueCombos(dialog);
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
    info.item.pszText = const_cast<char*>(info.item.iSubItem <= 0 ? target.Path.c_str() : target.Description.c_str());
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

void OnCommand(HWND dialog, int control)
{
    switch (control) {
    case IDOK: OnOk(dialog); break;
    case IDCANCEL: OnShutdown(dialog); break;
    case IDC_ENV_TOGGLE: IsLongForm(dialog) ? CollapseEnvironmentDialog(dialog) : ExpandEnvironmentDialog(dialog); break;
    case IDC_ENV_BROWSE: OnBrowse(dialog); break;
    case IDC_ENV_APPLY_LAYOUT: ApplyLayout(ComboSelection(dialog, IDC_ENV_LAYOUT)); break;
    case IDC_ENV_APPLY_TIMEZONE: ApplyTimeZone(ComboSelection(dialog, IDC_ENV_TIMEZONE)); break;
    case IDC_ENV_APPLY_DISPLAY:
        ApplyDisplayModeAt(ComboSelection(dialog, IDC_ENV_DISPLAY));
        CentreOnScreen(dialog);  // the screen may have another size now
        break;
    }
}

// ---- the two forms ----

void SwitchForm(HWND dialog, int showCommand, UINT toggleText, int shift, bool shortForm)
{
    for (int control : kLongFormControls) ShowWindow(GetDlgItem(dialog, control), showCommand);
    SetDlgItemTextA(dialog, IDC_ENV_TOGGLE, LoadLangString(toggleText).c_str());
    for (int control : kButtonRow) {
        HWND button = GetDlgItem(dialog, control);
        POINT corner = ControlPosition(button);
        SetWindowPos(button, nullptr, corner.x, corner.y + shift, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
    }
    SetWindowPos(dialog, nullptr, 0, 0, WindowWidth(dialog), WindowHeight(dialog) + shift,
                 SWP_NOMOVE | SWP_NOOWNERZORDER);
    Shared().Settings.LessLogonMode = shortForm;
    CentreOnScreen(dialog);
}

}  // namespace

void CollapseEnvironmentDialog(HWND dialog) { SwitchForm(dialog, SW_HIDE, IDS_TOGGLE_EXPAND, -kBandHeight, true); }

void ExpandEnvironmentDialog(HWND dialog) { SwitchForm(dialog, SW_SHOW, IDS_TOGGLE_COLLAPSE, kBandHeight, false); }

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

    DWORD_PTR answer = 0;
    bool sent = SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                                    SMTO_ABORTIFHUNG, 5000, &answer) != 0;
    LogEvent("publish",
             {{"name", name}, {"value", value}, {"registry", registry}, {"broadcast", sent ? "sent" : "failed"}});
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
        EnsureCommonControls(ICC_LISTVIEW_CLASSES);
        BuildCataloguesUnderScanDialog(owner);
        result = ShowLangDialog(IDD_ENVIRONMENT, owner, EnvironmentDlgProc, 0);
    } while (result == kDrivesUnlocked);
    if (result == -1) LogEvent("dialog", {{"action", "unavailable"}});
    if (result > kLastReturningResult) EndProgram();
    PublishTargetRoot(Shared().TargetRoot);
}
