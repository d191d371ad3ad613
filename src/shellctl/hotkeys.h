// Ctrl+Alt+Del and Ctrl+Shift+Esc, caught by a low-level keyboard hook on the program's thread.
// The hook only runs while that thread retrieves messages, which it always does from here on.
#pragma once

#include <windows.h>

// Installs the hook for the rest of the process; a failure leaves the chords without effect.
// The chords' programs start from this thread's message loop, whichever loop runs.
void InstallHotKeys();

// Posts a key-down that completes a chord to the program's thread and hands every event on;
// never blocks one.
LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam);

// Start CADApplication or CSEApplication, expanded, as one file name through the shell.
void StartCadApplication(HWND owner);
void StartCseApplication(HWND owner);
