// What the network row says, decided from the adapters' own reports: platform-free, so the states
// a test machine cannot put its adapters in (present, but no address yet) are tested too.
#pragma once

#include <array>
#include <string>
#include <vector>

enum class NetworkState { Unsupported, NotStarted, Starting, NoAdapter, Waiting, Connected };

struct NetworkStatus {
    NetworkState state = NetworkState::NotStarted;
    std::string address;  // when connected: "192.168.1.20 (Ethernet)"; over Wi-Fi the address alone
    std::string wifiName; // the network's name (its SSID as text) when a wireless adapter reports
};

// One adapter as GetAdaptersAddresses reports it, its IPv4 addresses only.
struct AdapterReport {
    std::string name;
    bool loopback = false;  // the loopback or a tunnel: never what reaches a share
    bool up = false;
    std::vector<std::array<unsigned char, 4>> addresses;
    bool wireless = false;  // an 802.11 adapter: the row names its network
    std::string ssid;       // the network it is associated with, as text; empty when none
};

// What the program knows besides the adapters.
struct NetworkFacts {
    bool wpeutilPresent = false;
    bool starting = false;  // our own start of wpeutil is still running
    bool started = false;   // someone started the network: our Start ended, or wpeinit ran
};

// The adapters decide, whoever started the network: an address of an adapter that is up is
// Connected (a self-assigned 169.254 address does not count: DHCP has not answered), an adapter
// without one is Waiting. Only with no adapter at all do the facts tell Starting, Unsupported,
// NoAdapter (started, yet nothing there) and NotStarted apart. A wireless adapter associated with
// a network names it, connected or still Waiting for its address.
NetworkStatus ClassifyNetwork(const std::vector<AdapterReport>& adapters, const NetworkFacts& facts);
