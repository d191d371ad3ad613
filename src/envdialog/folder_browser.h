// The target folder browser: any folder can be picked as target root.
#pragma once

#include <windows.h>

#include <string>

// The chosen folder's path, or empty text when the operator cancelled or no browser could be shown.
std::string BrowseTargetFolder(HWND owner, const std::string& initialPath);
