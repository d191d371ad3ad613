// BitLocker's own command-line tool, manage-bde.exe, which a Windows PE image carries when it
// holds the optional components WinPE-WMI and WinPE-SecureStartup. The program has no BitLocker
// code of its own: it asks the tool and reads its exit code.
#pragma once

#include <windows.h>

#include <string>

// True when %SystemRoot%\System32\manage-bde.exe exists.
bool IsManageBdePresent();

// The ID of the drive's recovery key, "{GUID}", as manage-bde -protectors -get prints it; empty
// when it printed none or did not answer in time. The wait shows the wait cursor and keeps
// handling messages.
std::string ReadRecoveryKeyId(char letter);

// Runs manage-bde -unlock with the recovery password (eight dash-joined groups), hidden, for at
// most 60 seconds, with the wait cursor and messages handled meanwhile. The password goes only
// into the tool's command line, which is wiped here after the start. True on exit code 0;
// exitCode receives the code, or WAIT_TIMEOUT when the tool was stopped at the time limit.
bool UnlockWithRecoveryPassword(char letter, const char* password, DWORD* exitCode);
