#include "envdialog/environment_pass.h"

#include "catalogues/devices.h"
#include "common/guards.h"
#include "common/program.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "envdialog/environment_dialog.h"
#include "langmodule/langmodule.h"
#include "session/shared_state.h"
#include "session/target_root.h"

#include <commctrl.h>

#include <utility>

namespace {

// The scan dialog stays up, unpumped, while the builders run; it shows which drive is searched.
void BuildCataloguesUnderScanDialog(HWND owner, EnvironmentPass& pass)
{
    HWND scan = CreateLangDialog(IDD_SCAN, owner);
    ScopeExit closeScan([scan] {
        if (scan) DestroyWindow(scan);
    });
    SendDlgItemMessageA(scan, IDC_SCAN_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MakeLong(0, 8));

    BuildDisplayModeList(pass.DisplayModes);
    BuildLayoutList(pass.Layouts);
    BuildTimeZoneList(pass.TimeZones);
    BuildTargetList(pass.Targets,
                    [scan](const std::string& text) { SetDlgItemTextA(scan, IDC_SCAN_STATUS, text.c_str()); });
    // Once per pass, so that a collected log names the driver still to look for.
    LogDevicesWithoutDriver(ReadDevices());
}

}  // namespace

void RunEnvironmentDialog(HWND owner)
{
    INT_PTR result = -1;
    KeptSelection kept;
    do {
        EnvironmentPass pass;
        pass.Kept = std::exchange(kept, KeptSelection());
        pass.Drives.Letters = GetLogicalDrives();
        BuildCataloguesUnderScanDialog(owner, pass);
        result = ShowLangDialog(IDD_ENVIRONMENT, owner, EnvironmentDlgProc, reinterpret_cast<LPARAM>(&pass));
        kept = std::move(pass.Kept);
    } while (result == kDrivesUnlocked || result == kDrivesChanged);
    if (result == -1) LogEvent("dialog", {{"action", "unavailable"}});
    if (result > kLastReturningResult) EndProgram();
    PublishTargetRoot(Shared().TargetRoot);
}
