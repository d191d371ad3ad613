// Helpers for tests that work with real files, processes and windows under Wine.
#pragma once

#include "common/guards.h"
#include "support/observe.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A fresh folder under the temp folder for one test case, removed with everything in it at the end.
class CaseFolder {
public:
    CaseFolder();
    ~CaseFolder();
    CaseFolder(const CaseFolder&) = delete;
    CaseFolder& operator=(const CaseFolder&) = delete;

    // The folder's path with its trailing backslash.
    const std::string& Path() const { return path_; }
    // path_ + relative, creating the parent folders of the result.
    std::string File(const std::string& relative) const;

private:
    std::string path_;
};

// The folder holding the built executables (the test program's own folder), with a trailing backslash.
std::string BinFolder();

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);  // empty when missing
// Sets a file's last-write time to the start of the given day, as a copy from a backup would keep it.
void SetLastWriteDay(const std::string& path, WORD year, WORD month, WORD day);
void CopyOrFail(const std::string& from, const std::string& to);
void RemoveTree(const std::string& folder);

// Lines of a text file, without their line ends; empty when the file is missing.
std::vector<std::string> ReadLines(const std::string& path);

// Polls condition every 20 ms until it holds or the timeout passes; returns its last result.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// A process started by a test; terminated when the test ends without having waited for it.
class ChildProcess {
public:
    // environment: variables to set or replace in a copy of the test's own environment.
    ChildProcess(const std::string& commandLine, const std::map<std::string, std::string>& environment = {},
                 const std::string& currentFolder = std::string());
    ~ChildProcess();
    bool Started() const { return static_cast<bool>(process_); }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_.get(); }
    // The exit code once ended within the timeout; STILL_ACTIVE otherwise.
    DWORD WaitForExit(DWORD timeoutMs);
    void Terminate();

private:
    UniqueHandle process_;
    DWORD id_ = 0;
};

// All text of the static controls of a dialog or message box, joined with "\n".
std::string DialogText(HWND dialog);

// Total CPU time (user + kernel) of all threads of a process so far.
std::chrono::milliseconds ProcessCpuTime(DWORD processId);
