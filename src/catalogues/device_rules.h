// What a device's configuration-manager status says to an operator looking for a missing driver,
// and which devices the Devices list shows. No platform calls: the numbers are those of cfg.h.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class DeviceState {
    Working,      // started, no problem
    NoDriver,     // no driver installed for it: the one to look for
    FailedStart,  // a driver is there but did not load or start
    Disabled,
    Problem,      // any other problem code
    NotStarted,   // no problem reported, yet not started
    Unknown,      // the status could not be read
};

// The state from CM_Get_DevNode_Status's answer: statusRead false when the call failed.
DeviceState ClassifyDevice(bool statusRead, unsigned long status, unsigned long problem);

// The storage and network controller classes (SCSIAdapter, HDC, Net, SDHost), by the class GUID
// as "{...}" text in any case: an NVMe controller is an SCSIAdapter.
bool IsControllerClass(std::string_view classGuid);

// The Devices list shows every device with a problem or not started, and every controller.
bool IsListedDevice(DeviceState state, std::string_view classGuid);

// The strings of a REG_MULTI_SZ property: each ends at a zero byte, an empty one ends the list,
// and text after the last zero (a property without its terminators) counts as one more string.
std::vector<std::string> SplitMultiString(std::string_view bytes);
