#include "shellctl/pe_startup.h"

#include "catalogues/driver_library.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "session/pe_rules.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"
#include "shellctl/wifi_startup.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

namespace {

// wpeinit installs every device and waits for the network; on a large machine that takes a
// minute or more. Beyond this the operator gets the program without waiting further.
constexpr unsigned long kWpeInitLimitMs = 300000;

// The scan dialog, made when the first step needs it and gone with the start-up. One that cannot
// be made is not tried again for every driver: the start-up goes on without it.
class StartUpDialog {
public:
    ~StartUpDialog()
    {
        if (window_) DestroyWindow(window_);
    }
    void Show(const std::string& text)
    {
        Create();
        SetDlgItemTextA(window_, IDC_SCAN_STATUS, text.c_str());
        if (window_) UpdateWindow(window_);
    }
    // A Wi-Fi profile's name may hold characters outside the code page.
    void ShowWide(const std::wstring& text)
    {
        Create();
        SetWindowTextW(GetDlgItem(window_, IDC_SCAN_STATUS), text.c_str());
        if (window_) UpdateWindow(window_);
    }

private:
    void Create()
    {
        if (tried_) return;
        tried_ = true;
        window_ = CreateLangDialog(IDD_SCAN, GetDesktopWindow());
        SendDlgItemMessageA(window_, IDC_SCAN_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MakeLong(0, 8));
    }

    HWND window_ = nullptr;
    bool tried_ = false;
};

void LogWpeInit(const char* result, const std::string& reason, const ToolRun* run = nullptr)
{
    bool ran = run && run->outcome == ToolRun::Outcome::Ran;
    LogEvent("wpeinit", {{"result", result}, {reason.empty() ? "" : "reason", reason},
                         {ran ? "exit" : "", run ? std::to_string(run->exitCode) : ""},
                         {run && run->outcome == ToolRun::Outcome::NotStarted ? "error" : "",
                          run ? SystemErrorText(run->error) : ""},
                         {run ? "ms" : "", run ? std::to_string(run->ms) : ""}});
}

void RunWpeInit(StartUpDialog& dialog)
{
    if (!Shared().Settings.RunWpeInit) return LogWpeInit("skipped", "RunWpeInit=NO");
    // wpeinit writes its log as it starts; one there means winpeshl.ini ran it before the program.
    if (IsExistingFile(SystemToolPath("wpeinit.log"))) return LogWpeInit("skipped", "wpeinit.log exists");
    if (!IsExistingFile(SystemToolPath("wpeinit.exe"))) return LogWpeInit("skipped", "wpeinit.exe missing");
    dialog.Show(LoadLangStringOr(IDS_STARTING_PE, "Starting Windows PE..."));
    ToolRun run = RunSystemTool("wpeinit.exe", std::string(), kWpeInitLimitMs);
    LogWpeInit(ToolOutcomeText(run.outcome), std::string(), &run);
}

std::string LoadingText(const std::string& file)
{
    std::string text = LoadLangStringOr(IDS_LOADING_DRIVER, "Loading driver %s...");
    size_t at = text.find("%s");
    return at == std::string::npos ? text + " " + file : text.replace(at, 2, file);
}

void LogDriversSkipped(const std::string& reason, const std::string& folder = std::string())
{
    LogEvent("drivers", {{"result", "skipped"}, {"reason", reason}, {folder.empty() ? "" : "folder", folder}});
}

// MatchDrivers=YES: the library's drivers that fit a device, best first per device; the pass
// waits for Plug and Play itself.
void MatchDrivers(StartUpDialog& dialog)
{
    if (!IsExistingFile(SystemToolPath("drvload.exe"))) return LogDriversSkipped("drvload.exe missing");
    RunDriverPass(DriverLibraryFolders(), [&](const std::string& inf) { dialog.Show(LoadingText(inf)); });
}

void LoadDrivers(StartUpDialog& dialog)
{
    if (Shared().Settings.MatchDrivers) return MatchDrivers(dialog);
    std::string folder = DriverFolderPath();
    if (folder.empty()) return LogDriversSkipped("no DriverFolder=");
    if (!IsExistingFolder(folder)) return LogDriversSkipped("folder missing", folder);
    if (!IsExistingFile(SystemToolPath("drvload.exe"))) return LogDriversSkipped("drvload.exe missing", folder);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::vector<std::string> files = FindInfFiles(folder);
    LogEvent("drivers", {{"folder", folder}, {"files", std::to_string(files.size())}});
    bool loaded = false;
    for (const std::string& file : files) {
        dialog.Show(LoadingText(file));
        ToolRun run = LoadDriver(folder + file);
        loaded = loaded || (run.outcome == ToolRun::Outcome::Ran && run.exitCode == 0);
    }
    // The disks behind a storage driver get their letters only once Plug and Play has installed
    // them, after drvload has ended: the first scan must not run before.
    if (!loaded) return;
    dialog.Show(LoadLangStringOr(IDS_STARTING_PE, "Starting Windows PE..."));
    WaitForDeviceInstalls();
}

}  // namespace

void RunWindowsPeStartUp()
{
    if (!IsWindowsPE()) {
        LogWpeInit("skipped", "not Windows PE");
        // Profiles added to a full Windows would stay in its WLAN service for good.
        if (!Shared().Settings.WifiProfiles.empty()) {
            LogEvent("wifi", {{"action", "profiles"}, {"result", "skipped"}, {"reason", "not Windows PE"}});
        }
        return LogDriversSkipped("not Windows PE");
    }
    StartUpDialog dialog;
    RunWpeInit(dialog);
    LoadDrivers(dialog);
    ConnectWifiProfiles([&](const std::wstring& text) { dialog.ShowWide(text); });
}
