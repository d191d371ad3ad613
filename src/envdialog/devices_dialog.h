// The Devices list of the environment dialog: the devices Windows PE sees with a problem and
// every storage and network controller, as text the operator can select and copy.
#pragma once

#include "catalogues/driver_library.h"
#include "catalogues/devices.h"

#include <windows.h>

#include <string>
#include <vector>

// Shows the list, read afresh when it opens and on Refresh.
void RunDevicesDialog(HWND owner);

// The list's text: a summary line for the dialog's head, and one block per listed device
// (name; class and status; the first two hardware IDs; for a storage controller that hides the
// disks while none is visible, what is missing), CR LF line ends.
std::string DevicesSummary(const std::vector<DeviceEntry>& devices);
std::string DevicesText(const std::vector<DeviceEntry>& devices, bool fixedDiskVisible = true);

// After Find drivers: the summary, and per device that had a problem its block with the driver
// found and its load, or "no driver found".
std::string DriverPassSummary(const DriverPassResult& pass);
std::string DriverPassText(const DriverPassResult& pass);
