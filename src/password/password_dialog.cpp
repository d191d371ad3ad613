#include "password/password_dialog.h"

#include "common/errors.h"
#include "common/guards.h"
#include "common/program.h"
#include "common/resource_ids.h"
#include "common/secret_entry.h"
#include "common/run_log.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "password/pass_key_derive.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "session/message_pump.h"
#include "session/on_screen_keyboard.h"

#include <string>
#include <string_view>

namespace {

constexpr const char* kCaption = "Tarn Logon";
constexpr size_t kLegacyLength = 29;  // all that stored PassHash values were ever made from
const int kRowHeight = ScaleForDpi(25);  // the template's user row and repeat row, scaled
constexpr int kAttempts = 5;

// The mode is not stored: logon mode is exactly while the user name is shown.
bool IsLogonMode(HWND dialog) { return IsControlShown(dialog, IDC_PASSWORD_USER); }

// The one place where the password flow's slow steps run: a key derivation takes most of a
// second at the count set mode uses, and over ten seconds at the highest count a stored key
// may ask for. The operator sees the wait cursor meanwhile, and the thread goes on handling its
// messages (painting, timers, any hook's calls) while input waits for the dialog: the work
// touches no window, so it runs beside the thread.
template <class Work>
auto RunLongStep(Work work)
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    ScopeExit restore([previous] { SetCursor(previous); });
    decltype(work()) result{};
    RunWhilePumping([&] { result = work(); });
    return result;
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

// The keyboard comes before the password: the layouts installed, the one in force selected. The
// environment dialog's pass builds its own list.
void FillLayoutCombo(HWND dialog, PasswordPrompt& prompt)
{
    prompt.Layouts.Clear();
    BuildLayoutList(prompt.Layouts);
    for (size_t i = 0; i < prompt.Layouts.Count(); ++i) {
        const TLayoutInfo& layout = prompt.Layouts.At(static_cast<long long>(i));
        std::string text = layout.Id + " " + layout.Text;
        SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_SETCURSEL,
                        static_cast<WPARAM>(FindCurrentLayout(prompt.Layouts)), 0);
}

void OnLayoutChosen(HWND dialog, const PasswordPrompt& prompt)
{
    int index = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_GETCURSEL, 0, 0));
    if (index < 0 || static_cast<size_t>(index) >= prompt.Layouts.Count()) return;
    LogEvent("password", {{"layout", prompt.Layouts.At(index).Id}, {"action", "chosen"}});
    ApplyLayout(prompt.Layouts, index);
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void InitPasswordDialog(HWND dialog, PasswordPrompt& prompt)
{
    AddMissingControls(dialog, IDD_PASSWORD);
    FillLayoutCombo(dialog, prompt);
    if (prompt.Mode == PasswordMode::Set) {
        LayoutSetMode(dialog);
    } else {
        LayoutLogonMode(dialog);
        char user[254] = "";
        DWORD size = sizeof user;
        SetDlgItemTextA(dialog, IDC_PASSWORD_USER, GetUserNameA(user, &size) ? user : "");
        prompt.AttemptsLeft = kAttempts;
        LogEvent("password", {{"prompt", "shown"}});
    }
    // Typing stops where reading would cut the entry.
    for (int control : {IDC_PASSWORD_EDIT, IDC_PASSWORD_REPEAT}) {
        SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, kSecretBuffer - 1, 0);
    }
    // Placed once the mode has put OK where it stays.
    AddOnScreenKeyboardButton(dialog, IDC_PASSWORD_OSK, LoadLangStringOr(IDS_OSK_BUTTON, "&On-screen keyboard"));
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void OnLogonOk(HWND dialog, PasswordPrompt& prompt)
{
    // Only the attempt's number and its outcome go on record, never the typed text or its hash.
    std::string attempt = std::to_string(kAttempts - prompt.AttemptsLeft + 1);
    if (CheckPassword(dialog, prompt.Stored)) {
        LogEvent("password", {{"attempt", attempt}, {"result", "right"}});
        prompt.Decision = PasswordDecision::RightPassword;
        EndDialog(dialog, kLogonAccepted);
        return;
    }
    LogEvent("password", {{"attempt", attempt}, {"result", "wrong"}});
    if (--prompt.AttemptsLeft <= 0) {
        LogEvent("password", {{"result", "given-up"}, {"attempts", std::to_string(kAttempts)}});
        ShowBox(dialog, IDS_LOGON_LAST_WRONG, MB_ICONERROR);
        EndDialog(dialog, kEndProgram);
        return;
    }
    ShowBox(dialog, IDS_LOGON_WRONG, MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void OnSetOk(HWND dialog, PasswordPrompt& prompt)
{
    if (EntriesMatch(dialog)) {
        prompt.NewKey = AcceptNewPassword(dialog);
        prompt.Decision = PasswordDecision::NewPassword;
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
                        IDC_PASSWORD_REPEAT_LABEL, IDC_PASSWORD_LAYOUT, IDC_PASSWORD_LAYOUT_LABEL}) {
        MoveUp(dialog, control);
    }
    ShrinkByOneRow(dialog);
}

void LayoutLogonMode(HWND dialog)
{
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_REPEAT), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_REPEAT_LABEL), SW_HIDE);
    for (int control : {IDOK, IDCANCEL, IDC_PASSWORD_LAYOUT, IDC_PASSWORD_LAYOUT_LABEL}) MoveUp(dialog, control);
    ShrinkByOneRow(dialog);
}

bool CheckPassword(HWND dialog, const StoredPassword& stored)
{
    TypedSecret entry(dialog, IDC_PASSWORD_EDIT);
    if (stored.Key) return RunLongStep([&] { return PassKeyMatches(*stored.Key, entry.Text()); });
    return PasswordHash(entry.Text().substr(0, kLegacyLength)) == stored.Hash;
}

std::optional<TPassKey> AcceptNewPassword(HWND dialog)
{
    TypedSecret entry(dialog, IDC_PASSWORD_EDIT);
    // The empty password means "no password": it gets no key, and the legacy file says so.
    if (entry.Text().empty()) return std::nullopt;
    return RunLongStep([&] { return MakePassKey(entry.Text()); });
}

bool EntriesMatch(HWND dialog)
{
    TypedSecret first(dialog, IDC_PASSWORD_EDIT);
    TypedSecret second(dialog, IDC_PASSWORD_REPEAT);
    return first.Text() == second.Text();
}

// A failure of the platform's cryptography in a handler ends the dialog, and RunPasswordDialog
// raises it once the dialog has gone (ShowLangDialog's callback boundary).
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        InitPasswordDialog(dialog, *reinterpret_cast<PasswordPrompt*>(lParam));
        return FALSE;  // the focus set above stays
    }
    auto* prompt = reinterpret_cast<PasswordPrompt*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !prompt) return FALSE;

    switch (LOWORD(wParam)) {
    case IDOK:
        IsLogonMode(dialog) ? OnLogonOk(dialog, *prompt) : OnSetOk(dialog, *prompt);
        return TRUE;
    case IDCANCEL:
        OnCancel(dialog);
        return TRUE;
    case IDC_PASSWORD_OSK:
        StartOnScreenKeyboard();
        SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
        return TRUE;
    case IDC_PASSWORD_LAYOUT:
        if (HIWORD(wParam) == CBN_SELCHANGE) OnLayoutChosen(dialog, *prompt);
        return TRUE;
    case IDC_PASSWORD_EDIT:
    case IDC_PASSWORD_REPEAT:
        if (HIWORD(wParam) == EN_CHANGE) OnEntryChanged(dialog);
        return TRUE;
    }
    return FALSE;
}

StoredPassword RunPasswordDialog(HWND owner, PasswordMode mode)
{
    PasswordPrompt prompt;
    prompt.Mode = mode;
    if (mode == PasswordMode::Logon) {
        try {
            prompt.Stored = ReadStoredPassword();
        } catch (const AppError& e) {
            LogEvent("password", {{"result", "failed-closed"}, {"reason", e.what()}});
            throw;
        }
        if (!prompt.Stored.IsSet()) {
            LogEvent("password", {{"prompt", "skipped"}, {"reason", "no password is stored"}});
            return prompt.Stored;
        }
    }

    SetLastError(ERROR_SUCCESS);
    INT_PTR result = ShowLangDialog(IDD_PASSWORD, owner, PasswordDlgProc, reinterpret_cast<LPARAM>(&prompt));
    const DWORD error = GetLastError();
    const bool logon = mode == PasswordMode::Logon;
    if (logon && result == kLogonAccepted && prompt.Decision == PasswordDecision::RightPassword) return prompt.Stored;
    if (!logon && result == kNewPasswordAccepted && prompt.Decision == PasswordDecision::NewPassword) {
        // Written first: when it cannot be, the error box is all the operator sees, never a
        // message that the password was set.
        WritePasswordFile(prompt.NewKey);
        LogEvent("password", {{"mode", "set"}, {"result", "file-written"}, {"file", PasswordFilePath()}});
        ShowBox(owner, IDS_SETPASS_DONE, MB_ICONWARNING);
        return StoredPassword{0, prompt.NewKey};
    }
    if (!logon && result == kSetCancelled) {
        ShowBox(owner, IDS_SETPASS_UNCHANGED, MB_ICONWARNING);
        return StoredPassword();
    }
    if (result == kEndProgram) EndProgram();

    // No decision was made: the dialog could not be created (-1, or 0 for an owner the system
    // refuses), or something other than the operator ended its loop (a quit message posted to
    // the thread). Letting the logon go on here would open a configured password to anyone who
    // can break the language module or post a message; set mode writes nothing.
    MSG quit;
    const bool quitMessage = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    const bool notShown = !quitMessage && (result == -1 || result == 0);
    LogEvent("password", {{"mode", logon ? "logon" : "set"},
                          {"result", logon ? "failed-closed" : "unchanged"},
                          {"reason", quitMessage ? "a quit message ended the prompt"
                                     : notShown  ? "the prompt cannot be shown"
                                                 : "the prompt ended without a decision"},
                          {"dialog-result", std::to_string(result)},
                          {"error", std::to_string(error)}});
    if (notShown) ShowPromptUnavailable(owner);
    if (logon) EndProgram();
    return StoredPassword();
}
