#include "session/pe_tools.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "session/launch.h"
#include "session/message_pump.h"
#include "session/pe_rules.h"
#include "session/shared_state.h"

#include <windows.h>
#include <cfgmgr32.h>

namespace {

constexpr const char* kMiniNtKey = "\\SYSTEM\\CurrentControlSet\\Control\\MiniNT";
constexpr unsigned long kDriverLimitMs = 60000;
constexpr DWORD kDeviceInstallLimitMs = 15000;

bool ReadIsWindowsPE()
{
    LONG status = ERROR_SUCCESS;
    UniqueKey key = OpenRegKey(kMiniNtKey, KEY_READ, status);
    // A key there but closed to us still tells the platform.
    return key || status == ERROR_ACCESS_DENIED;
}

bool IsWow64()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

bool IsWindowsPE()
{
    static const bool windowsPE = ReadIsWindowsPE();
    return windowsPE;
}

std::string SystemToolPath(const char* name)
{
    static const char* const folder = IsWow64() ? "%SystemRoot%\\Sysnative\\" : "%SystemRoot%\\System32\\";
    return ExpandCommand(std::string(folder) + name);
}

const char* ToolOutcomeText(ToolRun::Outcome outcome)
{
    switch (outcome) {
    case ToolRun::Outcome::Ran: return "ran";
    case ToolRun::Outcome::Missing: return "missing";
    case ToolRun::Outcome::NotStarted: return "not-started";
    case ToolRun::Outcome::TimedOut: return "timed-out";
    }
    return "unknown";
}

// A tool still running at its limit is not ended. wpeinit and drvload change the system as they
// go (devices installed, the network started, a driver copied into the driver store): killed
// midway they leave that work half done, which is worse than letting them finish while the
// program goes on; the limit only bounds how long the operator waits for them.
ToolRun RunSystemTool(const char* exeName, const std::string& arguments, unsigned long limitMs)
{
    ToolRun run;
    run.path = SystemToolPath(exeName);
    if (!IsExistingFile(run.path)) return run;

    std::string commandLine = "\"" + run.path + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    ProcessInfo process;
    const DWORD started = GetTickCount();
    // Both are console programs: without CREATE_NO_WINDOW each would open a console window.
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, process.put())) {
        run.outcome = ToolRun::Outcome::NotStarted;
        run.error = GetLastError();
        return run;
    }

    DWORD waited = WAIT_FAILED;
    HANDLE handle = process.Process();
    RunWhilePumping([&] { waited = WaitForSingleObject(handle, limitMs); });
    run.ms = GetTickCount() - started;
    if (waited != WAIT_OBJECT_0) {
        run.outcome = ToolRun::Outcome::TimedOut;
        return run;
    }
    DWORD code = 0;
    GetExitCodeProcess(handle, &code);
    run.outcome = ToolRun::Outcome::Ran;
    run.exitCode = code;
    return run;
}

ToolRun LoadDriver(const std::string& infPath)
{
    ToolRun run = RunSystemTool("drvload.exe", "\"" + infPath + "\"", kDriverLimitMs);
    bool ran = run.outcome == ToolRun::Outcome::Ran;
    bool notStarted = run.outcome == ToolRun::Outcome::NotStarted;
    LogEvent("driver", {{"file", infPath},
                        {"result", ran ? (run.exitCode == 0 ? "loaded" : "refused") : ToolOutcomeText(run.outcome)},
                        {ran ? "exit" : "", std::to_string(run.exitCode)},
                        {run.outcome == ToolRun::Outcome::Missing ? "tool" : "", run.path},
                        {notStarted ? "error" : "", notStarted ? SystemErrorText(run.error) : ""},
                        {"ms", std::to_string(run.ms)}});
    return run;
}

bool WaitForDeviceInstalls()
{
    const DWORD started = GetTickCount();
    DWORD result = WAIT_FAILED;
    DWORD error = 0;
    // A single call that blocks: on a helper thread, so the hook and the windows stay answered.
    RunWhilePumping([&] {
        result = CM_WaitNoPendingInstallEvents(kDeviceInstallLimitMs);
        if (result == WAIT_FAILED) error = GetLastError();
    });
    const char* text = result == WAIT_OBJECT_0 ? "settled" : result == WAIT_TIMEOUT ? "timed-out" : "failed";
    LogEvent("devices", {{"result", text}, {result == WAIT_FAILED ? "error" : "", SystemErrorText(error)},
                         {"ms", std::to_string(GetTickCount() - started)}});
    return result == WAIT_OBJECT_0;
}

std::string DriverFolderPath()
{
    return ResolveDriverFolder(ExpandCommand(Shared().Settings.DriverFolder), ExecutableFolder());
}
