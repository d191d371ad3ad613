#include "envdialog/load_driver.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"

#include <commdlg.h>

#include <string>

namespace {

// A text of the module with %1 and %2 filled in.
std::string Filled(UINT id, const char* fallback, const std::string& first, const std::string& second = "")
{
    return FillPlaceholders(LoadLangStringOr(id, fallback), {first, second});
}

std::string ChooseDriverFile(HWND dialog)
{
    // The filter is two texts, each ended by a zero, and a zero after the last.
    std::string filter = LoadLangStringOr(IDS_DRIVER_FILTER, "Driver setup information (*.inf)");
    filter += std::string("\0*.inf\0", 7) + '\0';
    char file[MAX_PATH] = "";
    const std::string folder = DriverFolderPath();
    OPENFILENAMEA choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = dialog;
    choice.lpstrFilter = filter.c_str();
    choice.lpstrFile = file;
    choice.nMaxFile = MAX_PATH;
    choice.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    choice.lpstrDefExt = "inf";
    choice.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    return GetOpenFileNameA(&choice) ? std::string(file) : std::string();
}

}  // namespace

// drvload runs under the wait cursor with the dialog disabled: no command of the dialog, and no
// new pass for a disk that arrives meanwhile, can start before it has ended.
bool RunLoadDriver(HWND dialog)
{
    const std::string inf = ChooseDriverFile(dialog);
    if (inf.empty()) return false;
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EnableWindow(dialog, FALSE);
    ToolRun run = LoadDriver(inf);
    if (run.outcome == ToolRun::Outcome::Ran && run.exitCode == 0) WaitForDeviceInstalls();
    // Keys and clicks made meanwhile were meant for a dialog that was busy: handled now, one
    // could close the box below unread, or press OK and start the shell.
    DropQueuedInput();
    EnableWindow(dialog, TRUE);
    SetCursor(previous);
    const std::string caption = LoadLangStringOr(IDS_DRIVER_CAPTION, "Load Driver");
    if (run.outcome == ToolRun::Outcome::Missing) {
        ShowLoggedMessageBox(dialog, Filled(IDS_DRIVER_NO_TOOL, "This Windows PE image cannot load drivers: %1 is missing from it.", run.path),
                             caption, MB_OK | MB_ICONERROR);
        return false;
    }
    if (run.outcome != ToolRun::Outcome::Ran || run.exitCode != 0) {
        std::string code = run.outcome == ToolRun::Outcome::Ran          ? std::to_string(run.exitCode)
                           : run.outcome == ToolRun::Outcome::NotStarted ? SystemErrorText(run.error)
                                                                          : ToolOutcomeText(run.outcome);
        ShowLoggedMessageBox(dialog,
                             Filled(IDS_DRIVER_REFUSED,
                                    "drvload did not load the driver %1 (exit code %2). Check that the driver is made "
                                    "for this processor and this version of Windows.",
                                    inf, code),
                             caption, MB_OK | MB_ICONWARNING);
        return false;
    }
    ShowLoggedMessageBox(dialog,
                         Filled(IDS_DRIVER_LOADED, "The driver %1 was loaded. Tarn Logon now searches the disks again.", inf),
                         caption, MB_OK | MB_ICONINFORMATION);
    return true;
}
