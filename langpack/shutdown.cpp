// The module's entry points: the shutdown choice, the preparation before it and the shutdown itself.
// The program reads only the low byte of ShowShutdownDlg's result:
//   0 quit Tarn Logon, leave the computer running
//   1 shut down and power off          2 restart
//   3-6 reserved: ShutdownSystem ignores them, so an older module never acts on a newer code
//   7 or more: cancelled
#include "common/guards.h"
#include "langpack_ids.h"

#include <windows.h>

#include <initializer_list>

namespace {

enum : DWORD { kQuit = 0, kPowerOff = 1, kRestart = 2, kCancelled = 7 };

// NtShutdownSystem's SHUTDOWN_ACTION values.
enum : ULONG { kNtShutdownReboot = 1, kNtShutdownPowerOff = 2 };

// The linker's symbol for this image's base: the module handle without a DllMain to store it.
extern "C" IMAGE_DOS_HEADER __ImageBase;
HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

// ---- the shutdown dialog ----

struct ChoiceButton {
    int control;
    DWORD code;
};
constexpr ChoiceButton kChoices[] = {
    {IDC_SHUTDOWN_POWEROFF, kPowerOff},
    {IDC_SHUTDOWN_RESTART, kRestart},
    {IDC_SHUTDOWN_QUIT, kQuit},
};

RECT ClientRectOf(HWND dialog, int control)
{
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, control), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Without a setup medium the warning has nothing to say; its space goes rather than stays blank.
void DropMediumWarning(HWND dialog)
{
    HWND warning = GetDlgItem(dialog, IDC_SHUTDOWN_MEDIUM);
    ShowWindow(warning, SW_HIDE);
    const int lift = ClientRectOf(dialog, IDOK).top - ClientRectOf(dialog, IDC_SHUTDOWN_MEDIUM).top;
    for (int id : {IDOK, IDCANCEL}) {
        RECT r = ClientRectOf(dialog, id);
        SetWindowPos(GetDlgItem(dialog, id), nullptr, r.left, r.top - lift, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame{};
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top - lift,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitShutdownDialog(HWND dialog, bool setupMedium)
{
    SendDlgItemMessageA(dialog, IDC_SHUTDOWN_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
    // Restarting from a setup medium boots the medium again, so then turning off is the safe default.
    const int preselected = setupMedium ? IDC_SHUTDOWN_POWEROFF : IDC_SHUTDOWN_RESTART;
    CheckRadioButton(dialog, IDC_SHUTDOWN_POWEROFF, IDC_SHUTDOWN_QUIT, preselected);
    if (!setupMedium) DropMediumWarning(dialog);
    SetFocus(GetDlgItem(dialog, preselected));
}

DWORD ChosenCode(HWND dialog)
{
    for (const ChoiceButton& choice : kChoices) {
        if (IsDlgButtonChecked(dialog, choice.control) == BST_CHECKED) return choice.code;
    }
    return kCancelled;
}

INT_PTR CALLBACK ShutdownDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        InitShutdownDialog(dialog, lParam != 0);
        return FALSE;  // focus is already on the preselected choice
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: EndDialog(dialog, ChosenCode(dialog)); return TRUE;
    case IDCANCEL: EndDialog(dialog, kCancelled); return TRUE;
    }
    return FALSE;
}

// ---- preparation and shutdown ----

// Volumes the operator may have written to. CD-ROMs and network drives hold nothing to flush.
bool ShouldFlush(UINT driveType) { return driveType == DRIVE_FIXED || driveType == DRIVE_REMOVABLE; }

void FlushVolume(char letter)
{
    const char root[] = {letter, ':', '\\', '\0'};
    if (!ShouldFlush(GetDriveTypeA(root))) return;
    const char device[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    UniqueFile volume(CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    // A volume that cannot be opened or flushed is left as it is: the kernel's own shutdown
    // flushes what it can, and a failure here must not stop the operator from shutting down.
    if (volume) FlushFileBuffers(volume.get());
}

bool EnableShutdownPrivilege()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return false;
    // AdjustTokenPrivileges succeeds even when the token lacks the privilege; only the error tells.
    return AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
           GetLastError() == ERROR_SUCCESS;
}

bool TryNtShutdown(ULONG action)
{
    using NtShutdownSystemFn = LONG(NTAPI*)(ULONG);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto shutdown = ntdll ? reinterpret_cast<NtShutdownSystemFn>(
                                reinterpret_cast<void*>(GetProcAddress(ntdll, "NtShutdownSystem")))
                          : nullptr;
    // On success the call does not return.
    return shutdown && shutdown(action) >= 0;
}

}  // namespace

extern "C" {

DWORD WINAPI ShowShutdownDlg(HWND owner, DWORD setupLoader)
{
    const LPARAM setupMedium = (setupLoader & 0xFF) != 0;
    const INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(IDD_SHUTDOWN), owner,
                                           ShutdownDialogProc, setupMedium);
    // A dialog that could not be shown must not read as "quit" (0): the operator chose nothing.
    return result < 0 ? kCancelled : static_cast<DWORD>(result);
}

void WINAPI InitShutdown()
{
    // A floppy or card reader without a medium would otherwise raise a system error box here.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (drives & (1u << i)) FlushVolume(static_cast<char>('A' + i));
    }
    SetErrorMode(oldMode);
}

// Windows PE 1.x has no working logoff/shutdown path through ExitWindowsEx (its Winlogon does
// not carry out a session shutdown), so the kernel call comes first: NtShutdownSystem flushes
// the file-system caches and powers off or restarts in every Windows PE release. ExitWindowsEx
// stays as the fallback for an ntdll that refuses it, e.g. when the privilege is not granted.
void WINAPI ShutdownSystem(DWORD code)
{
    ULONG ntAction = 0;
    UINT exitFlags = 0;
    switch (code) {
    case kPowerOff: ntAction = kNtShutdownPowerOff; exitFlags = EWX_POWEROFF; break;
    case kRestart: ntAction = kNtShutdownReboot; exitFlags = EWX_REBOOT; break;
    default: return;  // quit, reserved and cancel codes never shut anything down
    }
    EnableShutdownPrivilege();  // if this fails, both calls fail and the program goes on running
    if (TryNtShutdown(ntAction)) return;
    ExitWindowsEx(exitFlags | EWX_FORCE, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_FLAG_PLANNED);
}

}  // extern "C"
