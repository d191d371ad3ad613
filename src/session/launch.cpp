#include "session/launch.h"

#include "common/command_mask.h"
#include "common/guards.h"
#include "common/run_log.h"

#include <windows.h>

namespace {

constexpr DWORD kRunOnceExLimitMs = 5000;
constexpr DWORD kPollIntervalMs = 10;
// CreateProcess and ExpandEnvironmentStrings take at most this many characters, the zero included.
constexpr DWORD kMaxCommandLineChars = 32767;

// Debian's 64-bit Wine 8 fails about one start in 4,000 with ERROR_INTERNAL_ERROR: the new
// process dies in its own start-up, before any of its code has run ("failed to map the shared
// user data": the heap that the system placed at random above Wine's loader covers 0x7ffe0000),
// and a process gone before its start-up ended is reported as STATUS_INTERNAL_ERROR. The next
// attempt starts it. Windows documents no such failure, and there a second attempt costs nothing.
constexpr int kStartAttempts = 2;

// Expands the command line into expanded and creates the process with the given window state;
// the caller owns the handles. A text whose expansion comes out empty would have been too long
// (ExpandCommand) and fails as such a command line does, not as an empty one.
bool CreateProgram(const std::string& commandLine, WORD showWindow, ProcessInfo& process, std::string& expanded)
{
    expanded = ExpandCommand(commandLine);
    if (expanded.empty() && !commandLine.empty()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow;
    for (int attempt = 1;; ++attempt) {
        // CreateProcessA may write into the command line, so it gets a private, terminated copy.
        std::string writable = expanded;
        if (CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           process.put())) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kStartAttempts) return false;
        LogEvent("start-retry", {{"command", MaskCommandCredentials(expanded)}, {"error", SystemErrorText(error)}});
    }
}

// At most one message per pass, as a burst of messages must not starve the process check.
void DispatchOneMessage()
{
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Sleeps until one of the handles is signalled, a message arrives or the time is up, alertable
// as a sleep is. A message already waiting ends the wait at once: without MWMO_INPUTAVAILABLE
// the wait would pass over the input a look at the queue has seen, and posted messages left
// over from the last pass are not new to it either (MsgWaitForMultipleObjectsEx).
DWORD WaitForHandlesOrMessage(DWORD count, const HANDLE* handles, DWORD milliseconds)
{
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) milliseconds = 0;
    return MsgWaitForMultipleObjectsEx(count, handles, milliseconds, QS_ALLINPUT, MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
}

StartOutcome Started(const ProcessInfo& process, bool created)
{
    StartOutcome outcome;
    outcome.error = created ? 0 : GetLastError();
    outcome.processId = created ? process.ProcessId() : 0;
    return outcome;
}

bool ShellEnded(HANDLE shell, DWORD startTick, unsigned long* exitCode)
{
    DWORD code = 0;
    GetExitCodeProcess(shell, &code);
    LogEvent("shell-end", {{"exit", std::to_string(code)}, {"ms", std::to_string(GetTickCount() - startTick)}});
    if (exitCode) *exitCode = code;
    return true;
}

}  // namespace

std::string ExpandCommand(const std::string& text)
{
    // Beyond the platform's limit the expansion is cut short without an error (seen under Wine:
    // 32,766 characters of a 40,000-character result; a text over 64 KB even loses its start),
    // and a command line that long could not be started anyway: no result rather than a
    // shortened one that would start something else.
    if (text.size() >= kMaxCommandLineChars) return std::string();
    DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    if (needed == 0 || needed > kMaxCommandLineChars) return std::string();
    // The ANSI function wants one more than the length and its zero (ExpandEnvironmentStrings),
    // and its count need not be the length of what it wrote: the text ends at its first zero.
    const DWORD size = needed + 1;
    std::string buffer(size, '\0');
    DWORD written = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), size);
    // A variable may have grown between the two calls; then the buffer holds no result.
    if (written == 0 || written > size) return std::string();
    buffer.resize(buffer.find('\0'));
    return buffer;
}

StartOutcome StartHidden(const std::string& commandLine)
{
    ProcessInfo process;
    std::string expanded;
    bool created = CreateProgram(commandLine, SW_HIDE, process, expanded);
    return Started(process, created);
}

StartOutcome RunHiddenLimited(const std::string& commandLine)
{
    ProcessInfo process;
    std::string expanded;
    StartOutcome outcome = Started(process, CreateProgram(commandLine, SW_HIDE, process, expanded));
    if (!outcome.processId) return outcome;
    if (WaitForSingleObject(process.Process(), kRunOnceExLimitMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.Process(), 0);
        // Termination is asynchronous; let it finish so the entry is really gone on return.
        WaitForSingleObject(process.Process(), kRunOnceExLimitMs);
        outcome.stopped = true;
    }
    return outcome;
}

bool RunShellAndWait(const std::string& commandLine, unsigned long* exitCode)
{
    ProcessInfo process;
    std::string expanded;
    if (!CreateProgram(commandLine, SW_SHOW, process, expanded)) {
        DWORD error = GetLastError();
        const std::string& command = expanded.empty() ? commandLine : expanded;
        LogEvent("shell-start", {{"command", MaskCommandCredentials(command)}, {"result", "failed"}, {"error", SystemErrorText(error)}});
        SetLastError(error);  // the caller's message names the start's error, not the log's
        return false;
    }
    LogEvent("shell-start", {{"command", MaskCommandCredentials(expanded)}, {"pid", std::to_string(process.ProcessId())}});
    DWORD startTick = GetTickCount();
    HANDLE shell = process.Process();
    // The signalled handle, not the exit code, tells that the shell has ended: a shell may
    // well exit with code 259 (STILL_ACTIVE). The thread sleeps until the shell ends or a
    // message arrives, without a time-out: a wait that woke every 10 ms cost 0.2 to 0.8 % of a
    // core under Wine, as much again in its server, for as long as the shell ran.
    for (;;) {
        DWORD woken = WaitForHandlesOrMessage(1, &shell, INFINITE);
        if (woken == WAIT_OBJECT_0) return ShellEnded(shell, startTick, exitCode);
        if (woken == WAIT_OBJECT_0 + 1 || woken == WAIT_TIMEOUT) {
            DispatchOneMessage();
        } else if (woken == WAIT_FAILED) {
            SleepEx(kPollIntervalMs, TRUE);  // never a busy loop, whatever the platform says
            if (WaitForSingleObject(shell, 0) != WAIT_TIMEOUT) return ShellEnded(shell, startTick, exitCode);
        }
    }
}

void PumpMessagesFor(unsigned milliseconds)
{
    DWORD start = GetTickCount();
    for (DWORD passed = 0; passed < milliseconds; passed = GetTickCount() - start) {
        DWORD woken = WaitForHandlesOrMessage(0, nullptr, milliseconds - passed);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT) {
            DispatchOneMessage();
        } else if (woken == WAIT_FAILED) {
            SleepEx(kPollIntervalMs, TRUE);
        }
    }
}
