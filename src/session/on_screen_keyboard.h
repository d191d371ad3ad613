// Windows' on-screen keyboard (osk.exe) for the prompts, where the image carries it.
#pragma once

#include <windows.h>

#include <string>

// Adds a button with the given id and text level with the dialog's OK button, at its left edge,
// when %SystemRoot%\System32\osk.exe exists (through Sysnative for the 32-bit build); nothing
// when it does not, so no button offers what the image lacks.
void AddOnScreenKeyboardButton(HWND dialog, int id, const std::string& text);

// Starts osk.exe; it runs beside the prompt, which keeps the focus for its keys. False when it
// could not be started.
bool StartOnScreenKeyboard();
