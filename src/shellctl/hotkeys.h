// Ctrl+Alt+Del and Ctrl+Shift+Esc, caught by a low-level keyboard hook on the program's thread.
// The hook only runs while that thread retrieves messages, which it always does from here on.
#pragma once

#include <windows.h>

// Installs the hook for the rest of the process; a failure leaves the chords without effect.
void InstallHotKeys();

// Starts the chord's program for a key-down that completes a chord. Never blocks an event and
// never hands it on.
LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam);

// Start CADApplication or CSEApplication, expanded, as one file name through the shell.
void StartCadApplication(HWND owner);
void StartCseApplication(HWND owner);
