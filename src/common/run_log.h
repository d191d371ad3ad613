// The run log: one line per event of a run, appended to the file that LogFile= names, so that an
// administrator can tell afterwards what the program did, in what order, and what the system
// answered. The log never stops, slows or changes the program: a log that cannot be created or
// written is skipped in silence.
#pragma once

#include "common/run_log_line.h"

#include <windows.h>

#include <string>

// Opens the log at path (empty: no log), first renaming a log of 1 MB or more to path + ".old".
// The lines logged before this call (the settings are read before the log's place is known) are
// written first. Called once at start-up; the file stays open until the process ends.
void StartRunLog(const std::string& path);

// The path of the open log; empty while there is none (not started, turned off or given up).
std::string RunLogFilePath();

// Appends one line for the event with its details, each key=value.
void LogEvent(std::string_view event, std::initializer_list<LogField> fields);

// The system's message for an error code, without its line end.
std::string SystemErrorText(DWORD error);

// A message box of the program, on record in the log as an "error" event with its caption and text.
int ShowLoggedMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
