#include "envdialog/network_status.h"

#include "envdialog/adapter_addresses.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/wifi_client.h"
#include "langmodule/langmodule.h"
#include "session/launch.h"
#include "session/pe_tools.h"

#include <vector>

namespace {

// The start under way, until its end is collected; the state outlives the dialog's passes, so
// a new pass neither forgets a start nor logs the state again.
UniqueHandle g_start;
bool g_started = false;
std::string g_lastLogged;

constexpr ULONG kAdapterFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

std::string WpeutilPath() { return ExpandCommand("%SystemRoot%\\System32\\wpeutil.exe"); }

// Every adapter with IPv4 enabled, as it reports itself now; none when the list cannot be read.
std::vector<AdapterReport> ReadAdapters()
{
    const std::vector<unsigned char> list = ReadAdapterAddresses(kAdapterFlags);
    std::vector<AdapterReport> adapters;
    for (const IP_ADAPTER_ADDRESSES* adapter = FirstAdapter(list); adapter; adapter = adapter->Next) {
        AdapterReport report;
        report.name = AdapterText(adapter->FriendlyName);
        report.loopback = adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK || adapter->IfType == IF_TYPE_TUNNEL;
        report.up = adapter->OperStatus == IfOperStatusUp;
        report.wireless = adapter->IfType == IF_TYPE_IEEE80211;
        if (report.wireless && report.up) report.ssid = WifiNetworkOf(adapter->AdapterName);
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const SOCKADDR* address = unicast->Address.lpSockaddr;
            if (!address || address->sa_family != AF_INET) continue;
            const auto* bytes = reinterpret_cast<const unsigned char*>(
                &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
            report.addresses.push_back({bytes[0], bytes[1], bytes[2], bytes[3]});
        }
        adapters.push_back(std::move(report));
    }
    return adapters;
}

void CollectEndedStart()
{
    if (!g_start || WaitForSingleObject(g_start.get(), 0) != WAIT_OBJECT_0) return;
    DWORD code = 0;
    GetExitCodeProcess(g_start.get(), &code);
    g_start.reset();
    LogEvent("network", {{"action", "start-ended"}, {"exit", std::to_string(code)}});
}

const char* StateName(NetworkState state)
{
    switch (state) {
    case NetworkState::Unsupported: return "unsupported";
    case NetworkState::NotStarted: return "not-started";
    case NetworkState::Starting: return "starting";
    case NetworkState::NoAdapter: return "no-adapter";
    case NetworkState::Waiting: return "waiting";
    case NetworkState::Connected: break;
    }
    return "connected";
}

}  // namespace

NetworkStatus CurrentNetworkStatus()
{
    CollectEndedStart();
    NetworkFacts facts;
    facts.wpeutilPresent = IsExistingFile(WpeutilPath());
    facts.starting = static_cast<bool>(g_start);
    // wpeinit (ours or winpeshl.ini's) starts the network too; its log says that it ran.
    facts.started = g_started || IsExistingFile(SystemToolPath("wpeinit.log"));
    NetworkStatus status = ClassifyNetwork(ReadAdapters(), facts);
    std::string logged = std::string(StateName(status.state)) + "|" + status.address + "|" + status.wifiName;
    if (logged != g_lastLogged) {
        g_lastLogged = logged;
        LogEvent("network", {{"state", StateName(status.state)}, {"address", status.address},
                             {status.wifiName.empty() ? "" : "wifi", status.wifiName}});
    }
    return status;
}

std::string NetworkStatusText(const NetworkStatus& status)
{
    switch (status.state) {
    case NetworkState::Unsupported:
        return LoadLangStringOr(IDS_NETWORK_UNSUPPORTED, "This Windows PE image has no network support (no wpeutil.exe)");
    case NetworkState::NotStarted: return LoadLangStringOr(IDS_NETWORK_NOT_STARTED, "Not started");
    case NetworkState::Starting: return LoadLangStringOr(IDS_NETWORK_STARTING, "Starting...");
    case NetworkState::NoAdapter: return LoadLangStringOr(IDS_NETWORK_NO_ADAPTER, "No network adapter");
    case NetworkState::Waiting: return LoadLangStringOr(IDS_NETWORK_WAITING, "Waiting for an address");
    case NetworkState::Connected: break;
    }
    return status.address;
}

bool StartNetwork()
{
    if (g_start) return true;
    std::string command = "\"" + WpeutilPath() + "\" InitializeNetwork /NoWait";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        LogEvent("network", {{"action", "start"}, {"command", command}, {"error", SystemErrorText(GetLastError())}});
        return false;
    }
    CloseHandle(process.hThread);
    g_start.reset(process.hProcess);
    g_started = true;
    LogEvent("network", {{"action", "start"}, {"command", command}});
    return true;
}
