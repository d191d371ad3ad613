// The language module: the resource library beside the executable that supplies the dialog
// templates, the strings, the shutdown dialog and the shutdown itself.
#pragma once

#include <windows.h>

#include <string>

// The module's handle, loaded from the executable's folder on first use; null while it cannot
// be loaded (every later use tries again).
HMODULE LoadLangModule();

// The string with the given id, at most 1023 characters; empty when the id or the module is missing.
std::string LoadLangString(UINT id);

// An error box with the language module's caption and hint; true when it was confirmed with OK.
bool ShowErrorBox(HWND owner, const std::string& message);

// Hands over to the module's shutdown dialog. True when the program is to end (quit chosen, or
// a shutdown or restart under way); false when the operator cancelled.
bool RunShutdownChoice(HWND owner, bool setupLoader);
