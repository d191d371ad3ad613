// Drive letters under Wine, for the tests and for the stand-ins they start (no test framework here).
#pragma once

#include <windows.h>

#include <string>

// Defines (or, with DRIVE_NO_ROOT_DIR and no path, removes) a drive letter at once, with its
// type, for every process of the Wine server, through Wine's mount manager as winecfg does.
// unixDevice, when given, is what \\.\X: opens (Wine's "x::" link).
bool DefineDrive(char letter, UINT type, const std::string& unixPath, const std::string& unixDevice = std::string());
