// The tools every Windows PE image carries in its System32 folder, run hidden and waited for,
// and what tells Windows PE from a full Windows.
#pragma once

#include <string>

struct ToolRun {
    bool missing = false;          // the tool is not in the image
    bool started = false;          // false: missing, or it could not be started (error says why)
    unsigned long exitCode = 0;    // WAIT_TIMEOUT when it was stopped at the limit
    unsigned long error = 0;
    std::string path;              // the tool's full path
};

// True on Windows PE: only it has HKLM\SYSTEM\CurrentControlSet\Control\MiniNT.
bool IsWindowsPE();

// Runs %SystemRoot%\System32\<exe> with the arguments, hidden, and waits at most limitMs while
// the thread's messages (not input) are handled; one still running then is stopped.
ToolRun RunSystemTool(const char* exe, const std::string& args, unsigned long limitMs);

// drvload.exe "<inf>", at most 60 s; the run log gets the file and the exit code.
ToolRun LoadDriver(const std::string& inf);

// The drivers folder the settings name, resolved; empty when there is none.
std::string DriverFolderPath();
