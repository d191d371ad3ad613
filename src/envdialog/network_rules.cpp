#include "envdialog/network_rules.h"

namespace {

bool IsUsable(const std::array<unsigned char, 4>& address)
{
    return address[0] != 0 && address[0] != 127 && !(address[0] == 169 && address[1] == 254);
}

std::string DottedAddress(const std::array<unsigned char, 4>& address)
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

// Over Wi-Fi the row names the network ("Wi-Fi NAME: address"), which says more than the adapter.
bool IsAssociated(const AdapterReport& adapter) { return adapter.wireless && adapter.up && !adapter.ssid.empty(); }

std::string AddressText(const std::array<unsigned char, 4>& address, const AdapterReport& adapter)
{
    return IsAssociated(adapter) ? DottedAddress(address) : DottedAddress(address) + " (" + adapter.name + ")";
}

}  // namespace

NetworkStatus ClassifyNetwork(const std::vector<AdapterReport>& adapters, const NetworkFacts& facts)
{
    NetworkStatus status;
    bool anyAdapter = false;
    for (const AdapterReport& adapter : adapters) {
        if (adapter.loopback) continue;
        anyAdapter = true;
        if (!adapter.up) continue;
        for (const auto& address : adapter.addresses) {
            if (!IsUsable(address)) continue;
            status.state = NetworkState::Connected;
            status.address = AddressText(address, adapter);
            if (IsAssociated(adapter)) status.wifiName = adapter.ssid;
            return status;
        }
    }
    if (facts.starting) {
        status.state = NetworkState::Starting;
    } else if (anyAdapter) {
        status.state = NetworkState::Waiting;
        for (const AdapterReport& adapter : adapters) {
            if (IsAssociated(adapter) && status.wifiName.empty()) status.wifiName = adapter.ssid;
        }
    } else if (!facts.wpeutilPresent) {
        status.state = NetworkState::Unsupported;
    } else {
        status.state = facts.started ? NetworkState::NoAdapter : NetworkState::NotStarted;
    }
    return status;
}
