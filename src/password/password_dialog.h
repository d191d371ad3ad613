// The password dialog: asks for the access password at logon, or sets a new one ("setpass").
#pragma once

#include <windows.h>

#include <cstdint>

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

// Logon mode returns when no password is stored or the right one was entered; it ends the
// program on every other way out of the dialog (the fifth wrong entry, a shutdown choice, a quit
// message, a prompt that cannot be shown). Set mode returns when the dialog is closed, having
// written the password file only after OK with two matching entries.
void RunPasswordDialog(HWND owner, PasswordMode mode);

// The dialog procedure of the password template; the mode comes as the creation parameter.
INT_PTR CALLBACK PasswordDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void LayoutSetMode(HWND dialog);
void LayoutLogonMode(HWND dialog);
// The entry against StoredKey when there is one, else its first 29 characters against the
// legacy StoredHash.
bool CheckPassword(HWND dialog);
// Sets StoredKey for the entry, with a fresh salt; none for the empty entry.
void AcceptNewPassword(HWND dialog);
bool EntriesMatch(HWND dialog);
