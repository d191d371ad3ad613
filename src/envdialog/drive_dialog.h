// The network drive dialog: connect a share with a user and a password typed every time, and
// disconnect the drives connected here.
#pragma once

#include <windows.h>

#include <string>

void RunDriveDialog(HWND owner);

// What the operator reads for a failed connection of path to letter.
std::string DriveFailureText(unsigned long error, const std::string& path, char letter);
