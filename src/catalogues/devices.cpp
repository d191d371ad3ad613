#include "catalogues/devices.h"

#include "common/run_log.h"
#include "common/unique.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>

namespace {

// SetupDiDestroyDeviceInfoList for the list SetupDiGetClassDevsA returns.
struct DeviceListTraits {
    using Handle = HDEVINFO;
    static HDEVINFO Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HDEVINFO h) { SetupDiDestroyDeviceInfoList(h); }
};
using UniqueDeviceList = Unique<DeviceListTraits>;

constexpr DWORD kPropertyLimit = 64 * 1024;

// The property's bytes, without the terminators the caller adds itself; empty when the device
// lacks it.
std::string ReadProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyA(list, &device, property, nullptr, nullptr, 0, &size);
    if (size == 0 || size > kPropertyLimit) return std::string();
    std::string bytes(size, '\0');
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyA(list, &device, property, &type, reinterpret_cast<BYTE*>(&bytes[0]), size,
                                           &size)) {
        return std::string();
    }
    bytes.resize(std::min<size_t>(size, bytes.size()));
    return bytes;
}

std::string ReadTextProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property)
{
    std::string text = ReadProperty(list, device, property);
    return text.substr(0, text.find('\0'));
}

std::string GuidText(const GUID& guid)
{
    if (guid == GUID{}) return std::string();
    char text[40];
    wsprintfA(text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1, guid.Data2, guid.Data3,
              guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
              guid.Data4[7]);
    return text;
}

DeviceEntry ReadEntry(HDEVINFO list, SP_DEVINFO_DATA& device)
{
    DeviceEntry entry;
    entry.name = ReadTextProperty(list, device, SPDRP_FRIENDLYNAME);
    if (entry.name.empty()) entry.name = ReadTextProperty(list, device, SPDRP_DEVICEDESC);
    entry.className = ReadTextProperty(list, device, SPDRP_CLASS);
    entry.classGuid = GuidText(device.ClassGuid);
    entry.hardwareIds = SplitMultiString(ReadProperty(list, device, SPDRP_HARDWAREID));
    entry.compatibleIds = SplitMultiString(ReadProperty(list, device, SPDRP_COMPATIBLEIDS));
    ULONG status = 0;
    ULONG problem = 0;
    bool read = CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS;
    entry.state = ClassifyDevice(read, status, problem);
    entry.problem = read && (status & DN_HAS_PROBLEM) ? problem : 0;
    return entry;
}

}  // namespace

std::vector<DeviceEntry> ReadDevices()
{
    std::vector<DeviceEntry> devices;
    UniqueDeviceList list(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    if (!list) return devices;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(list.get(), index, &device); ++index) {
        devices.push_back(ReadEntry(list.get(), device));
    }
    return devices;
}

size_t CountWithoutDriver(const std::vector<DeviceEntry>& devices)
{
    return static_cast<size_t>(std::count_if(devices.begin(), devices.end(),
                                             [](const DeviceEntry& d) { return d.state == DeviceState::NoDriver; }));
}

void LogDevicesWithoutDriver(const std::vector<DeviceEntry>& devices)
{
    for (const DeviceEntry& device : devices) {
        if (device.state != DeviceState::NoDriver) continue;
        LogEvent("device", {{"state", "no-driver"}, {"name", device.name},
                            {"hardware-id", device.hardwareIds.empty() ? std::string() : device.hardwareIds.front()},
                            {"problem", std::to_string(device.problem)}});
    }
}
