// One pass of the environment dialog: scan, choose target and shell, publish TARGET_ROOT.
#pragma once

#include <windows.h>

// Returns after OK, with ShellCommand and TargetRoot set, or when the dialog cannot be shown;
// ends the program after a shutdown choice.
void RunEnvironmentDialog(HWND owner);
