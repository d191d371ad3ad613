// BitLocker's own command-line tool, manage-bde.exe, which a Windows PE image carries when it
// holds the optional components WinPE-WMI and WinPE-SecureStartup. The program has no BitLocker
// code of its own: it asks the tool and reads its exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// True when %SystemRoot%\System32\manage-bde.exe exists.
bool IsManageBdePresent();

// The kinds of protector a drive has, as manage-bde -protectors -get tells them one type at a time
// (its exit code says whether there is one). Each question waits at most 30 seconds, with the
// wait cursor and messages handled meanwhile; one that gets no answer counts as "none".
struct DriveProtectors {
    bool recoveryPassword = false;
    std::string recoveryKeyId;                 // "{GUID}", empty when none was printed
    bool password = false;
    std::vector<std::string> externalKeyIds;   // the recovery keys saved as files (.BEK)
};
DriveProtectors ReadProtectors(char letter);

// Runs manage-bde -unlock with the recovery password (eight dash-joined groups), hidden, for at
// most 60 seconds, with the wait cursor and messages handled meanwhile. The password goes only
// into the tool's command line, which is wiped here after the start. True on exit code 0;
// exitCode receives the code, or WAIT_TIMEOUT when the tool was stopped at the time limit.
bool UnlockWithRecoveryPassword(char letter, const char* password, DWORD* exitCode);

// Runs manage-bde -unlock -Password, which asks for the password itself at its console: the tool
// gets a hidden console of its own, and the password is typed into that console's input once
// the tool asks (AttachConsole, WriteConsoleInputW and Enter), never put on its command line,
// where any process could read it. The caller owns and wipes the password; the key records made
// here are wiped too. Limits and result as UnlockWithRecoveryPassword.
bool UnlockWithPassword(char letter, const wchar_t* password, size_t length, DWORD* exitCode);

// Runs manage-bde -unlock -RecoveryKey with the folder that holds the drive's .BEK file; the tool
// reads the key from it. Limits and result as UnlockWithRecoveryPassword.
bool UnlockWithKeyFile(char letter, const std::string& folder, DWORD* exitCode);

// Runs manage-bde -protectors -disable -RebootCount 1: the installation on the drive starts once
// without asking for a key, and BitLocker turns protection on again by itself at that start.
bool SuspendForOneRestart(char letter, DWORD* exitCode);
