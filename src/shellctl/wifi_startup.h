// The start-up's Wi-Fi: on Windows PE, the profiles of WifiProfiles= added and tried in name
// order until one connects, after the drivers and before the autorun and the password, so that
// both may already use the network.
#pragma once

#include <functional>
#include <string>

// show tells the operator (the scan dialog) which profile is being tried. Each step, done or
// skipped, has its line in the run log; a profile's passphrase never does.
void ConnectWifiProfiles(const std::function<void(const std::wstring&)>& show);
