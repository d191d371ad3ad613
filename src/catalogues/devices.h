// The devices Windows PE sees, read through SetupAPI and the configuration manager, for the
// Devices list and the run log: a driver the image lacks is found by its hardware ID.
#pragma once

#include "catalogues/device_rules.h"

#include <string>
#include <vector>

struct DeviceEntry {
    std::string name;       // friendly name, else the description; empty when neither is set
    std::string className;  // the setup class's name; empty for a device without a driver
    std::string classGuid;  // "{...}"; empty when the device has no class
    std::vector<std::string> hardwareIds;
    DeviceState state = DeviceState::Unknown;
    unsigned long problem = 0;  // the CM_PROB_ code, when state says there is a problem
    std::vector<std::string> compatibleIds;
};

// Every present device, in SetupAPI's order; empty when the device list cannot be opened.
std::vector<DeviceEntry> ReadDevices();

// The number of devices in the list whose state is NoDriver.
size_t CountWithoutDriver(const std::vector<DeviceEntry>& devices);

// One "device" line in the run log for each device without a driver: its name and first
// hardware ID.
void LogDevicesWithoutDriver(const std::vector<DeviceEntry>& devices);
