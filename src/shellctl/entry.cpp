#include "shellctl/entry.h"

#include "common/resource_ids.h"
#include "envdialog/environment_dialog.h"
#include "langmodule/langmodule.h"
#include "password/password_dialog.h"
#include "shellctl/autorun.h"
#include "shellctl/hotkeys.h"
#include "shellctl/launch.h"
#include "shellctl/settings.h"
#include "shellctl/shared_state.h"

#include <windows.h>

namespace {

// A pass that neither showed a dialog nor started a shell takes next to no time. Without a
// pause the loop would then spin at full load, starting nothing, for as long as the machine runs.
constexpr DWORD kIdlePassMs = 250;
constexpr unsigned kIdlePauseMs = 1000;

[[noreturn]] void RunShellLoop()
{
    for (;;) {
        DWORD passStart = GetTickCount();
        RunEnvironmentDialog(GetDesktopWindow());
        bool started = RunShellAndWait(Shared().ShellCommand);
        if (!started && GetTickCount() - passStart < kIdlePassMs) PumpMessagesFor(kIdlePauseMs);
    }
}

}  // namespace

bool IsWindowsNT()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void EndProgram() { ExitProcess(0); }

void RunLogonShell(const std::string& firstArgument)
{
    ReadSettings();
    LoadLangModule();

    if (firstArgument == "setpass") {
        // Nothing else runs in this mode, on any platform.
        RunPasswordDialog(GetDesktopWindow(), PasswordMode::Set);
        EndProgram();
    }

    if (!IsWindowsNT()) {
        ShowErrorBox(nullptr, LoadLangString(IDS_NOT_NT));
        EndProgram();
    }

    if (Shared().Settings.UseRegRun) {
        // Once-only entries first, as Windows runs them: they may prepare what Run entries need.
        ProcessRunOnceEx();
        ProcessRunOnce();
        ProcessRun();
    }

    RunPasswordDialog(GetDesktopWindow(), PasswordMode::Logon);
    // From here on the thread must always pump messages, or the keyboard hook stalls.
    InstallHotKeys();
    RunShellLoop();
}
