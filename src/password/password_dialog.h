// The password dialog: asks for the access password at logon, or sets a new one ("setpass").
#pragma once

#include <windows.h>

enum class PasswordMode { Logon, Set };

// Logon mode returns when no password is stored, the right one was entered, or the dialog
// cannot be shown; it ends the program after the last wrong attempt or a shutdown choice.
// Set mode returns when the dialog is closed, having written the password file on success.
void RunPasswordDialog(HWND owner, PasswordMode mode);
