// The Native Wi-Fi API (wlanapi.dll), loaded at run time: Microsoft's Windows PE lacks it, Windows
// RE and images built on winre.wim have it. One client handle and one wireless interface (the
// first the service lists) are kept for the run, and the service's notifications arrive on its
// own thread; every wait for one handles this thread's messages (no input) and has a bound.
#pragma once

#include "envdialog/wifi_rules.h"

#include <string>
#include <vector>

enum class WifiReadiness { NoSupport, ServiceDown, NoAdapter, Ready };

// Makes the WLAN part ready, once per run while it succeeds: on Windows PE the location consent
// the current Windows RE needs before the service lists networks, then the WLAN service started
// when the image has it and it is stopped, then the client handle and the interface. Each step's
// outcome is in the run log.
WifiReadiness OpenWifi();

// The visible networks, merged and ordered (see MergeNetworks); with freshScan a new scan first,
// waited for at most a few seconds.
std::vector<WifiSighting> ListWifiNetworks(bool freshScan);

struct WifiAttempt {
    WifiOutcome outcome = WifiOutcome::Failed;
    unsigned long reason = 0;  // the service's WLAN_REASON_CODE, or the failed call's error
};

// Joins a listed network with a profile built for it. The passphrase is wiped here whatever the
// outcome; a profile that did not connect is deleted again, one that did stays for the run so
// that the service reconnects by itself.
WifiAttempt ConnectWifi(const std::string& ssid, WifiSecurity security, std::string& passphrase);

// Adds a profile document as it is (UTF-16, as a file holds it) and connects with the profile
// of that name, waiting at most limitMs. The document is wiped here; the profile stays only when
// it connected.
WifiAttempt ConnectWithProfile(std::wstring& profileXml, const std::string& profileName, unsigned limitMs);

// Disconnects the interface; false when the service refused.
bool DisconnectWifi();

// The name of the network the wireless adapter with this GUID ("{...}", as the adapter list
// names it) is associated with; empty when none, or when the WLAN part cannot tell. Never starts
// the service.
std::string WifiNetworkOf(const std::string& adapterGuid);
