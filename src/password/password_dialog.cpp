#include "password/password_dialog.h"

#include "catalogues/layouts.h"
#include "common/errors.h"
#include "common/guards.h"
#include "common/program.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "password/pass_key_derive.h"
#include "password/password_hash.h"
#include "password/password_store.h"
#include "session/message_pump.h"
#include "session/shared_state.h"

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr const char* kCaption = "Tarn Logon";
constexpr int kEntryBuffer = 256;    // 255 characters and the terminator, so passphrases fit
constexpr size_t kLegacyLength = 29;  // all that stored PassHash values were ever made from
const int kRowHeight = ScaleForDpi(25);  // the template's user row and repeat row, scaled
constexpr int kAttempts = 5;

int g_attemptsLeft = 0;
// A failure of the platform's cryptography inside the dialog procedure, raised again once the
// dialog has ended: an exception must not unwind through the system's dialog code.
std::exception_ptr g_failure;
constexpr INT_PTR kFailed = -2;
// The procedure's own record of the decision, set only where it is made. RunPasswordDialog
// believes a result only with its mark, so no other way out of the dialog loop opens anything.
enum class Decision { None, RightPassword, NewPassword };
Decision g_decision = Decision::None;

// The mode is not stored: logon mode is exactly while the user name is shown.
bool IsLogonMode(HWND dialog) { return IsControlShown(dialog, IDC_PASSWORD_USER); }

// An entry as typed, wiped from memory when it goes out of scope.
class SecretEntry {
public:
    SecretEntry(HWND dialog, int control) : length_(GetDlgItemTextA(dialog, control, text_, kEntryBuffer)) {}
    ~SecretEntry() { SecureZeroMemory(text_, sizeof text_); }
    SecretEntry(const SecretEntry&) = delete;
    SecretEntry& operator=(const SecretEntry&) = delete;
    std::string_view Text() const { return std::string_view(text_, length_); }

private:
    char text_[kEntryBuffer] = "";
    size_t length_;
};

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
// environment dialog's pass builds the list anew.
void FillLayoutCombo(HWND dialog)
{
    SharedState& shared = Shared();
    if (!shared.LayoutList) {
        shared.LayoutList = std::make_unique<TLayoutList>();
        BuildLayoutList();
    }
    for (size_t i = 0; i < shared.LayoutList->Count(); ++i) {
        const TLayoutInfo& layout = shared.LayoutList->At(static_cast<long long>(i));
        std::string text = layout.Id + " " + layout.Text;
        SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_SETCURSEL, static_cast<WPARAM>(FindCurrentLayout()), 0);
}

void OnLayoutChosen(HWND dialog)
{
    int index = static_cast<int>(SendDlgItemMessageA(dialog, IDC_PASSWORD_LAYOUT, CB_GETCURSEL, 0, 0));
    if (index < 0 || !Shared().LayoutList || static_cast<size_t>(index) >= Shared().LayoutList->Count()) return;
    LogEvent("password", {{"layout", Shared().LayoutList->At(index).Id}, {"action", "chosen"}});
    ApplyLayout(index);
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void InitPasswordDialog(HWND dialog, LPARAM mode)
{
    AddMissingControls(dialog, IDD_PASSWORD);
    FillLayoutCombo(dialog);
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
    // Typing stops where reading would cut the entry.
    for (int control : {IDC_PASSWORD_EDIT, IDC_PASSWORD_REPEAT}) {
        SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, kEntryBuffer - 1, 0);
    }
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
}

void OnLogonOk(HWND dialog)
{
    // Only the attempt's number and its outcome go on record, never the typed text or its hash.
    std::string attempt = std::to_string(kAttempts - g_attemptsLeft + 1);
    if (CheckPassword(dialog)) {
        LogEvent("password", {{"attempt", attempt}, {"result", "right"}});
        g_decision = Decision::RightPassword;
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
        AcceptNewPassword(dialog);
        g_decision = Decision::NewPassword;
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

bool CheckPassword(HWND dialog)
{
    SecretEntry entry(dialog, IDC_PASSWORD_EDIT);
    const SharedState& shared = Shared();
    if (shared.StoredKey) return RunLongStep([&] { return PassKeyMatches(*shared.StoredKey, entry.Text()); });
    return PasswordHash(entry.Text().substr(0, kLegacyLength)) == shared.StoredHash;
}

void AcceptNewPassword(HWND dialog)
{
    SecretEntry entry(dialog, IDC_PASSWORD_EDIT);
    Shared().StoredHash = 0;
    Shared().StoredKey.reset();
    // The empty password means "no password": it gets no key, and the legacy file says so.
    if (entry.Text().empty()) return;
    Shared().StoredKey = RunLongStep([&] { return MakePassKey(entry.Text()); });
}

bool EntriesMatch(HWND dialog)
{
    SecretEntry first(dialog, IDC_PASSWORD_EDIT);
    SecretEntry second(dialog, IDC_PASSWORD_REPEAT);
    return first.Text() == second.Text();
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
        try {
            IsLogonMode(dialog) ? OnLogonOk(dialog) : OnSetOk(dialog);
        } catch (...) {
            g_failure = std::current_exception();
            EndDialog(dialog, kFailed);
        }
        return TRUE;
    case IDCANCEL:
        OnCancel(dialog);
        return TRUE;
    case IDC_PASSWORD_LAYOUT:
        if (HIWORD(wParam) == CBN_SELCHANGE) OnLayoutChosen(dialog);
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
    Shared().StoredKey.reset();
    if (mode == PasswordMode::Logon) {
        try {
            ReadStoredPassword();
        } catch (const AppError& e) {
            LogEvent("password", {{"result", "failed-closed"}, {"reason", e.what()}});
            throw;
        }
        if (!Shared().StoredKey && Shared().StoredHash == 0) {
            LogEvent("password", {{"prompt", "skipped"}, {"reason", "no password is stored"}});
            return;
        }
    }

    g_failure = nullptr;
    g_decision = Decision::None;
    SetLastError(ERROR_SUCCESS);
    INT_PTR result = ShowLangDialog(IDD_PASSWORD, owner, PasswordDlgProc, static_cast<LPARAM>(mode));
    const DWORD error = GetLastError();
    const Decision decision = std::exchange(g_decision, Decision::None);
    if (g_failure) std::rethrow_exception(std::exchange(g_failure, nullptr));
    const bool logon = mode == PasswordMode::Logon;
    if (logon && result == kLogonAccepted && decision == Decision::RightPassword) return;
    if (!logon && result == kNewPasswordAccepted && decision == Decision::NewPassword) {
        // Written first: when it cannot be, the error box is all the operator sees, never a
        // message that the password was set.
        WritePasswordFile();
        LogEvent("password", {{"mode", "set"}, {"result", "file-written"}, {"file", PasswordFilePath()}});
        ShowBox(owner, IDS_SETPASS_DONE, MB_ICONWARNING);
        return;
    }
    if (!logon && result == kSetCancelled) {
        ShowBox(owner, IDS_SETPASS_UNCHANGED, MB_ICONWARNING);
        return;
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
}
