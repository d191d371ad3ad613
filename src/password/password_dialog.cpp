#include "password/password_dialog.h"

#include "common/errors.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "shellctl/entry.h"
#include "shellctl/shared_state.h"

#include <string>

namespace {

constexpr const char* kCaption = "Tarn Logon";
constexpr int kEntryBuffer = 30;  // 29 characters and the terminator: longer entries are cut
constexpr int kRowHeight = 25;    // the template's user row and repeat row
constexpr int kAttempts = 5;

int g_attemptsLeft = 0;

// The mode is not stored: logon mode is exactly while the user name is shown.
bool IsLogonMode(HWND dialog) { return IsControlShown(dialog, IDC_PASSWORD_USER); }

std::string EntryText(HWND dialog, int control)
{
    char text[kEntryBuffer] = "";
    GetDlgItemTextA(dialog, control, text, kEntryBuffer);
    return text;
}

bool HasText(HWND dialog, int control)
{
    return SendDlgItemMessageA(dialog, control, EM_LINELENGTH, 0, 0) > 0;
}

void ShowBox(HWND owner, UINT textId, UINT icon)
{
    ShowLoggedMessageBox(owner, LoadLangString(textId), kCaption, icon);
}

void MoveUp(HWND dialog, int control)
{
    HWND window = GetDlgItem(dialog, control);
    POINT corner = ControlPosition(window);
    SetWindowPos(window, nullptr, corner.x, corner.y - kRowHeight, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
}

// One row hidden: everything below it has moved up; the dialog follows and is centred anew.
void ShrinkByOneRow(HWND dialog)
{
    SetWindowPos(dialog, nullptr, 0, 0, WindowWidth(dialog), WindowHeight(dialog) - kRowHeight,
                 SWP_NOMOVE | SWP_NOOWNERZORDER);
    CentreOnScreen(dialog);
}

void InitPasswordDialog(HWND dialog, LPARAM mode)
{
    if ((mode & 0xFF) != 0) {
        LayoutSetMode(dialog);
    } else {
        LayoutLogonMode(dialog);
        char user[254] = "";
        DWORD size = sizeof user;
        SetDlgItemTextA(dialog, IDC_PASSWORD_USER, GetUserNameA(user, &size) ? user : "");
        g_attemptsLeft = kAttempts;
        LogEvent("password", {{"prompt", "shown"}});
    }
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void OnLogonOk(HWND dialog)
{
    // Only the attempt's number and its outcome go on record, never the typed text or its hash.
    std::string attempt = std::to_string(kAttempts - g_attemptsLeft + 1);
    if (CheckPassword(dialog)) {
        LogEvent("password", {{"attempt", attempt}, {"result", "right"}});
        EndDialog(dialog, kLogonAccepted);
        return;
    }
    LogEvent("password", {{"attempt", attempt}, {"result", "wrong"}});
    if (--g_attemptsLeft <= 0) {
        LogEvent("password", {{"result", "given-up"}, {"attempts", std::to_string(kAttempts)}});
        ShowBox(dialog, IDS_LOGON_LAST_WRONG, MB_ICONERROR);
        EndDialog(dialog, kEndProgram);
        return;
    }
    ShowBox(dialog, IDS_LOGON_WRONG, MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void OnSetOk(HWND dialog)
{
    if (EntriesMatch(dialog)) {
        Shared().StoredHash = AcceptNewPassword(dialog);
        EndDialog(dialog, kNewPasswordAccepted);
        return;
    }
    ShowBox(dialog, IDS_SETPASS_MISMATCH, MB_ICONWARNING);
}

void OnCancel(HWND dialog)
{
    if (!IsLogonMode(dialog)) {
        EndDialog(dialog, kSetCancelled);
        return;
    }
    if (RunShutdownChoice(dialog, IsSetupLoaderPresent())) EndDialog(dialog, kEndProgram);
}

void OnEntryChanged(HWND dialog)
{
    bool complete = HasText(dialog, IDC_PASSWORD_EDIT) &&
                    (IsLogonMode(dialog) || HasText(dialog, IDC_PASSWORD_REPEAT));
    EnableWindow(GetDlgItem(dialog, IDOK), complete);
}

// Shown in place of the dialog when the language module cannot supply it. The text is built in,
// as the module is what failed.
void ShowPromptUnavailable(HWND owner)
{
    ShowLoggedMessageBox(owner,
                         "The password prompt cannot be shown: the language module or its password dialog is "
                         "missing or damaged.\r\n\r\nCheck that the language module named in tarn_logon.ini "
                         "lies next to tarn_logon.exe.",
                         kCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

void LayoutSetMode(HWND dialog)
{
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_USER), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_USER_LABEL), SW_HIDE);
    SetDlgItemTextA(dialog, IDC_PASSWORD_HEADING, LoadLangString(IDS_SETPASS_HEADING).c_str());
    SetWindowTextA(dialog, LoadLangString(IDS_SETPASS_TITLE).c_str());
    for (int control : {IDOK, IDCANCEL, IDC_PASSWORD_EDIT, IDC_PASSWORD_EDIT_LABEL, IDC_PASSWORD_REPEAT,
                        IDC_PASSWORD_REPEAT_LABEL}) {
        MoveUp(dialog, control);
    }
    ShrinkByOneRow(dialog);
}

void LayoutLogonMode(HWND dialog)
{
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_REPEAT), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_REPEAT_LABEL), SW_HIDE);
    MoveUp(dialog, IDOK);
    MoveUp(dialog, IDCANCEL);
    ShrinkByOneRow(dialog);
}

bool CheckPassword(HWND dialog) { return PasswordHash(EntryText(dialog, IDC_PASSWORD_EDIT)) == Shared().StoredHash; }

uint32_t AcceptNewPassword(HWND dialog)
{
    Shared().NewPassword = EntryText(dialog, IDC_PASSWORD_EDIT);
    return PasswordHash(Shared().NewPassword);
}

bool EntriesMatch(HWND dialog)
{
    return EntryText(dialog, IDC_PASSWORD_EDIT) == EntryText(dialog, IDC_PASSWORD_REPEAT);
}

INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        InitPasswordDialog(dialog, lParam);
        return FALSE;  // the focus set above stays
    }
    if (message != WM_COMMAND) return FALSE;

    switch (LOWORD(wParam)) {
    case IDOK:
        IsLogonMode(dialog) ? OnLogonOk(dialog) : OnSetOk(dialog);
        return TRUE;
    case IDCANCEL:
        OnCancel(dialog);
        return TRUE;
    case IDC_PASSWORD_EDIT:
    case IDC_PASSWORD_REPEAT:
        if (HIWORD(wParam) == EN_CHANGE) OnEntryChanged(dialog);
        return TRUE;
    }
    return FALSE;
}

void RunPasswordDialog(HWND owner, PasswordMode mode)
{
    Shared().StoredHash = 0;
    if (mode == PasswordMode::Logon) {
        try {
            ReadStoredHash();
        } catch (const AppError& e) {
            LogEvent("password", {{"result", "failed-closed"}, {"reason", e.what()}});
            throw;
        }
        if (Shared().StoredHash == 0) {
            LogEvent("password", {{"prompt", "skipped"}, {"reason", "no password is stored"}});
            return;
        }
    }

    INT_PTR result = ShowLangDialog(IDD_PASSWORD, owner, PasswordDlgProc, static_cast<LPARAM>(mode));
    if (result == -1) {
        // Letting the logon go on here would open a configured password to anyone who can break
        // the language module; the set mode at least says why nothing happened.
        if (mode == PasswordMode::Logon) {
            LogEvent("password", {{"result", "failed-closed"}, {"reason", "the prompt cannot be shown"}});
        }
        ShowPromptUnavailable(owner);
        if (mode == PasswordMode::Logon) EndProgram();
        return;
    }
    if (mode == PasswordMode::Logon) {
        // Only the right password lets the logon go on. Besides the fifth wrong entry and a
        // shutdown choice, a quit message to the thread ends the dialog too (with result 1).
        if (result != kLogonAccepted) EndProgram();
        return;
    }
    switch (result) {
    case kNewPasswordAccepted:
        // Written first: when it cannot be, the error box is all the operator sees, never a
        // message that the password was set.
        WritePasswordFile();
        LogEvent("password", {{"mode", "set"}, {"result", "file-written"}, {"file", PasswordFilePath()}});
        ShowBox(owner, IDS_SETPASS_DONE, MB_ICONWARNING);
        break;
    case kSetCancelled:
        ShowBox(owner, IDS_SETPASS_UNCHANGED, MB_ICONWARNING);
        break;
    case kEndProgram:
        EndProgram();
    }
}
