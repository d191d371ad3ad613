// The environment dialog: the operator picks the target root and the shell from one pass's
// catalogues, and may switch keyboard layout, time zone and display mode at once.
#pragma once

#include "envdialog/environment_pass.h"

#include <windows.h>

// How the dialog ends. The ones up to kLastReturningResult return to the shell loop; the two
// in between ask for a new pass, whose scan finds the drives as they are now.
constexpr INT_PTR kConfirmed = 1;
constexpr INT_PTR kDrivesUnlocked = 2;  // the catalogues are built again, with the unlocked drive's installations
constexpr INT_PTR kDrivesChanged = 3;   // likewise, for a drive that came or went or a driver loaded
constexpr INT_PTR kLastReturningResult = 3;
constexpr INT_PTR kShutdownTaken = 10;

// The dialog procedure of the environment template; lParam of WM_INITDIALOG is the
// EnvironmentPass, reached through DWLP_USER while the dialog is open.
INT_PTR CALLBACK EnvironmentDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The short form hides the keyboard, time-zone, display and network rows; the long form shows
// them. Either one records the choice for the next pass.
void CollapseEnvironmentDialog(HWND dialog);
void ExpandEnvironmentDialog(HWND dialog);

// Inserts the list-view item of one target-list index; its texts come by call-back.
void AddTargetItem(HWND dialog, int index);
