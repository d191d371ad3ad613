#include "envdialog/network_rules.h"

namespace {

bool IsUsable(const std::array<unsigned char, 4>& address)
{
    return address[0] != 0 && address[0] != 127 && !(address[0] == 169 && address[1] == 254);
}

std::string AddressText(const std::array<unsigned char, 4>& address, const std::string& adapter)
{
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]) + " (" + adapter + ")";
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
            status.address = AddressText(address, adapter.name);
            return status;
        }
    }
    if (facts.starting) {
        status.state = NetworkState::Starting;
    } else if (anyAdapter) {
        status.state = NetworkState::Waiting;
    } else if (!facts.wpeutilPresent) {
        status.state = NetworkState::Unsupported;
    } else {
        status.state = facts.started ? NetworkState::NoAdapter : NetworkState::NotStarted;
    }
    return status;
}
