// Shows one dialog of LangPack.dll (or another module given with --module) with sample entries,
// so a translator can see the layout and the screenshots in docs/ can be retaken.
//   langpack_preview 2000 | 2000-logon | 2000-set | 2600 | 2600-collapsed | 2800 | shutdown | shutdown-medium
// The -logon, -set and -collapsed variants hide rows as the program does, with its fixed offsets.
#include "common/resource_ids.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

HMODULE g_module;
std::string g_variant;

std::string ModuleString(UINT id)
{
    char text[512] = "";
    LoadStringA(g_module, id, text, sizeof text);
    return text;
}

void MoveBy(HWND dialog, int control, int dy)
{
    HWND item = GetDlgItem(dialog, control);
    RECT r{};
    GetWindowRect(item, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(item, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void Shrink(HWND dialog, int dy)
{
    RECT r{};
    GetWindowRect(dialog, &r);
    SetWindowPos(dialog, nullptr, 0, 0, r.right - r.left, r.bottom - r.top - dy, SWP_NOMOVE | SWP_NOZORDER);
}

void HideAndLift(HWND dialog, std::initializer_list<int> hidden, std::initializer_list<int> below, int dy)
{
    for (int id : hidden) ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    for (int id : below) MoveBy(dialog, id, -dy);
    Shrink(dialog, dy);
}

void FillPassword(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_PASSWORD_USER, "Administrator");
    SetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, "secret");
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    if (g_variant == "2000-logon") {
        HideAndLift(dialog, {IDC_PASSWORD_REPEAT, IDC_PASSWORD_REPEAT_LABEL}, {IDOK, IDCANCEL}, 25);
    } else if (g_variant == "2000-set") {
        SetWindowTextA(dialog, ModuleString(IDS_SETPASS_TITLE).c_str());
        SetDlgItemTextA(dialog, IDC_PASSWORD_HEADING, ModuleString(IDS_SETPASS_HEADING).c_str());
        SetDlgItemTextA(dialog, IDC_PASSWORD_REPEAT, "secret");
        HideAndLift(dialog, {IDC_PASSWORD_USER, IDC_PASSWORD_USER_LABEL},
                    {IDC_PASSWORD_EDIT, IDC_PASSWORD_EDIT_LABEL, IDC_PASSWORD_REPEAT, IDC_PASSWORD_REPEAT_LABEL,
                     IDOK, IDCANCEL},
                    25);
    }
}

void AddRow(HWND list, int row, const std::string& folder, const std::string& description)
{
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(folder.c_str());
    ListView_InsertItem(list, &item);
    ListView_SetItemText(list, row, 1, const_cast<char*>(description.c_str()));
}

void AddColumn(HWND list, int index, const std::string& title, int width)
{
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(title.c_str());
    column.cx = width;
    ListView_InsertColumn(list, index, &column);
}

void FillCombo(HWND dialog, int control, std::initializer_list<const char*> entries)
{
    for (const char* entry : entries) SendDlgItemMessageA(dialog, control, CB_ADDSTRING, 0, (LPARAM)entry);
    SendDlgItemMessageA(dialog, control, CB_SETCURSEL, 0, 0);
}

void FillEnvironment(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_ENV_TARGETS);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(list, &client);
    AddColumn(list, 0, ModuleString(IDS_COLUMN_FOLDER), 100);
    AddColumn(list, 1, ModuleString(IDS_COLUMN_DESCRIPTION), client.right - 100 - GetSystemMetrics(SM_CXVSCROLL));
    AddRow(list, 0, "C:\\Windows", "Windows 10 Pro");
    AddRow(list, 1, "D:\\WINNT", ModuleString(IDS_UNKNOWN_PRODUCT));
    AddRow(list, 2, ModuleString(IDS_NO_TARGET_FOLDER), ModuleString(IDS_NO_TARGET_DESCRIPTION));
    ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    SetDlgItemTextA(dialog, IDC_ENV_FOLDER, "C:\\Windows");
    FillCombo(dialog, IDC_ENV_SHELL, {"Explorer", "Command Prompt"});
    FillCombo(dialog, IDC_ENV_LAYOUT, {"00000409 United States"});
    FillCombo(dialog, IDC_ENV_TIMEZONE, {"(UTC) Coordinated Universal Time"});
    FillCombo(dialog, IDC_ENV_DISPLAY, {"1024 x 768, 32 bit, 60 Hz"});
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    if (g_variant == "2600-collapsed") {
        SetDlgItemTextA(dialog, IDC_ENV_TOGGLE, ModuleString(IDS_TOGGLE_EXPAND).c_str());
        HideAndLift(dialog,
                    {IDC_ENV_LAYOUT_LABEL, IDC_ENV_TIMEZONE_LABEL, IDC_ENV_DISPLAY_LABEL, IDC_ENV_LAYOUT,
                     IDC_ENV_TIMEZONE, IDC_ENV_DISPLAY, IDC_ENV_APPLY_LAYOUT, IDC_ENV_APPLY_TIMEZONE,
                     IDC_ENV_APPLY_DISPLAY},
                    {IDOK, IDCANCEL, IDC_ENV_TOGGLE}, 80);
    } else {
        SetDlgItemTextA(dialog, IDC_ENV_TOGGLE, ModuleString(IDS_TOGGLE_COLLAPSE).c_str());
    }
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR first)
{
    *reinterpret_cast<LPCSTR*>(first) = name;
    return FALSE;
}

void FillScan(HWND dialog)
{
    // Wine does not open the clip named in the template; opening it here works on both. Any
    // module's clip will do, whatever id its translator gave it.
    LPCSTR clip = nullptr;
    EnumResourceNamesA(g_module, "AVI", TakeFirstName, reinterpret_cast<LONG_PTR>(&clip));
    HWND animation = GetDlgItem(dialog, IDC_SCAN_ANIMATION);
    SendMessageA(animation, ACM_OPENA, 0, (LPARAM)clip);
    SendMessageA(animation, ACM_PLAY, (WPARAM)-1, MAKELONG(0, 8));
    SetDlgItemTextA(dialog, IDC_SCAN_STATUS, (ModuleString(IDS_SCANNING_DRIVE) + "c:\\").c_str());
}

// The progress of Collect logs halfway through a copy.
void FillCollect(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_COLLECT_DESTINATION, "E:\\TarnLogs\\MININT-4F2C1A-20261209-131500");
    SetDlgItemTextA(dialog, IDC_COLLECT_CURRENT, "X:\\Windows\\Logs\\DISM\\dism.log");
    char counts[256] = "";
    LoadStringA(g_module, IDS_COLLECT_COUNTS, counts, sizeof counts);
    std::string text = counts;
    const char* values[] = {"14", "31", "2,318,420", "5,112,090"};
    for (int i = 0; i < 4; ++i) {
        const std::string mark = "%" + std::to_string(i + 1);
        const size_t at = text.find(mark);
        if (at != std::string::npos) text.replace(at, 2, values[i]);
    }
    SetDlgItemTextA(dialog, IDC_COLLECT_COUNTS, text.c_str());
    SendDlgItemMessageA(dialog, IDC_COLLECT_BAR, PBM_SETRANGE32, 0, 1000);
    SendDlgItemMessageA(dialog, IDC_COLLECT_BAR, PBM_SETPOS, 453, 0);
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        if (g_variant.compare(0, 4, "2000") == 0) FillPassword(dialog);
        if (g_variant.compare(0, 4, "2600") == 0) FillEnvironment(dialog);
        if (g_variant == "2800") FillScan(dialog);
        if (g_variant == "2960") FillCollect(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

std::string OwnFolder()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    std::string modulePath = OwnFolder() + "LangPack.dll";
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--module") == 0 && i + 1 < __argc) {
            modulePath = __argv[++i];
        } else {
            g_variant = __argv[i];
        }
    }
    g_module = LoadLibraryExA(modulePath.c_str(), nullptr, 0);
    if (!g_module) return 2;
    if (g_variant == "shutdown" || g_variant == "shutdown-medium") {
        using ShowShutdownDlgFn = DWORD(WINAPI*)(HWND, DWORD);
        auto show = reinterpret_cast<ShowShutdownDlgFn>(
            reinterpret_cast<void*>(GetProcAddress(g_module, "ShowShutdownDlg")));
        if (!show) return 3;
        DWORD code = show(nullptr, g_variant == "shutdown-medium");
        std::printf("ShowShutdownDlg returned %lu\n", code);
        return static_cast<int>(code & 0xFF);
    }
    const int id = std::atoi(g_variant.c_str());
    return static_cast<int>(DialogBoxParamA(g_module, MAKEINTRESOURCEA(id), nullptr, PreviewProc, 0));
}
