// The environment dialog's Load driver button: the operator picks a driver's .inf file, drvload
// loads it, and a box says what happened.
#pragma once

#include <windows.h>

// Asks for the .inf file (in DriverFolder= when there is one) and loads it with the dialog
// disabled. True when the driver was loaded, so that the disks it revealed are searched anew;
// false when the operator chose nothing or the load failed.
bool RunLoadDriver(HWND dialog);
