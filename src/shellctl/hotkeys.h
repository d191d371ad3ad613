// Ctrl+Alt+Del and Ctrl+Shift+Esc, caught by a low-level keyboard hook on a thread of its own.
// Windows drops a low-level hook for good, without a word, when it keeps a key waiting longer
// than LowLevelHooksTimeout (at most 1,000 ms since Windows 10 1709), and the program's own
// thread can spend far longer inside one platform call (a large hive, a failing disk, a program
// started from a CD). So the hook's thread does nothing but retrieve messages, and each press
// starts its program on a thread of its own.
#pragma once

#include <windows.h>

// Installs the hook for the rest of the process, once; later calls do nothing. The programs are
// taken from the settings now. A failure leaves the chords without effect and is logged with its
// error, as a missing safeguard when a password is configured. Until
// SetLogonAccepted, no chord starts anything and the hook holds back Ctrl+Shift+Esc.
void InstallHotKeys();

// The operator has passed the password prompt (or none was asked for): from now on each chord
// starts its program, and the hook hands every key on.
void SetLogonAccepted();

// Decides at once and never waits. A key-down that completes a chord, and is not the held key's
// auto-repeat, asks the hook's thread for a program start.
LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam);
