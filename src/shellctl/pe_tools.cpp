#include "shellctl/pe_tools.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "shellctl/launch.h"
#include "shellctl/message_pump.h"

#include <windows.h>

#include <vector>

namespace {

constexpr unsigned long kDriverLimitMs = 60000;

}  // namespace

bool IsWindowsPE() { return static_cast<bool>(OpenRegKey("\\System\\CurrentControlSet\\Control\\MiniNT", KEY_READ)); }

ToolRun RunSystemTool(const char* exe, const std::string& args, unsigned long limitMs)
{
    ToolRun run;
    run.path = ExpandCommand(std::string("%SystemRoot%\\System32\\") + exe);
    if (!IsExistingFile(run.path)) {
        run.missing = true;
        return run;
    }
    std::string command = "\"" + run.path + "\"" + (args.empty() ? "" : " " + args);
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        run.error = GetLastError();
        return run;
    }
    UniqueHandle processHandle(process.hProcess);
    CloseHandle(process.hThread);
    run.started = true;
    DWORD waited = WAIT_FAILED;
    RunWhilePumping([&] { waited = WaitForSingleObject(processHandle.get(), limitMs); });
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(processHandle.get(), WAIT_TIMEOUT);
        run.exitCode = WAIT_TIMEOUT;
        return run;
    }
    DWORD code = 0;
    GetExitCodeProcess(processHandle.get(), &code);
    run.exitCode = code;
    return run;
}

ToolRun LoadDriver(const std::string& inf)
{
    ToolRun run = RunSystemTool("drvload.exe", "\"" + inf + "\"", kDriverLimitMs);
    const char* result = run.missing ? "no-drvload" : !run.started ? "not-started" : run.exitCode == 0 ? "loaded" : "refused";
    LogEvent("driver", {{"file", inf}, {"result", result}, {"exit", run.started ? std::to_string(run.exitCode) : ""},
                        {"error", run.error ? SystemErrorText(run.error) : ""}});
    return run;
}

std::string DriverFolderPath() { return std::string(); }
