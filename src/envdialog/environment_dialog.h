// One pass of the environment dialog: the scan, the operator's choice of target and shell, and
// the publishing of TARGET_ROOT.
#pragma once

#include <windows.h>

#include <string>

// Builds the four catalogues under the scan dialog, shows the environment dialog and publishes
// the target root. Returns after OK (ShellCommand and TargetRoot set) or when the dialog cannot
// be shown (both unchanged); ends the program after a shutdown choice.
void RunEnvironmentDialog(HWND owner);

// The dialog procedure of the environment template.
INT_PTR CALLBACK EnvironmentDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The short form hides the keyboard, time-zone and display rows (an 80-pixel band); the long
// form shows them. Either one records the choice for the next pass.
void CollapseEnvironmentDialog(HWND dialog);
void ExpandEnvironmentDialog(HWND dialog);

// Inserts the list-view item of one target-list index; its texts come by call-back.
void AddTargetItem(HWND dialog, int index);

// Publishes TARGET_ROOT machine-wide, to the program's own environment and by broadcast.
void PublishTargetRoot(const std::string& text);

// Writes (or, for empty text, deletes) a machine environment variable, sets it in the program's
// own environment and announces the change. False when the machine environment key could not be
// opened or created.
bool PublishSystemVariable(const std::string& name, const std::string& value);
