// Windows PE's own tools (wpeinit, drvload and the like), which every PE image carries in its
// System32 folder and a full Windows mostly lacks: telling the two apart, finding the tools and
// running them hidden while this thread keeps handling its messages.
#pragma once

#include <string>

// True when HKLM\SYSTEM\CurrentControlSet\Control\MiniNT exists, a key only Windows PE has.
// Read once; the answer holds for the whole run.
bool IsWindowsPE();

// "%SystemRoot%\System32\<name>" expanded. The 32-bit build on 64-bit Windows sees SysWOW64 as
// System32, which lacks the 64-bit-only tools; it goes through Sysnative to the real folder.
std::string SystemToolPath(const char* name);

// What became of one run of a tool.
struct ToolRun {
    enum class Outcome {
        Ran,         // ended within the limit; exitCode is its exit code
        Missing,     // no such file in System32; nothing started
        NotStarted,  // there, but CreateProcess refused it; error is the system's code
        TimedOut,    // still running at the limit, and left running
    };
    Outcome outcome = Outcome::Missing;
    unsigned long exitCode = 0;
    unsigned long error = 0;
    unsigned long ms = 0;  // from the start to its end, or to the limit
    std::string path;      // the tool's full path, as looked for
};

// Starts System32's exeName with the arguments, hidden and without a console, and waits for it at
// most limitMs. Meanwhile this thread's messages are handled (the keyboard hook, painting,
// timers) but no operator input is dispatched: it waits in the queue for the dialog that owns it.
// A tool still running at the limit is left to finish on its own (see pe_tools.cpp).
ToolRun RunSystemTool(const char* exeName, const std::string& arguments, unsigned long limitMs);

// Loads a driver package with "%SystemRoot%\System32\drvload.exe" "<infPath>", waited for at
// most 60 s; the file, the outcome and the exit code go to the run log as a "driver" line.
ToolRun LoadDriver(const std::string& infPath);

// drvload ends once the driver is in the driver store; the disks behind a new controller get
// their drive letters afterwards, as Plug and Play installs them. Waits until it has no install
// pending, at most 15 s, while this thread's messages are handled as in RunSystemTool; the
// result goes to the run log as a "devices" line. False when the wait ended at the limit or failed.
bool WaitForDeviceInstalls();

// The outcome's word in the run log: ran, missing, not-started, timed-out.
const char* ToolOutcomeText(ToolRun::Outcome outcome);

// The folder that DriverFolder= names, references expanded and a relative path taken from the
// program's own folder; empty when the settings name none.
std::string DriverFolderPath();
