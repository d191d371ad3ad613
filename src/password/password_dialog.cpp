#include "password/password_dialog.h"

// The access password arrives with its own change; until then no password is asked for.
void RunPasswordDialog(HWND, PasswordMode) {}
