// The password dialog: asks for the access password at logon, or sets a new one ("setpass").
#pragma once

#include "catalogues/layouts.h"
#include "password/password_store.h"

#include <windows.h>

#include <cstdint>
#include <optional>

enum class PasswordMode { Logon = 0, Set = 1 };

// Dialog results that carry the operator's decision back to RunPasswordDialog. None is 0, -1 or
// IDOK: DialogBoxParamA returns 0 for an owner it refuses, -1 when the dialog cannot be created,
// and a quit message ends the dialog loop with whatever result the dialog holds. A result is only
// believed together with the procedure's own mark of the decision.
enum PasswordResult : INT_PTR {
    kLogonAccepted = 2,
    kNewPasswordAccepted = 1,
    kSetCancelled = 3,
    kEndProgram = 10,
};

// The procedure's own record of the decision, set only where it is made. RunPasswordDialog
// believes a result only with its mark, so no other way out of the dialog loop opens anything.
enum class PasswordDecision { None, RightPassword, NewPassword };

// What one showing of the password dialog works on: the caller's, handed to PasswordDlgProc as
// the creation parameter and reached through DWLP_USER while the dialog is open.
struct PasswordPrompt {
    PasswordMode Mode = PasswordMode::Logon;
    StoredPassword Stored;           // logon mode: what an entry is checked against
    std::optional<TPassKey> NewKey;  // set mode: the accepted new password's key; none for the empty one
    TLayoutList Layouts;             // the keyboard row, built when the dialog opens
    int AttemptsLeft = 0;
    PasswordDecision Decision = PasswordDecision::None;
};

// Logon mode returns when no password is stored or the right one was entered; it ends the
// program on every other way out of the dialog (the fifth wrong entry, a shutdown choice, a quit
// message, a prompt that cannot be shown). Set mode returns when the dialog is closed, having
// written the password file only after OK with two matching entries. Returns the password in
// force then: in logon mode the stored one, in set mode the one written to the file (nothing
// when none was).
StoredPassword RunPasswordDialog(HWND owner, PasswordMode mode);

// The dialog procedure of the password template; lParam of WM_INITDIALOG is the PasswordPrompt.
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void LayoutSetMode(HWND dialog);
void LayoutLogonMode(HWND dialog);
// The entry against the stored key when there is one, else its first 29 characters against the
// legacy hash.
bool CheckPassword(HWND dialog, const StoredPassword& stored);
// The key of the entry, with a fresh salt; none for the empty entry.
std::optional<TPassKey> AcceptNewPassword(HWND dialog);
bool EntriesMatch(HWND dialog);
