#include "shellctl/entry.h"

#include "catalogues/devices.h"
#include "catalogues/firmware.h"
#include "common/files.h"
#include "common/program.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/environment_pass.h"
#include "envdialog/network_address.h"
#include "envdialog/network_proxy.h"
#include "envdialog/network_wait.h"
#include "langmodule/langmodule.h"
#include "password/password_dialog.h"
#include "session/launch.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"
#include "shellctl/autorun.h"
#include "shellctl/hotkeys.h"
#include "shellctl/pe_startup.h"
#include "shellctl/settings.h"

#include "tarn_version.h"

#include <windows.h>
#include <commctrl.h>

namespace {

// A pass so short that no operator can have taken part in it (the dialog could not be shown,
// and the shell failed to start or ended at once) is followed by a pause. Without it the loop
// would restart a failing shell flat out for as long as the machine runs. The bound is generous
// because a loaded machine (a slow medium, a busy CPU) may take several hundred milliseconds
// just to start a program that fails; nobody chooses in the dialog and works in a shell faster.
constexpr DWORD kUnattendedPassMs = 1000;
constexpr unsigned kUnattendedPauseMs = 1000;

#if defined(__aarch64__) || defined(_M_ARM64)
constexpr const char* kArchitecture = "arm64";
#else
constexpr const char* kArchitecture = sizeof(void*) == 8 ? "x64" : "x86";
#endif

// Until the operator has read it, a shell that cannot be started holds the loop: the dialog
// comes back after OK, and no unattended machine restarts a failing shell for ever.
constexpr const char* kShellNotStarted = "The shell could not be started (error %1): %2";

// The log's place as LogFile= gives it, references expanded; empty for no log.
std::string RunLogPath(const std::string& setting) { return setting == "NO" ? std::string() : ExpandCommand(setting); }

[[noreturn]] void RunShellLoop()
{
    for (;;) {
        DWORD passStart = GetTickCount();
        RunShellPass();
        if (GetTickCount() - passStart < kUnattendedPassMs) PumpMessagesFor(kUnattendedPauseMs);
    }
}

// After the PE start-up: until wpeinit has installed the Plug and Play devices, hardly any has a
// driver, and the count would say nothing about the drivers the image lacks.
void LogDeviceCount()
{
    const std::vector<DeviceEntry> devices = ReadDevices();
    LogEvent("devices", {{"action", "counted"}, {"present", std::to_string(devices.size())},
                         {"no-driver", std::to_string(CountWithoutDriver(devices))}});
}

}  // namespace

bool RunShellPass(unsigned long* exitCode)
{
    RunEnvironmentDialog(GetDesktopWindow());
    WaitForNetworkAddress(Shared().Settings.WaitForNetwork);
    if (RunShellAndWait(Shared().ShellCommand, exitCode)) return true;
    const DWORD error = GetLastError();
    ShowErrorBox(nullptr, FillPlaceholders(LoadLangStringOr(IDS_SHELL_NOT_STARTED, kShellNotStarted),
                                           {std::to_string(error), SystemErrorText(error)}));
    SetLastError(error);  // the caller asks about the start, not the box
    return false;
}

void RunLogonShell(bool setPasswordMode)
{
    LogEvent("start", {{"version", TARN_VERSION_TEXT}, {"arch", kArchitecture}, {"exe", ExecutablePath()},
                       {"mode", setPasswordMode ? "setpass" : "logon"},
                       {"windows-pe", IsWindowsPE() ? "yes" : "no"}});
    LogFirmware();
    ReadSettings();
    StartRunLog(RunLogPath(Shared().Settings.LogFile));
    LoadLangModule();
    // Once, before the first window: the start-up's scan dialog holds an animation control, the
    // environment dialog a list view. A class not registered makes the dialog fail to be created.
    if (!EnsureCommonControls(ICC_ANIMATE_CLASS | ICC_LISTVIEW_CLASSES)) {
        LogEvent("controls", {{"init", "InitCommonControls"}, {"reason", "InitCommonControlsEx failed"}});
    }

    if (setPasswordMode) {
        // Nothing else runs in this mode, on any platform.
        RunPasswordDialog(GetDesktopWindow(), PasswordMode::Set);
        EndProgram();
    }

    if (!IsWindowsNT()) {
        ShowErrorBox(nullptr, LoadLangString(IDS_NOT_NT));
        EndProgram();
    }

    // Before the PE start-up, the autorun and the password: until the logon is accepted the hook
    // holds back Ctrl+Shift+Esc, which Windows' own logon process would answer with the task manager.
    InstallHotKeys();

    // Before the autorun and the password: the unattend keyboard and the drivers in force.
    RunWindowsPeStartUp();
    LogDeviceCount();
    // Before the autorun, whose programs may already reach the network through them.
    ApplyAddressPresets();
    ApplyProxyFromSettings();

    if (IsAutorunWanted()) {
        // Once-only entries first, as Windows runs them: they may prepare what Run entries need.
        ProcessRunOnceEx();
        ProcessRunOnce();
        ProcessRun();
    }

    // Keys typed during the start-up and the autorun (minutes, on a large machine) waited in the
    // queue for whatever window came next: they are no attempt at the password, nor a press of
    // OK in the environment dialog when no password is set.
    DropQueuedInput();
    RunPasswordDialog(GetDesktopWindow(), PasswordMode::Logon);
    SetLogonAccepted();
    RunShellLoop();
}
