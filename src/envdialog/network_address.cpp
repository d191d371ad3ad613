#include "envdialog/network_address.h"

#include "envdialog/adapter_addresses.h"

#include <netioapi.h>

#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "session/shared_state.h"

#include <algorithm>
#include <memory>
#include <cstdio>

namespace {

// SetInterfaceDnsSettings came with Windows 10 2004; older images lack it, so it is looked up.
struct DnsInterfaceSettings {
    ULONG Version;
    ULONG64 Flags;
    PWSTR Domain;
    PWSTR NameServer;
    PWSTR SearchList;
    ULONG RegistrationEnabled;
    ULONG RegisterAdapterName;
    ULONG EnableLLMNR;
    ULONG QueryAdapterName;
    PWSTR ProfileNameServer;
};
constexpr ULONG kDnsSettingsVersion1 = 1;
constexpr ULONG64 kDnsSettingNameServer = 0x0002;
using SetInterfaceDnsSettingsProc = DWORD(WINAPI*)(GUID, const DnsInterfaceSettings*);

// The calls that change addresses and routes are looked up too: every Windows PE since Vista has
// them, but a system without one (Wine 8 has none of them) must get a message, not a crash,
// and nothing half applied.
struct IpHelperCalls {
    VOID(WINAPI* initializeAddress)(MIB_UNICASTIPADDRESS_ROW*) = nullptr;
    DWORD(WINAPI* createAddress)(const MIB_UNICASTIPADDRESS_ROW*) = nullptr;
    DWORD(WINAPI* deleteAddress)(const MIB_UNICASTIPADDRESS_ROW*) = nullptr;
    VOID(WINAPI* initializeRoute)(MIB_IPFORWARD_ROW2*) = nullptr;
    DWORD(WINAPI* createRoute)(const MIB_IPFORWARD_ROW2*) = nullptr;
    DWORD(WINAPI* deleteRoute)(const MIB_IPFORWARD_ROW2*) = nullptr;
    SetInterfaceDnsSettingsProc setDns = nullptr;
    const char* missing = nullptr;  // the first call the system lacks, if any
};

template <class Proc>
void LookUp(HMODULE module, const char* name, Proc& proc, const char*& missing)
{
    proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!proc && !missing) missing = name;
}

IpHelperCalls LookUpIpHelper()
{
    IpHelperCalls calls;
    HMODULE module = GetModuleHandleA("iphlpapi.dll");
    LookUp(module, "CreateUnicastIpAddressEntry", calls.createAddress, calls.missing);
    LookUp(module, "DeleteUnicastIpAddressEntry", calls.deleteAddress, calls.missing);
    LookUp(module, "InitializeUnicastIpAddressEntry", calls.initializeAddress, calls.missing);
    LookUp(module, "CreateIpForwardEntry2", calls.createRoute, calls.missing);
    LookUp(module, "DeleteIpForwardEntry2", calls.deleteRoute, calls.missing);
    LookUp(module, "InitializeIpForwardEntry", calls.initializeRoute, calls.missing);
    // Optional: without it the DNS servers wait in the registry (see FinishWithDns).
    calls.setDns = reinterpret_cast<SetInterfaceDnsSettingsProc>(
        reinterpret_cast<void*>(GetProcAddress(module, "SetInterfaceDnsSettings")));
    return calls;
}

constexpr const char* kInterfacesKey = "\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";

std::string MacText(const BYTE* bytes, ULONG length)
{
    std::string text;
    for (ULONG i = 0; i < length; ++i) {
        char part[4];
        std::snprintf(part, sizeof part, i ? "-%02X" : "%02X", bytes[i]);
        text += part;
    }
    return text;
}

NET_LUID LuidOf(const NetworkAdapter& adapter)
{
    NET_LUID luid;
    luid.Value = adapter.Luid;
    return luid;
}

// Host order to the network order of a socket address, without ws2_32's htonl (the program
// imports no winsock).
uint32_t SwapBytes(uint32_t value)
{
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

SOCKADDR_INET Ipv4Socket(uint32_t address)
{
    SOCKADDR_INET socket{};
    socket.Ipv4.sin_family = AF_INET;
    socket.Ipv4.sin_addr.s_addr = SwapBytes(address);
    return socket;
}

ApplyResult Failed(const char* step, unsigned long error)
{
    ApplyResult result;
    result.FailedStep = step;
    result.Error = error;
    return result;
}

// REG_MULTI_SZ from one text; an empty text writes an empty list.
LONG WriteMultiString(HKEY key, const char* name, const std::string& value)
{
    std::string data = value;
    data.push_back('\0');
    if (!value.empty()) data.push_back('\0');
    return RegSetValueExA(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// The documented TCP/IP values of the adapter: DHCP off or on, and the address kept for the
// session, so the DHCP client does not take the adapter back.
LONG WriteInterfaceValues(const NetworkAdapter& adapter, bool dhcp, const StaticAddress& address)
{
    UniqueKey key = OpenRegKey(kInterfacesKey + adapter.Guid, KEY_SET_VALUE);
    if (!key) return ERROR_FILE_NOT_FOUND;
    DWORD enable = dhcp ? 1 : 0;
    LONG status = RegSetValueExA(key.get(), "EnableDHCP", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                                 sizeof enable);
    if (status != ERROR_SUCCESS) return status;
    WriteMultiString(key.get(), "IPAddress", dhcp ? "0.0.0.0" : Ipv4Text(address.Address));
    WriteMultiString(key.get(), "SubnetMask", dhcp ? "0.0.0.0" : Ipv4Text(PrefixMask(address.PrefixLength)));
    WriteMultiString(key.get(), "DefaultGateway", dhcp || !address.Gateway ? "" : Ipv4Text(address.Gateway));
    std::string servers;
    for (uint32_t server : address.Dns) {
        if (server) servers += (servers.empty() ? "" : ",") + Ipv4Text(server);
    }
    RegSetValueExA(key.get(), "NameServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(servers.c_str()),
                   static_cast<DWORD>(servers.size() + 1));
    return ERROR_SUCCESS;
}

// IpRenewAddress waits for the DHCP server's answer, which may take a minute or never come: it
// runs on a thread of its own, which owns its copy of the adapter's entry, and logs the answer.
DWORD WINAPI RenewLease(void* parameter)
{
    std::unique_ptr<IP_ADAPTER_INDEX_MAP> entry(static_cast<IP_ADAPTER_INDEX_MAP*>(parameter));
    const DWORD result = IpRenewAddress(entry.get());
    LogEvent("address", {{"index", std::to_string(entry->Index)}, {"action", "renewed"},
                         {"result", result == NO_ERROR ? "ok" : SystemErrorText(result)}});
    return 0;
}

// Lets go of (or asks again for) the adapter's DHCP lease, by its index in the interface list.
void ReleaseOrRenewLease(const NetworkAdapter& adapter, bool renew)
{
    ULONG size = 0;
    if (GetInterfaceInfo(nullptr, &size) != ERROR_INSUFFICIENT_BUFFER) return;
    std::vector<unsigned char> buffer(size);
    auto* info = reinterpret_cast<IP_INTERFACE_INFO*>(buffer.data());
    if (GetInterfaceInfo(info, &size) != NO_ERROR) return;
    for (LONG i = 0; i < info->NumAdapters; ++i) {
        if (info->Adapter[i].Index != adapter.Index) continue;
        if (renew) {
            auto* entry = new IP_ADAPTER_INDEX_MAP(info->Adapter[i]);
            UniqueHandle thread(CreateThread(nullptr, 0, RenewLease, entry, 0, nullptr));
            if (!thread) delete entry;
            LogEvent("address", {{"adapter", adapter.Name}, {"action", "renew"}, {"result", thread ? "asked" : "failed"}});
            continue;
        }
        // A lease that is not there (DHCP never answered) is no failure.
        const DWORD result = IpReleaseAddress(&info->Adapter[i]);
        LogEvent("address", {{"adapter", adapter.Name}, {"action", "release"},
                             {"result", result == NO_ERROR ? "ok" : SystemErrorText(result)}});
    }
}

// Removes the adapter's IPv4 addresses: all of them, or only those set by hand.
void DeleteAddresses(const IpHelperCalls& calls, const NetworkAdapter& adapter, bool manualOnly)
{
    MIB_UNICASTIPADDRESS_TABLE* table = nullptr;
    if (GetUnicastIpAddressTable(AF_INET, &table) != NO_ERROR || !table) return;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_UNICASTIPADDRESS_ROW& row = table->Table[i];
        if (row.InterfaceLuid.Value != adapter.Luid) continue;
        if (manualOnly && row.PrefixOrigin != IpPrefixOriginManual) continue;
        calls.deleteAddress(&row);
    }
    FreeMibTable(table);
}

// Removes the adapter's default routes: all of them, or only those set by hand.
void DeleteDefaultRoutes(const IpHelperCalls& calls, const NetworkAdapter& adapter, bool manualOnly)
{
    MIB_IPFORWARD_TABLE2* table = nullptr;
    if (GetIpForwardTable2(AF_INET, &table) != NO_ERROR || !table) return;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2& row = table->Table[i];
        if (row.InterfaceLuid.Value != adapter.Luid || row.DestinationPrefix.PrefixLength != 0) continue;
        if (manualOnly && row.Protocol != RouteProtocolNetMgmt) continue;
        calls.deleteRoute(&row);
    }
    FreeMibTable(table);
}

// The DNS servers of the adapter; none gives it back to DHCP's.
DWORD SetDnsServers(const IpHelperCalls& calls, const NetworkAdapter& adapter, const StaticAddress& address)
{
    GUID guid{};
    NET_LUID luid = LuidOf(adapter);
    if (DWORD error = ConvertInterfaceLuidToGuid(&luid, &guid)) return error;
    std::wstring servers;
    for (uint32_t server : address.Dns) {
        if (!server) continue;
        const std::string text = Ipv4Text(server);
        if (!servers.empty()) servers += L',';
        servers.append(text.begin(), text.end());
    }
    DnsInterfaceSettings settings{};
    settings.Version = kDnsSettingsVersion1;
    settings.Flags = kDnsSettingNameServer;
    settings.NameServer = const_cast<PWSTR>(servers.c_str());
    return calls.setDns(guid, &settings);
}

ApplyResult FinishWithDns(const IpHelperCalls& calls, const NetworkAdapter& adapter, const StaticAddress& address)
{
    ApplyResult result;
    if (!calls.setDns) {
        // The registry's NameServer, written before, reaches the resolver when the adapter
        // starts again; the operator is told the servers are not in force now.
        result.DnsNotSupported = address.Dns[0] != 0;
    } else if (DWORD error = SetDnsServers(calls, adapter, address)) {
        result = Failed("SetInterfaceDnsSettings", error);
    }
    return result;
}

}  // namespace

std::vector<NetworkAdapter> ConfigurableAdapters()
{
    const std::vector<unsigned char> list =
        ReadAdapterAddresses(GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_INCLUDE_GATEWAYS);
    auto ipv4 = [](const SOCKET_ADDRESS& address) {
        const SOCKADDR* socket = address.lpSockaddr;
        return socket && socket->sa_family == AF_INET
                   ? Ipv4Text(SwapBytes(reinterpret_cast<const sockaddr_in*>(socket)->sin_addr.s_addr))
                   : std::string();
    };
    std::vector<NetworkAdapter> adapters;
    for (const IP_ADAPTER_ADDRESSES* entry = FirstAdapter(list); entry; entry = entry->Next) {
        if (entry->IfType != IF_TYPE_ETHERNET_CSMACD && entry->IfType != IF_TYPE_IEEE80211) continue;
        NetworkAdapter adapter;
        adapter.Name = AdapterText(entry->FriendlyName);
        adapter.Guid = entry->AdapterName ? entry->AdapterName : "";
        adapter.Mac = MacText(entry->PhysicalAddress, entry->PhysicalAddressLength);
        adapter.Luid = entry->Luid.Value;
        adapter.Index = entry->IfIndex;
        adapter.Wireless = entry->IfType == IF_TYPE_IEEE80211;
        adapter.Dhcp = (entry->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;
        for (auto* unicast = entry->FirstUnicastAddress; unicast && adapter.Address.empty(); unicast = unicast->Next) {
            adapter.Address = ipv4(unicast->Address);
            if (!adapter.Address.empty()) adapter.PrefixLength = unicast->OnLinkPrefixLength;
        }
        for (auto* gateway = entry->FirstGatewayAddress; gateway && adapter.Gateway.empty(); gateway = gateway->Next) {
            adapter.Gateway = ipv4(gateway->Address);
        }
        for (auto* dns = entry->FirstDnsServerAddress; dns && adapter.Dns.size() < 2; dns = dns->Next) {
            std::string server = ipv4(dns->Address);
            if (!server.empty()) adapter.Dns.push_back(std::move(server));
        }
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

namespace {

// After a failed fixed address: the adapter's addresses are gone by then, so it is given back
// to DHCP rather than left with none.
ApplyResult FallBackToDhcp(const IpHelperCalls& calls, const NetworkAdapter& adapter, ApplyResult failed)
{
    const StaticAddress none;
    WriteInterfaceValues(adapter, true, none);
    DeleteAddresses(calls, adapter, true);
    DeleteDefaultRoutes(calls, adapter, true);
    ReleaseOrRenewLease(adapter, true);
    LogEvent("address", {{"adapter", adapter.Name}, {"action", "fallback"}, {"mode", "dhcp"},
                         {"after", failed.FailedStep}});
    failed.FellBackToDhcp = true;
    return failed;
}

}  // namespace

ApplyResult ApplyFixedAddress(const NetworkAdapter& adapter, const StaticAddress& address)
{
    const IpHelperCalls calls = LookUpIpHelper();
    if (calls.missing) return Failed(calls.missing, ERROR_PROC_NOT_FOUND);
    if (LONG status = WriteInterfaceValues(adapter, false, address)) return Failed("registry", status);
    ReleaseOrRenewLease(adapter, false);
    DeleteAddresses(calls, adapter, false);
    DeleteDefaultRoutes(calls, adapter, false);

    MIB_UNICASTIPADDRESS_ROW row;
    calls.initializeAddress(&row);
    row.InterfaceLuid = LuidOf(adapter);
    row.Address = Ipv4Socket(address.Address);
    row.OnLinkPrefixLength = static_cast<UINT8>(address.PrefixLength);
    row.PrefixOrigin = IpPrefixOriginManual;
    row.SuffixOrigin = IpSuffixOriginManual;
    if (DWORD error = calls.createAddress(&row)) {
        return FallBackToDhcp(calls, adapter, Failed("CreateUnicastIpAddressEntry", error));
    }

    if (address.Gateway) {
        MIB_IPFORWARD_ROW2 route;
        calls.initializeRoute(&route);
        route.InterfaceLuid = LuidOf(adapter);
        route.DestinationPrefix.Prefix = Ipv4Socket(0);
        route.DestinationPrefix.PrefixLength = 0;
        route.NextHop = Ipv4Socket(address.Gateway);
        route.Protocol = RouteProtocolNetMgmt;
        DWORD error = calls.createRoute(&route);
        if (error != NO_ERROR && error != ERROR_OBJECT_ALREADY_EXISTS) {
            return FallBackToDhcp(calls, adapter, Failed("CreateIpForwardEntry2", error));
        }
    }
    return FinishWithDns(calls, adapter, address);
}

ApplyResult ApplyAutomaticAddress(const NetworkAdapter& adapter)
{
    const IpHelperCalls calls = LookUpIpHelper();
    if (calls.missing) return Failed(calls.missing, ERROR_PROC_NOT_FOUND);
    const StaticAddress none;
    if (LONG status = WriteInterfaceValues(adapter, true, none)) return Failed("registry", status);
    DeleteAddresses(calls, adapter, true);
    DeleteDefaultRoutes(calls, adapter, true);
    ApplyResult result = FinishWithDns(calls, adapter, none);
    ReleaseOrRenewLease(adapter, true);
    return result;
}

void ApplyAddressPresets()
{
    const std::vector<std::string>& presets = Shared().Settings.StaticAddresses;
    if (presets.empty()) return;
    const std::vector<NetworkAdapter> adapters = ConfigurableAdapters();
    for (const std::string& line : presets) {
        AddressPreset preset;
        if (!ParseAddressPreset(line, preset)) {
            LogEvent("address", {{"preset", line}, {"result", "malformed"}});
            continue;
        }
        const auto adapter = std::find_if(adapters.begin(), adapters.end(),
                                          [&](const NetworkAdapter& a) { return a.Mac == preset.Mac; });
        if (adapter == adapters.end()) {
            LogEvent("address", {{"preset", line}, {"result", "no-adapter"}});
            continue;
        }
        const ApplyResult result = ApplyFixedAddress(*adapter, preset.Address);
        LogEvent("address", {{"preset", line}, {"adapter", adapter->Name},
                             {"result", result.FailedStep.empty() ? "ok" : result.FailedStep + ": " + SystemErrorText(result.Error)},
                             {"dns", result.DnsNotSupported ? "no-call" : "set"}});
    }
}
