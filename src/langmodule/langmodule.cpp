#include "langmodule/langmodule.h"

#include "common/callback_boundary.h"

#include "common/files.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "langmodule/langmodule_testing.h"
#include "session/launch.h"
#include "session/shared_state.h"

#include <algorithm>
#include <set>

namespace {

using ShowShutdownDlgProc = DWORD(WINAPI*)(HWND owner, DWORD setupLoader);
using InitShutdownProc = void(WINAPI*)();
using ShutdownSystemProc = void(WINAPI*)(DWORD code);

// The module is loaded once and never freed: its dialogs and strings are used until the end.
struct LangModule {
    HMODULE handle = nullptr;
    ShowShutdownDlgProc showShutdownDlg = nullptr;
    InitShutdownProc initShutdown = nullptr;
    ShutdownSystemProc shutdownSystem = nullptr;
};
LangModule g_module;
// A module that cannot be loaded is tried again at every use; the log tells it once.
bool g_loadFailureLogged = false;

constexpr int kStringBufferSize = 1024;
constexpr unsigned kQuitCode = 0;
constexpr unsigned kLastShutdownCode = 6;

template <class Proc>
Proc EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The entry points the module lacks, by name; empty when it has all three.
std::string MissingEntryPoints()
{
    std::string missing;
    if (!g_module.showShutdownDlg) missing += ",ShowShutdownDlg";
    if (!g_module.initShutdown) missing += ",InitShutdown";
    if (!g_module.shutdownSystem) missing += ",ShutdownSystem";
    return missing.empty() ? "none" : missing.substr(1);
}

// A control the program adds to a template that lacks it. Positions and sizes are dialog units,
// y from the top of the band added below the template's lowest control; a negative x counts
// from the right edge, a width of 0 or less reaches to that far from the right edge.
struct AddedControl {
    UINT dialogId;
    int controlId;
    const char* className;
    DWORD style;
    UINT textId;  // 0: no text
    const char* fallback;
    int x, y, width, height;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const AddedControl kAddedControls[] = {
    {IDD_ENVIRONMENT, IDC_ENV_NETWORK_LABEL, "STATIC", kChild | SS_LEFT, IDS_NETWORK_LABEL, "Network:", 7, 2, 58, 8},
    {IDD_ENVIRONMENT, IDC_ENV_NETWORK_STATUS, "STATIC", kChild | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, "", 68, 2,
     -121, 8},
    {IDD_ENVIRONMENT, IDC_ENV_NETWORK_SETTINGS, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_NET_SETTINGS_BUTTON,
     "S&ettings...", -116, 0, 45, 13},
    {IDD_ENVIRONMENT, IDC_ENV_NETWORK_START, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_NETWORK_START, "St&art",
     -67, 0, 60, 13},
    {IDD_ENVIRONMENT, IDC_ENV_LOAD_DRIVER, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_LOAD_DRIVER_BUTTON,
     "L&oad driver...", 7, 17, 70, 14},
    {IDD_ENVIRONMENT, IDC_ENV_DEVICES, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_DEVICES_BUTTON, "De&vices...",
     81, 17, 60, 14},
    {IDD_ENVIRONMENT, IDC_ENV_COLLECT_LOGS, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_COLLECT_LOGS_BUTTON,
     "Collect lo&gs...", 145, 17, 80, 14},
    {IDD_ENVIRONMENT, IDC_ENV_REMOVABLE, "BUTTON", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, IDS_ENV_REMOVABLE,
     "Also search &removable drives (USB sticks and disks)", 7, 35, -7, 10},
    {IDD_ENVIRONMENT, IDC_ENV_NETWORK_DRIVE, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_NET_DRIVE_BUTTON,
     "&Net drive...", -51, 17, 44, 14},
    {IDD_DEVICES, IDC_DEVICES_FIND, "BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, IDS_DRIVERS_FIND_BUTTON,
     "&Find drivers", 7, 0, 70, 14},
    {IDD_PASSWORD, IDC_PASSWORD_LAYOUT_LABEL, "STATIC", kChild | SS_LEFT | SS_CENTERIMAGE, IDS_PASSWORD_LAYOUT_LABEL,
     "&Keyboard:", 7, 0, 82, 13},
    {IDD_PASSWORD, IDC_PASSWORD_LAYOUT, "COMBOBOX", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, "", 92, 0,
     -7, 120},
    {IDD_UNLOCK, IDC_UNLOCK_METHOD_LABEL, "STATIC", kChild | SS_LEFT, IDS_UNLOCK_METHOD_LABEL, "Unlock &with:", 7, 2,
     60, 8},
    {IDD_UNLOCK, IDC_UNLOCK_METHOD, "COMBOBOX", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, "", 70, 0, -7,
     80},
    {IDD_UNLOCK, IDC_UNLOCK_KEY_FILE, "STATIC", kChild | SS_LEFT | SS_NOPREFIX, 0, "", 7, 17, -7, 16},
    {IDD_UNLOCK, IDC_UNLOCK_SUSPEND, "BUTTON", kChild | WS_TABSTOP | BS_AUTOCHECKBOX, IDS_UNLOCK_SUSPEND,
     "&Suspend BitLocker for the next restart", 7, 36, -7, 10},
    {IDD_UNLOCK, IDC_UNLOCK_SUSPEND_NOTE, "STATIC", kChild | SS_LEFT, IDS_UNLOCK_SUSPEND_NOTE,
     "Windows on this drive then starts once without asking for the key; protection comes back by itself at that "
     "start.",
     19, 47, -7, 16},
};
// The band's height, its margin below included, per dialog.
struct AddedBand {
    UINT dialogId;
    int height;
};
const AddedBand kAddedBands[] = {{IDD_ENVIRONMENT, 49}, {IDD_PASSWORD, 20}, {IDD_UNLOCK, 67}, {IDD_DEVICES, 20}};

RECT DialogUnits(HWND dialog, int x, int y, int width, int height)
{
    RECT rect{x, y, x + width, y + height};
    MapDialogRect(dialog, &rect);
    return rect;
}

// The lowest bottom edge of the dialog's own controls, in client coordinates; a closed combo
// box counts with its shown height.
int LowestControlBottom(HWND dialog)
{
    int lowest = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        lowest = std::max(lowest, static_cast<int>(rect.bottom));
    }
    return lowest;
}

}  // namespace

void AddMissingControls(HWND dialog, UINT templateId)
{
    int bandHeight = 0;
    for (const AddedBand& band : kAddedBands) {
        if (band.dialogId == templateId) bandHeight = band.height;
    }
    bool missing = false;
    for (const AddedControl& control : kAddedControls) {
        if (control.dialogId == templateId && !GetDlgItem(dialog, control.controlId)) missing = true;
    }
    if (!missing) return;

    // The dialog's size in dialog units, for the controls measured from its right edge.
    RECT client{};
    GetClientRect(dialog, &client);
    RECT unit = DialogUnits(dialog, 0, 0, 4, 8);
    const int clientUnits = MulDiv(client.right, 4, std::max(1L, unit.right));
    const RECT margin = DialogUnits(dialog, 0, 0, 0, 4);
    const int top = LowestControlBottom(dialog) + margin.bottom;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    std::string added;
    for (const AddedControl& control : kAddedControls) {
        if (control.dialogId != templateId || GetDlgItem(dialog, control.controlId)) continue;
        int x = control.x < 0 ? clientUnits + control.x : control.x;
        int width = control.width > 0 ? control.width : clientUnits + control.width - x;
        RECT place = DialogUnits(dialog, x, control.y, width, control.height);
        std::string text = control.textId ? LoadLangStringOr(control.textId, control.fallback) : control.fallback;
        HWND window = CreateWindowExA(0, control.className, text.c_str(), control.style, place.left, top + place.top,
                                      RectWidth(place), RectHeight(place), dialog,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.controlId)),
                                      GetModuleHandleA(nullptr), nullptr);
        if (!window) continue;
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // Last in the tab order, in the order of the table.
        SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        added += "," + std::to_string(control.controlId);
    }
    const RECT band = DialogUnits(dialog, 0, 0, 0, bandHeight);
    const int grownBy = top + band.bottom - client.bottom;
    SetWindowPos(dialog, nullptr, 0, 0, WindowWidth(dialog), WindowHeight(dialog) + grownBy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOnScreen(dialog);
    LogEvent("langmodule", {{"dialog", std::to_string(templateId)}, {"added", added.empty() ? "none" : added.substr(1)}});
}

HMODULE LoadLangModule()
{
    if (g_module.handle) return g_module.handle;

    std::string path = ExecutableFolder() + Shared().Settings.LangModuleName;
    // A broken or half-copied module must fail quietly, not stop the boot in a system error box.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, 0);
    DWORD loadError = GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        if (!g_loadFailureLogged) {
            LogEvent("langmodule", {{"name", path}, {"result", IsExistingFile(path) ? "unloadable" : "missing"},
                                    {"error", SystemErrorText(loadError)}});
        }
        g_loadFailureLogged = true;
        return nullptr;
    }

    g_module.handle = module;
    g_module.showShutdownDlg = EntryPoint<ShowShutdownDlgProc>(module, "ShowShutdownDlg");
    g_module.initShutdown = EntryPoint<InitShutdownProc>(module, "InitShutdown");
    g_module.shutdownSystem = EntryPoint<ShutdownSystemProc>(module, "ShutdownSystem");
    LogEvent("langmodule", {{"name", path}, {"result", "loaded"}, {"lacks", MissingEntryPoints()}});
    return module;
}

const char* BuiltInControlText(unsigned templateId, int controlId)
{
    for (const AddedControl& control : kAddedControls) {
        if (control.dialogId == templateId && control.controlId == controlId) return control.fallback;
    }
    return nullptr;
}

void ForgetLangModule()
{
    g_module = LangModule();
    g_loadFailureLogged = false;
}

std::string LoadLangString(UINT id)
{
    HMODULE module = LoadLangModule();
    if (!module) return std::string();
    char buffer[kStringBufferSize];
    int length = LoadStringA(module, id, buffer, kStringBufferSize);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string LoadLangStringOr(UINT id, const char* fallback)
{
    std::string text = LoadLangString(id);
    return text.empty() ? std::string(fallback) : text;
}

bool ShowErrorBox(HWND owner, const std::string& message)
{
    std::string text = message + "\r\n\r\n" + LoadLangString(IDS_ERROR_HINT);
    std::string caption = LoadLangString(IDS_ERROR_CAPTION);
    return ShowLoggedMessageBox(owner, text, caption, MB_OK | MB_ICONERROR) == IDOK;
}

INT_PTR ShowLangDialog(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    HMODULE module = LoadLangModule();
    if (!module) return -1;
    return GuardedDialogBox(module, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
}

INT_PTR ShowLangDialogOrBuiltIn(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    HMODULE module = LoadLangModule();
    if (!module || !FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5))) {  // RT_DIALOG
        module = GetModuleHandleA(nullptr);
    }
    return GuardedDialogBox(module, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
}

HWND CreateLangDialog(UINT templateId, HWND owner)
{
    HMODULE module = LoadLangModule();
    if (!module) return nullptr;
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(templateId), owner, nullptr, 0);
    // The scan dialog is asked for at every pass: a template that fails once fails every time.
    static std::set<UINT> logged;
    if (!dialog && logged.insert(templateId).second) {
        LogEvent("dialog", {{"template", std::to_string(templateId)}, {"action", "unavailable"},
                            {"error", SystemErrorText(GetLastError())}});
    }
    return dialog;
}

bool IsSetupLoaderPresent() { return IsExistingFile(ExpandCommand("%WinDir%\\setupldr.bin")); }

bool RunShutdownChoice(HWND owner, bool setupLoader)
{
    LoadLangModule();
    // A module without all three entry points cannot shut down properly; offering a choice it
    // cannot carry out would be worse than treating the request as cancelled.
    if (!g_module.showShutdownDlg || !g_module.initShutdown || !g_module.shutdownSystem) {
        LogEvent("shutdown", {{"result", "unavailable"}, {"lacks", MissingEntryPoints()}});
        return false;
    }

    unsigned choice = g_module.showShutdownDlg(owner, setupLoader ? 1 : 0) & 0xFF;
    LogEvent("shutdown", {{"code", std::to_string(choice)}});
    if (choice == kQuitCode) {
        PostMessageA(nullptr, WM_QUIT, 0, 0);
        return true;
    }
    if (choice > kLastShutdownCode) return false;

    if (Shared().Settings.ShutdownEmulate) g_module.initShutdown();
    ShowWindow(owner, SW_HIDE);
    g_module.shutdownSystem(choice);
    return true;
}
