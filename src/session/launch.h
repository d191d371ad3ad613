// Expanding command lines and starting the programs the system runs. Every program starts with
// the system's own environment (TARGET_ROOT included) and current folder. A start that fails with
// ERROR_INTERNAL_ERROR is tried once more (launch.cpp says why). Nothing here speaks to the
// operator: a failed start is on record in the run log, and the caller decides about a message.
#pragma once

#include <string>

// The text with every %NAME% reference to a defined environment variable replaced; references
// to undefined variables stay as written. Empty text when the result would exceed the platform's
// 32,767 characters (the zero included): such a command line cannot be started.
std::string ExpandCommand(const std::string& text);

// What became of a program started for an autostart entry, for the run log.
struct StartOutcome {
    unsigned long processId = 0;  // 0: it could not be started
    unsigned long error = 0;      // the system's error code then
    bool stopped = false;         // still running at the time limit, and terminated
};

// Starts a program hidden and does not wait for it (Run and RunOnce entries).
StartOutcome StartHidden(const std::string& commandLine);

// Starts a program hidden and waits for it at most 5000 ms; one still running then is
// terminated with exit code 0 (RunOnceEx entries). Blocks without pumping messages.
StartOutcome RunHiddenLimited(const std::string& commandLine);

// Starts the shell with a normal window and waits for it to end, dispatching the thread's
// messages meanwhile and otherwise asleep. False, at once, when the program could not be
// started, with the start's error as the thread's last error (ERROR_FILENAME_EXCED_RANGE for a
// command line too long once expanded); otherwise its exit code goes to exitCode when given.
// Start and end are on record in the run log.
bool RunShellAndWait(const std::string& commandLine, unsigned long* exitCode = nullptr);

// Dispatches the thread's messages for about the given time, asleep between them.
void PumpMessagesFor(unsigned milliseconds);
