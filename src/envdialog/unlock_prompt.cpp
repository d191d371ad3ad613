#include "envdialog/unlock_prompt.h"

#include "catalogues/bitlocker_rules.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/manage_bde.h"
#include "envdialog/secret_entry.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"

#include <string>

namespace {

struct UnlockRequest {
    char letter;
    std::string keyId;
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
    default: return LoadLangStringOr(IDS_UNLOCK_CAPTION, "BitLocker");
    }
}

void ShowUnlockMessage(HWND owner, UINT id)
{
    ShowLoggedMessageBox(owner, UnlockText(id), UnlockText(IDS_UNLOCK_CAPTION), MB_OK | MB_ICONWARNING);
}

// Set while the tool runs. Input waits meanwhile (see RunTool), but a command posted to the
// prompt is no input, and it must not start a second run inside the first either.
bool g_unlocking = false;

void OnUnlock(HWND dialog, const UnlockRequest& request)
{
    if (g_unlocking) return;
    char password[kRecoveryPasswordChars + 1];
    bool wellFormed = false;
    {
        TypedSecret typed(dialog, IDC_UNLOCK_PASSWORD);
        wellFormed = FormatRecoveryPassword(typed.data(), typed.size(), password);
    }
    const std::string drive = std::string(1, request.letter) + ":";
    if (!wellFormed) {
        // What was typed is never on record, only that it was no recovery key.
        LogEvent("bitlocker", {{"drive", drive}, {"action", "unlock"}, {"result", "malformed"}});
        ShowUnlockMessage(dialog, IDS_UNLOCK_MALFORMED);
        SetFocus(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD));
        return;
    }
    DWORD exitCode = 0;
    bool unlocked = false;
    {
        // Disabled while the tool runs, so a second press cannot start a second run.
        EnableWindow(dialog, FALSE);
        g_unlocking = true;
        ScopeExit done([&] {
            g_unlocking = false;
            SecureZeroMemory(password, sizeof password);
            EnableWindow(dialog, TRUE);
        });
        unlocked = UnlockWithRecoveryPassword(request.letter, password, &exitCode);
        // Presses made during the wait were meant for a prompt that was busy: dropped, so that
        // none of them starts a second run once the prompt takes input again.
        DropQueuedInput();
    }
    LogEvent("bitlocker", {{"drive", drive}, {"action", "unlock"}, {"exit", std::to_string(exitCode)},
                           {"result", unlocked ? "unlocked" : "refused"}});
    if (unlocked) {
        ClearSecretEntry(dialog, IDC_UNLOCK_PASSWORD);
        EndDialog(dialog, IDOK);
        return;
    }
    ShowUnlockMessage(dialog, IDS_UNLOCK_REFUSED);
    SetFocus(GetDlgItem(dialog, IDC_UNLOCK_PASSWORD));
}

INT_PTR CALLBACK UnlockDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const auto& request = *reinterpret_cast<const UnlockRequest*>(lParam);
        const char drive[] = {request.letter, ':', '\0'};
        SetDlgItemTextA(dialog, IDC_UNLOCK_DRIVE, drive);
        std::string keyId = request.keyId.empty() ? UnlockText(IDS_UNLOCK_NO_KEY_ID) : request.keyId;
        SetDlgItemTextA(dialog, IDC_UNLOCK_KEY_ID, keyId.c_str());
        SendDlgItemMessageA(dialog, IDC_UNLOCK_PASSWORD, EM_LIMITTEXT, kSecretBuffer - 1, 0);
        return TRUE;
    }
    const auto* request = reinterpret_cast<const UnlockRequest*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (message != WM_COMMAND || !request) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: OnUnlock(dialog, *request); return TRUE;
    case IDCANCEL:
        ClearSecretEntry(dialog, IDC_UNLOCK_PASSWORD);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool RunUnlockPrompt(HWND owner, char letter)
{
    if (!IsManageBdePresent()) {
        LogEvent("bitlocker", {{"drive", std::string(1, letter) + ":"}, {"action", "unlock"}, {"result", "no-tool"}});
        ShowUnlockMessage(owner, IDS_UNLOCK_NO_TOOLS);
        return false;
    }
    UnlockRequest request{letter, std::string()};
    // The owner stays disabled while the key ID is asked for, so that no second press of its OK
    // button arrives while messages are handled.
    EnableWindow(owner, FALSE);
    request.keyId = ReadRecoveryKeyId(letter);
    EnableWindow(owner, TRUE);
    return ShowLangDialogOrBuiltIn(IDD_UNLOCK, owner, UnlockDlgProc, reinterpret_cast<LPARAM>(&request)) == IDOK;
}
