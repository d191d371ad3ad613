#include "shellctl/launch.h"

#include "common/guards.h"
#include "common/run_log.h"

#include <windows.h>

namespace {

constexpr DWORD kRunOnceExLimitMs = 5000;
constexpr DWORD kPollIntervalMs = 10;
// CreateProcess and ExpandEnvironmentStrings take at most this many characters, the zero included.
constexpr DWORD kMaxCommandLineChars = 32767;

// Creates the process with the given window state; the caller owns the handles.
bool CreateProgram(std::string expanded, WORD showWindow, ProcessInfo& process)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showWindow;
    // CreateProcessA may write into the command line, so it gets a private, terminated copy.
    return CreateProcessA(nullptr, expanded.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process.put()) != FALSE;
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
    std::string buffer(needed, '\0');
    DWORD written = ExpandEnvironmentStringsA(text.c_str(), buffer.data(), needed);
    // A variable may have grown between the two calls; then the buffer holds no result.
    if (written == 0 || written > needed) return std::string();
    buffer.resize(written - 1);
    return buffer;
}

StartOutcome StartHidden(const std::string& commandLine)
{
    ProcessInfo process;
    bool created = CreateProgram(ExpandCommand(commandLine), SW_HIDE, process);
    return Started(process, created);
}

StartOutcome RunHiddenLimited(const std::string& commandLine)
{
    ProcessInfo process;
    StartOutcome outcome = Started(process, CreateProgram(ExpandCommand(commandLine), SW_HIDE, process));
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
    std::string expanded = ExpandCommand(commandLine);
    if (!CreateProgram(expanded, SW_SHOW, process)) {
        DWORD error = GetLastError();
        LogEvent("shell-start", {{"command", expanded}, {"result", "failed"}, {"error", SystemErrorText(error)}});
        return false;
    }
    LogEvent("shell-start", {{"command", expanded}, {"pid", std::to_string(process.ProcessId())}});
    DWORD startTick = GetTickCount();
    HANDLE shell = process.Process();
    // The signalled handle, not the exit code, tells that the shell has ended: a shell may
    // well exit with code 259 (STILL_ACTIVE). Between passes the thread waits at most 10 ms,
    // alertable, as a sleep would; but the wait also ends when the shell does or when a message
    // (a hot-key event included) arrives. A sleep followed by a look at the queue and at the
    // process cost three calls every 10 ms, and under Wine each is a round trip to its server
    // (0.7 % of a core while the shell ran, as much again in the server), and a hot-key event
    // waited out the sleep once for each key of the chord.
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjectsEx(1, &shell, kPollIntervalMs, QS_ALLINPUT,
                                                  MWMO_ALERTABLE | MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return ShellEnded(shell, startTick, exitCode);
        if (woken == WAIT_OBJECT_0 + 1) {
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
    while (GetTickCount() - start < milliseconds) {
        DispatchOneMessage();
        SleepEx(kPollIntervalMs, TRUE);
    }
}
