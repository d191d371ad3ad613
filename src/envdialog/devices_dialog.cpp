#include "envdialog/devices_dialog.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"

#include <algorithm>

namespace {

constexpr size_t kShownHardwareIds = 2;

std::string StateText(const DeviceEntry& device)
{
    const std::string problem = std::to_string(device.problem);
    switch (device.state) {
    case DeviceState::Working: return LoadLangStringOr(IDS_DEVICE_WORKING, "working");
    case DeviceState::NoDriver:
        return FillPlaceholders(LoadLangStringOr(IDS_DEVICE_NO_DRIVER, "no driver installed (problem %1)"), {problem});
    case DeviceState::FailedStart:
        return FillPlaceholders(LoadLangStringOr(IDS_DEVICE_FAILED_START, "failed to start (problem %1)"), {problem});
    case DeviceState::Disabled:
        return FillPlaceholders(LoadLangStringOr(IDS_DEVICE_DISABLED, "disabled (problem %1)"), {problem});
    case DeviceState::Problem: return FillPlaceholders(LoadLangStringOr(IDS_DEVICE_PROBLEM, "problem %1"), {problem});
    case DeviceState::NotStarted: return LoadLangStringOr(IDS_DEVICE_NOT_STARTED, "not started");
    case DeviceState::Unknown: break;
    }
    return LoadLangStringOr(IDS_DEVICE_UNKNOWN, "status unknown");
}

// Devices without a driver first, then the other problems, then the controllers that work: the
// one the operator came for is at the top.
int Rank(DeviceState state)
{
    switch (state) {
    case DeviceState::NoDriver: return 0;
    case DeviceState::FailedStart: return 1;
    case DeviceState::Problem: return 2;
    case DeviceState::Disabled: return 3;
    case DeviceState::NotStarted: return 4;
    default: return 5;
    }
}

// The block of one device: name; class and status; its first hardware IDs; then the lines given.
std::string DeviceBlock(const DeviceEntry& device, size_t shownIds, const std::vector<std::string>& more)
{
    const std::string className =
        device.className.empty() ? LoadLangStringOr(IDS_DEVICE_NO_CLASS, "(none)") : device.className;
    std::string text = (device.name.empty() ? LoadLangStringOr(IDS_DEVICE_NO_NAME, "(unnamed device)") : device.name) + "\r\n";
    text += "    " + LoadLangStringOr(IDS_DEVICE_CLASS, "Class:") + " " + className + "; " + StateText(device) + "\r\n";
    for (size_t i = 0; i < std::min(shownIds, device.hardwareIds.size()); ++i) {
        text += "    " + device.hardwareIds[i] + "\r\n";
    }
    if (device.hardwareIds.empty()) text += "    " + LoadLangStringOr(IDS_DEVICE_NO_IDS, "(no hardware ID)") + "\r\n";
    for (const std::string& line : more) text += "    " + line + "\r\n";
    return text;
}

std::string HiddenDisksText(const std::string& inf)
{
    return FillPlaceholders(LoadLangStringOr(IDS_DRIVERS_HIDDEN_DISKS,
                                             "The disks are there, but Windows PE cannot see them: the storage driver "
                                             "for this controller is missing. Vendors ship it as %1."),
                            {inf});
}

void ShowText(HWND dialog, const std::string& summary, const std::string& list)
{
    SetDlgItemTextA(dialog, IDC_DEVICES_SUMMARY, summary.c_str());
    SetDlgItemTextA(dialog, IDC_DEVICES_LIST, list.c_str());
    // From the top, where the devices without a driver are, and nothing selected yet.
    SendDlgItemMessageA(dialog, IDC_DEVICES_LIST, EM_SETSEL, 0, 0);
    SendDlgItemMessageA(dialog, IDC_DEVICES_LIST, EM_SCROLLCARET, 0, 0);
}

void FillDevices(HWND dialog)
{
    const std::vector<DeviceEntry> devices = ReadDevices();
    const bool fixedDisk = AnyFixedDiskVisible();
    ShowText(dialog, DevicesSummary(devices), DevicesText(devices, fixedDisk));
    LogEvent("devices", {{"action", "listed"}, {"present", std::to_string(devices.size())},
                         {"no-driver", std::to_string(CountWithoutDriver(devices))}});
    LogHiddenDisks(devices, fixedDisk);
}

// The pass waits for drvload and Plug and Play through the waits that handle messages: the
// dialog keeps painting and the hook answering; the operator's input meanwhile is dropped.
void OnFindDrivers(HWND dialog)
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EnableWindow(dialog, FALSE);
    SetDlgItemTextA(dialog, IDC_DEVICES_SUMMARY,
                    LoadLangStringOr(IDS_DRIVERS_SEARCHING, "Searching the driver library...").c_str());
    UpdateWindow(dialog);
    const std::string loading = LoadLangStringOr(IDS_LOADING_DRIVER, "Loading driver %s...");
    const DriverPassResult pass = RunDriverPass(DriverLibraryFolders(), [&](const std::string& inf) {
        std::string text = loading;
        const size_t at = text.find("%s");
        SetDlgItemTextA(dialog, IDC_DEVICES_SUMMARY, (at == std::string::npos ? text + " " + inf : text.replace(at, 2, inf)).c_str());
        UpdateWindow(dialog);
    });
    DropQueuedInput();
    EnableWindow(dialog, TRUE);
    SetCursor(previous);
    ShowText(dialog, DriverPassSummary(pass), DriverPassText(pass));
}

INT_PTR CALLBACK DevicesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        AddMissingControls(dialog, IDD_DEVICES);
        FillDevices(dialog);
        // The dialog manager would select the whole text when it gives the list the focus, and
        // scroll to its end.
        SetFocus(GetDlgItem(dialog, IDC_DEVICES_LIST));
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_DEVICES_REFRESH: FillDevices(dialog); return TRUE;
    case IDC_DEVICES_FIND: OnFindDrivers(dialog); return TRUE;
    case IDOK:
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
    }
    return FALSE;
}

}  // namespace

std::string DevicesSummary(const std::vector<DeviceEntry>& devices)
{
    if (devices.empty()) return LoadLangStringOr(IDS_DEVICES_NONE, "Windows PE reports no devices.");
    const size_t noDriver = CountWithoutDriver(devices);
    const size_t problems = static_cast<size_t>(std::count_if(devices.begin(), devices.end(), [](const DeviceEntry& d) {
        return d.state != DeviceState::NoDriver && IsListedDevice(d.state, "");
    }));
    return FillPlaceholders(LoadLangStringOr(IDS_DEVICES_SUMMARY,
                                             "%1 devices without a driver, %2 with another problem; the storage and "
                                             "network controllers are listed too. Select the text and press Ctrl+C "
                                             "to copy it."),
                            {std::to_string(noDriver), std::to_string(problems)});
}

std::string DevicesText(const std::vector<DeviceEntry>& devices, bool fixedDiskVisible)
{
    std::vector<const DeviceEntry*> listed;
    for (const DeviceEntry& device : devices) {
        if (IsListedDevice(device.state, device.classGuid)) listed.push_back(&device);
    }
    std::stable_sort(listed.begin(), listed.end(),
                     [](const DeviceEntry* a, const DeviceEntry* b) { return Rank(a->state) < Rank(b->state); });
    std::string text;
    for (const DeviceEntry* device : listed) {
        if (!text.empty()) text += "\r\n";
        const std::string hiddenDisks = MissingStorageDriver(*device, fixedDiskVisible);
        text += DeviceBlock(*device, kShownHardwareIds,
                            hiddenDisks.empty() ? std::vector<std::string>() : std::vector<std::string>{HiddenDisksText(hiddenDisks)});
    }
    return text;
}

std::string DriverPassSummary(const DriverPassResult& pass)
{
    if (pass.folders.empty()) {
        return LoadLangStringOr(IDS_DRIVERS_NO_LIBRARY,
                                "No driver library was found. Name one with DriverFolder= in tarn_logon.ini, or put a "
                                "folder Drivers at the root of a USB drive, and press Find drivers again.");
    }
    if (pass.devices.empty()) {
        return LoadLangStringOr(IDS_DRIVERS_NO_DEVICES, "Every device has its driver: nothing to look for.");
    }
    std::string folders;
    for (const std::string& folder : pass.folders) folders += (folders.empty() ? "" : ", ") + folder;
    return FillPlaceholders(LoadLangStringOr(IDS_DRIVERS_SUMMARY,
                                             "%1 INF files searched in %2; %3 of %4 drivers loaded for the devices "
                                             "below. Select the text and press Ctrl+C to copy it."),
                            {std::to_string(pass.infFiles), folders, std::to_string(pass.loaded), std::to_string(pass.loads)});
}

std::string DriverPassText(const DriverPassResult& pass)
{
    std::string text;
    for (const DeviceDriverOutcome& outcome : pass.devices) {
        std::vector<std::string> lines;
        if (!outcome.found) {
            lines.push_back(LoadLangStringOr(IDS_DRIVERS_NONE_FOUND, "no driver found"));
        } else {
            std::string line = FillPlaceholders(LoadLangStringOr(IDS_DRIVERS_FOUND, "Driver: %1 (section %2, for %3)"),
                                                {outcome.inf, outcome.section, outcome.id});
            if (outcome.load == "loaded") {
                line += ": " + LoadLangStringOr(IDS_DRIVERS_LOADED, "loaded");
            } else if (!outcome.load.empty()) {
                line += ": " + FillPlaceholders(LoadLangStringOr(IDS_DRIVERS_NOT_LOADED, "not loaded (%1)"), {outcome.load});
            }
            if (outcome.fixedAfter) line += "; " + LoadLangStringOr(IDS_DRIVERS_WORKS_NOW, "the device works now");
            lines.push_back(line);
        }
        if (!outcome.hiddenDisksInf.empty()) lines.push_back(HiddenDisksText(outcome.hiddenDisksInf));
        if (!text.empty()) text += "\r\n";
        text += DeviceBlock(outcome.device, 1, lines);
    }
    return text;
}

void RunDevicesDialog(HWND owner) { ShowLangDialogOrBuiltIn(IDD_DEVICES, owner, DevicesDlgProc, 0); }
