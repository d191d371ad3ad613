// Fixed IPv4 addresses through the IP Helper API: the adapters that can take one, and applying a
// checked address or handing the adapter back to DHCP. No tool's output is read.
#pragma once

#include "envdialog/address_rules.h"

#include <string>
#include <vector>

// A wired or wireless adapter, as GetAdaptersAddresses reports it now.
struct NetworkAdapter {
    std::string Name;          // the friendly name, "Ethernet"
    std::string Guid;          // "{...}", the adapter's key under Tcpip\Parameters\Interfaces
    std::string Mac;           // "00-11-22-33-44-55", upper case; empty when it has none
    unsigned long long Luid = 0;
    unsigned long Index = 0;
    bool Wireless = false;
    bool Dhcp = false;
    std::string Address;       // its first IPv4 address, or empty
    unsigned PrefixLength = 0; // that address's prefix length; 0 without one
    std::string Gateway;       // its first IPv4 default gateway, or empty
    std::vector<std::string> Dns;  // its IPv4 DNS servers, at most two
};
std::vector<NetworkAdapter> ConfigurableAdapters();

// Where applying stopped: the step that failed and the system's error, or none.
struct ApplyResult {
    std::string FailedStep;    // the failed call or "registry"; empty when everything took
    unsigned long Error = 0;
    bool DnsNotSupported = false;  // SetInterfaceDnsSettings is missing (before Windows 10 2004)
    bool FellBackToDhcp = false;   // the fixed address failed after the old one was removed
};
ApplyResult ApplyFixedAddress(const NetworkAdapter& adapter, const StaticAddress& address);
ApplyResult ApplyAutomaticAddress(const NetworkAdapter& adapter);

// At start-up, after the Windows PE start-up: each StaticAddress= preset applied to the adapter
// with its MAC address. A malformed preset, or one for an adapter that is not there, is logged
// and skipped.
void ApplyAddressPresets();
