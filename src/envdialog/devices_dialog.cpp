#include "envdialog/devices_dialog.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "langmodule/langmodule.h"

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

void FillDevices(HWND dialog)
{
    const std::vector<DeviceEntry> devices = ReadDevices();
    SetDlgItemTextA(dialog, IDC_DEVICES_SUMMARY, DevicesSummary(devices).c_str());
    SetDlgItemTextA(dialog, IDC_DEVICES_LIST, DevicesText(devices).c_str());
    // From the top, where the devices without a driver are, and nothing selected yet.
    SendDlgItemMessageA(dialog, IDC_DEVICES_LIST, EM_SETSEL, 0, 0);
    SendDlgItemMessageA(dialog, IDC_DEVICES_LIST, EM_SCROLLCARET, 0, 0);
    LogEvent("devices", {{"action", "listed"}, {"present", std::to_string(devices.size())},
                         {"no-driver", std::to_string(CountWithoutDriver(devices))}});
}

INT_PTR CALLBACK DevicesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        FillDevices(dialog);
        // The dialog manager would select the whole text when it gives the list the focus, and
        // scroll to its end.
        SetFocus(GetDlgItem(dialog, IDC_DEVICES_LIST));
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_DEVICES_REFRESH: FillDevices(dialog); return TRUE;
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

std::string DevicesText(const std::vector<DeviceEntry>& devices)
{
    std::vector<const DeviceEntry*> listed;
    for (const DeviceEntry& device : devices) {
        if (IsListedDevice(device.state, device.classGuid)) listed.push_back(&device);
    }
    std::stable_sort(listed.begin(), listed.end(),
                     [](const DeviceEntry* a, const DeviceEntry* b) { return Rank(a->state) < Rank(b->state); });
    const std::string classLabel = LoadLangStringOr(IDS_DEVICE_CLASS, "Class:");
    std::string text;
    for (const DeviceEntry* device : listed) {
        if (!text.empty()) text += "\r\n";
        text += (device->name.empty() ? LoadLangStringOr(IDS_DEVICE_NO_NAME, "(unnamed device)") : device->name) + "\r\n";
        const std::string className =
            device->className.empty() ? LoadLangStringOr(IDS_DEVICE_NO_CLASS, "(none)") : device->className;
        text += "    " + classLabel + " " + className + "; " + StateText(*device) + "\r\n";
        for (size_t i = 0; i < std::min(kShownHardwareIds, device->hardwareIds.size()); ++i) {
            text += "    " + device->hardwareIds[i] + "\r\n";
        }
        if (device->hardwareIds.empty()) text += "    " + LoadLangStringOr(IDS_DEVICE_NO_IDS, "(no hardware ID)") + "\r\n";
    }
    return text;
}

void RunDevicesDialog(HWND owner) { ShowLangDialogOrBuiltIn(IDD_DEVICES, owner, DevicesDlgProc, 0); }
