#include "envdialog/unlock_prompt.h"

#include "catalogues/bitlocker_rules.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/secret_entry.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/key_file_search.h"
#include "envdialog/keypad.h"
#include "envdialog/manage_bde.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/on_screen_keyboard.h"

#include <optional>
#include <string>
#include <vector>

namespace {

enum class UnlockMethod { RecoveryKey, Password, KeyFile };

struct UnlockRequest {
    char letter;
    std::string keyId;
    std::vector<UnlockMethod> methods;  // in the order of the method list
    std::optional<FoundKeyFile> keyFile;
};

// Texts of this prompt were added after the 1.5 module contract: a module without them still
// gets a sentence the operator can act on.
std::string UnlockText(UINT id)
{
    switch (id) {
    case IDS_UNLOCK_MALFORMED:
        return LoadLangStringOr(id, "This is not a recovery key. A recovery key has 48 digits in eight groups of six, "
                                    "for example 123456-123456-... Check the digits and type it again.");
    case IDS_UNLOCK_REFUSED:
        return LoadLangStringOr(id, "BitLocker did not accept the recovery key, and the drive stays locked. Check that "
                                    "the key ID matches and type the key again.");
    case IDS_UNLOCK_NO_TOOLS:
        return LoadLangStringOr(id, "This drive is locked by BitLocker, and this Windows PE image cannot unlock it: it "
                                    "lacks manage-bde.exe. Add the optional components WinPE-WMI and "
                                    "WinPE-SecureStartup to the image.");
    case IDS_UNLOCK_NO_KEY_ID: return LoadLangStringOr(id, "(not known)");
    case IDS_UNLOCK_BY_RECOVERY_KEY: return LoadLangStringOr(id, "Recovery key (48 digits)");
    case IDS_UNLOCK_BY_PASSWORD: return LoadLangStringOr(id, "Password");
    case IDS_UNLOCK_BY_KEY_FILE: return LoadLangStringOr(id, "Recovery key file (.BEK) on a USB drive");
    case IDS_UNLOCK_RECOVERY_LABEL: return LoadLangStringOr(id, "&Recovery key (with or without the dashes):");
    case IDS_UNLOCK_PASSWORD_LABEL: return LoadLangStringOr(id, "&Password of the drive:");
    case IDS_UNLOCK_KEY_FILE_FOUND: return LoadLangStringOr(id, "Key file found: %1");
    case IDS_UNLOCK_KEY_FILE_NONE:
        return LoadLangStringOr(id, "No key file of this drive was found on the USB drives, CDs or the boot medium. "
                                    "Plug in the drive that holds it and open this prompt again.");
    case IDS_UNLOCK_PASSWORD_REFUSED:
        return LoadLangStringOr(id, "BitLocker did not accept the password, and the drive stays locked. Check Caps "
                                    "Lock and the keyboard layout and type it again.");
    case IDS_UNLOCK_KEY_FILE_REFUSED:
        return LoadLangStringOr(id, "BitLocker did not accept the key file, and the drive stays locked.");
    case IDS_UNLOCK_SUSPENDED:
        return LoadLangStringOr(id, "BitLocker protection of %1 is suspended for the next restart: Windows starts "
                                    "once without asking for the key, and protection comes back by itself at that "
                                    "start.");
    case IDS_UNLOCK_SUSPEND_FAILED:
        return LoadLangStringOr(id, "The drive %1 is unlocked, but BitLocker did not suspend its protection (exit code "
                                    "%2). The next start may ask for the recovery key again.");
    case IDS_UNLOCK_NO_INSTALLATION:
        return LoadLangStringOr(id, "The drive %1 is unlocked. It holds no Windows installation, so its protection "
                                    "was not suspended.");
    default: return LoadLangStringOr(IDS_UNLOCK_CAPTION, "BitLocker");
    }
}

void ShowUnlockMessage(HWND owner, const std::string& text, UINT icon = MB_ICONWARNING)
{
    ShowLoggedMessageBox(owner, text, UnlockText(IDS_UNLOCK_CAPTION), MB_OK | icon);
}

void ShowUnlockMessage(HWND owner, UINT id) { ShowUnlockMessage(owner, UnlockText(id)); }

UnlockMethod ChosenMethod(HWND dialog, const UnlockRequest& request)
{
    LRESULT index = SendDlgItemMessageA(dialog, IDC_UNLOCK_METHOD, CB_GETCURSEL, 0, 0);
    return index >= 0 && static_cast<size_t>(index) < request.methods.size() ? request.methods[index]
                                                                            : request.methods.front();
}

// Shows what the chosen kind needs: the entry (shown as typed for a recovery key, masked for a
// password) or the key file found.
void ShowMethod(HWND dialog, const UnlockRequest& request)
{
    const UnlockMethod method = ChosenMethod(dialog, request);
    ClearSecretEntry(dialog, IDC_UNLOCK_PASSWORD);
    HWND edit = GetDlgItem(dialog, IDC_UNLOCK_PASSWORD);
    SendMessageA(edit, EM_SETPASSWORDCHAR, method == UnlockMethod::Password ? '*' : 0, 0);
    InvalidateRect(edit, nullptr, TRUE);
    const bool typed = method != UnlockMethod::KeyFile;
    ShowWindow(edit, typed ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_UNLOCK_KEY_FILE), typed ? SW_HIDE : SW_SHOW);
    const UINT label = method == UnlockMethod::Password ? IDS_UNLOCK_PASSWORD_LABEL : IDS_UNLOCK_RECOVERY_LABEL;
    SetDlgItemTextA(dialog, IDC_UNLOCK_PASSWORD_LABEL, UnlockText(label).c_str());
    ShowWindow(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD_LABEL), typed ? SW_SHOW : SW_HIDE);
    const std::string file = request.keyFile ? FillPlaceholders(UnlockText(IDS_UNLOCK_KEY_FILE_FOUND),
                                                                {request.keyFile->Path()})
                                             : UnlockText(IDS_UNLOCK_KEY_FILE_NONE);
    SetDlgItemTextA(dialog, IDC_UNLOCK_KEY_FILE, file.c_str());
    if (typed) SetFocus(edit);
}

// What one attempt came to; the secret it used is gone by the time it returns.
struct Attempt {
    bool ran = false;      // false: refused before the tool was asked (malformed key, no key file)
    bool unlocked = false;
    DWORD exitCode = 0;
    UINT refusal = IDS_UNLOCK_REFUSED;
    const char* kind = "";
};

Attempt TryRecoveryKey(HWND dialog, char letter)
{
    Attempt attempt;
    attempt.kind = "recovery-key";
    char password[kRecoveryPasswordChars + 1];
    ScopeExit wipe([&] { SecureZeroMemory(password, sizeof password); });
    {
        TypedSecretWide typed(dialog, IDC_UNLOCK_PASSWORD);
        // A recovery key is digits and dashes; anything else makes it malformed anyway.
        char narrow[kSecretBuffer];
        ScopeExit wipeNarrow([&] { SecureZeroMemory(narrow, sizeof narrow); });
        for (size_t i = 0; i <= typed.size(); ++i) narrow[i] = typed.data()[i] < 0x80 ? static_cast<char>(typed.data()[i]) : '?';
        if (!FormatRecoveryPassword(narrow, typed.size(), password)) {
            attempt.refusal = IDS_UNLOCK_MALFORMED;
            return attempt;
        }
    }
    attempt.ran = true;
    attempt.unlocked = UnlockWithRecoveryPassword(letter, password, &attempt.exitCode);
    return attempt;
}

Attempt TryPassword(HWND dialog, char letter)
{
    Attempt attempt;
    attempt.kind = "password";
    attempt.refusal = IDS_UNLOCK_PASSWORD_REFUSED;
    TypedSecretWide typed(dialog, IDC_UNLOCK_PASSWORD);
    attempt.ran = true;
    attempt.unlocked = UnlockWithPassword(letter, typed.data(), typed.size(), &attempt.exitCode);
    return attempt;
}

Attempt TryKeyFile(const UnlockRequest& request)
{
    Attempt attempt;
    attempt.kind = "key-file";
    attempt.refusal = request.keyFile ? IDS_UNLOCK_KEY_FILE_REFUSED : IDS_UNLOCK_KEY_FILE_NONE;
    if (!request.keyFile) return attempt;
    attempt.ran = true;
    attempt.unlocked = UnlockWithKeyFile(request.letter, request.keyFile->folder, &attempt.exitCode);
    return attempt;
}

// True when a folder in the drive's root holds registry hives: an installation that the next
// start would ask the key for.
bool HoldsInstallation(char letter)
{
    const char pattern[] = {letter, ':', '\\', '*', '\0'};
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(pattern, &entry));
    if (!find) return false;
    do {
        const std::string config = std::string(1, letter) + ":\\" + entry.cFileName + "\\system32\\config";
        const DWORD attributes = GetFileAttributesA(config.c_str());
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return true;
        }
    } while (FindNextFileA(find.get(), &entry));
    return false;
}

// Asked for in the prompt, never by default: after the unlock, protection is suspended for one
// restart, so that the installation starts once without the recovery screen (after a repair of
// its boot files, say); BitLocker turns it on again by itself at that start.
void SuspendIfAsked(HWND dialog, char letter)
{
    if (IsDlgButtonChecked(dialog, IDC_UNLOCK_SUSPEND) != BST_CHECKED) return;
    const std::string drive = std::string(1, letter) + ":";
    if (!HoldsInstallation(letter)) {
        LogEvent("bitlocker", {{"drive", drive}, {"action", "suspend"}, {"result", "no-installation"}});
        ShowUnlockMessage(dialog, FillPlaceholders(UnlockText(IDS_UNLOCK_NO_INSTALLATION), {drive}),
                          MB_ICONINFORMATION);
        return;
    }
    DWORD exitCode = 0;
    EnableWindow(dialog, FALSE);
    const bool suspended = SuspendForOneRestart(letter, &exitCode);
    DropQueuedInput();
    EnableWindow(dialog, TRUE);
    LogEvent("bitlocker", {{"drive", drive}, {"action", "suspend"}, {"reboots", "1"},
                           {"exit", std::to_string(exitCode)}, {"result", suspended ? "suspended" : "failed"}});
    if (suspended) {
        ShowUnlockMessage(dialog, FillPlaceholders(UnlockText(IDS_UNLOCK_SUSPENDED), {drive}), MB_ICONINFORMATION);
    } else {
        ShowUnlockMessage(dialog,
                          FillPlaceholders(UnlockText(IDS_UNLOCK_SUSPEND_FAILED), {drive, std::to_string(exitCode)}));
    }
}

// Set while the tool runs. Input waits meanwhile (see RunTool), but a command posted to the
// prompt is no input, and it must not start a second run inside the first either.
bool g_unlocking = false;

Attempt TryChosenMethod(HWND dialog, const UnlockRequest& request)
{
    const UnlockMethod method = ChosenMethod(dialog, request);
    // Disabled while the tool runs, so a second press cannot start a second run.
    EnableWindow(dialog, FALSE);
    g_unlocking = true;
    ScopeExit done([&] {
        g_unlocking = false;
        EnableWindow(dialog, TRUE);
    });
    Attempt attempt = method == UnlockMethod::KeyFile    ? TryKeyFile(request)
                      : method == UnlockMethod::Password ? TryPassword(dialog, request.letter)
                                                         : TryRecoveryKey(dialog, request.letter);
    // Presses made during the wait were meant for a prompt that was busy: dropped, so that
    // none of them starts a second run once the prompt takes input again.
    DropQueuedInput();
    return attempt;
}

void OnUnlock(HWND dialog, const UnlockRequest& request)
{
    if (g_unlocking) return;
    const std::string drive = std::string(1, request.letter) + ":";
    const Attempt attempt = TryChosenMethod(dialog, request);
    // What was typed is never on record, only how the drive was to be unlocked and what came of it.
    if (!attempt.ran) {
        LogEvent("bitlocker", {{"drive", drive}, {"action", "unlock"}, {"by", attempt.kind},
                               {"result", attempt.refusal == IDS_UNLOCK_MALFORMED ? "malformed" : "no-key-file"}});
        ShowUnlockMessage(dialog, attempt.refusal);
        SetFocus(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD));
        return;
    }
    LogEvent("bitlocker", {{"drive", drive}, {"action", "unlock"}, {"by", attempt.kind},
                           {"exit", std::to_string(attempt.exitCode)},
                           {"result", attempt.unlocked ? "unlocked" : "refused"}});
    if (attempt.unlocked) {
        ClearSecretEntry(dialog, IDC_UNLOCK_PASSWORD);
        SuspendIfAsked(dialog, request.letter);
        EndDialog(dialog, IDOK);
        return;
    }
    ShowUnlockMessage(dialog, attempt.refusal);
    SetFocus(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD));
}

UINT MethodText(UnlockMethod method)
{
    switch (method) {
    case UnlockMethod::Password: return IDS_UNLOCK_BY_PASSWORD;
    case UnlockMethod::KeyFile: return IDS_UNLOCK_BY_KEY_FILE;
    case UnlockMethod::RecoveryKey: break;
    }
    return IDS_UNLOCK_BY_RECOVERY_KEY;
}

void FillPrompt(HWND dialog, const UnlockRequest& request)
{
    AddMissingControls(dialog, IDD_UNLOCK);
    AddKeypad(dialog, IDC_UNLOCK_METHOD);
    AddOnScreenKeyboardButton(dialog, IDC_UNLOCK_OSK, LoadLangStringOr(IDS_OSK_BUTTON, "&On-screen keyboard"));
    CentreOnScreen(dialog);
    const char drive[] = {request.letter, ':', '\0'};
    SetDlgItemTextA(dialog, IDC_UNLOCK_DRIVE, drive);
    std::string keyId = request.keyId.empty() ? UnlockText(IDS_UNLOCK_NO_KEY_ID) : request.keyId;
    SetDlgItemTextA(dialog, IDC_UNLOCK_KEY_ID, keyId.c_str());
    SendDlgItemMessageA(dialog, IDC_UNLOCK_PASSWORD, EM_LIMITTEXT, kSecretBuffer - 1, 0);
    for (UnlockMethod method : request.methods) {
        SendDlgItemMessageA(dialog, IDC_UNLOCK_METHOD, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(UnlockText(MethodText(method)).c_str()));
    }
    SendDlgItemMessageA(dialog, IDC_UNLOCK_METHOD, CB_SETCURSEL, 0, 0);
    ShowMethod(dialog, request);
}

INT_PTR CALLBACK UnlockDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        FillPrompt(dialog, *reinterpret_cast<const UnlockRequest*>(lParam));
        return FALSE;  // the focus is where ShowMethod put it
    }
    const auto* request = reinterpret_cast<const UnlockRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !request) return FALSE;
    if (OnKeypadCommand(dialog, LOWORD(wParam), IDC_UNLOCK_PASSWORD)) return TRUE;
    switch (LOWORD(wParam)) {
    case IDOK: OnUnlock(dialog, *request); return TRUE;
    case IDC_UNLOCK_OSK:
        StartOnScreenKeyboard();
        SetFocus(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD));
        return TRUE;
    case IDC_UNLOCK_METHOD:
        if (HIWORD(wParam) == CBN_SELCHANGE) ShowMethod(dialog, *request);
        return TRUE;
    case IDCANCEL:
        ClearSecretEntry(dialog, IDC_UNLOCK_PASSWORD);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// Recovery key first, then what else the drive has. A drive whose protectors could not be read
// is offered the recovery key, which every BitLocker drive may have.
std::vector<UnlockMethod> OfferedMethods(const DriveProtectors& protectors)
{
    std::vector<UnlockMethod> methods;
    if (protectors.recoveryPassword || (!protectors.password && protectors.externalKeyIds.empty())) {
        methods.push_back(UnlockMethod::RecoveryKey);
    }
    if (protectors.password) methods.push_back(UnlockMethod::Password);
    if (!protectors.externalKeyIds.empty()) methods.push_back(UnlockMethod::KeyFile);
    return methods;
}

}  // namespace

bool RunUnlockPrompt(HWND owner, char letter)
{
    if (!IsManageBdePresent()) {
        LogEvent("bitlocker", {{"drive", std::string(1, letter) + ":"}, {"action", "unlock"}, {"result", "no-tool"}});
        ShowUnlockMessage(owner, IDS_UNLOCK_NO_TOOLS);
        return false;
    }
    UnlockRequest request{letter, std::string(), {}, std::nullopt};
    // The owner stays disabled while the protectors are asked for, so that no second press of
    // its OK button arrives while messages are handled.
    EnableWindow(owner, FALSE);
    const DriveProtectors protectors = ReadProtectors(letter);
    request.keyFile = FindKeyFile(letter, protectors.externalKeyIds);
    EnableWindow(owner, TRUE);
    request.keyId = protectors.recoveryKeyId;
    request.methods = OfferedMethods(protectors);
    if (request.keyFile) {
        LogEvent("bitlocker", {{"drive", std::string(1, letter) + ":"}, {"key-file", request.keyFile->Path()}});
    }
    return ShowLangDialogOrBuiltIn(IDD_UNLOCK, owner, UnlockDlgProc, reinterpret_cast<LPARAM>(&request)) == IDOK;
}
