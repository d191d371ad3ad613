#include "langmodule/langmodule.h"

// The language module arrives with its own change; until then there is no module, every string
// is empty and no box is shown.

HMODULE LoadLangModule() { return nullptr; }

std::string LoadLangString(UINT) { return std::string(); }

bool ShowErrorBox(HWND, const std::string&) { return false; }

bool RunShutdownChoice(HWND, bool) { return false; }
