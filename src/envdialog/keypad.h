// An on-screen keypad beside a dialog's entry, for a tablet without a keyboard: digits, a
// backspace and a dash that moves to the next group of a recovery key.
#pragma once

#include <windows.h>

// Grows the dialog to the right and places the keypad there, its top level with the control
// topId, each key at least 9 mm square at the display's DPI, so that a finger can hit it.
void AddKeypad(HWND dialog, int topId);

// Handles a press of one of the keypad's keys: the character reaches the entry editId as a typed
// key would (WM_CHAR), so the entry's own handling and the prompt's checks apply unchanged. False
// for a control that is no key of the keypad.
bool OnKeypadCommand(HWND dialog, int control, int editId);
