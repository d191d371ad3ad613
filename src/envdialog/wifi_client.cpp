#include "envdialog/wifi_client.h"

#include "common/errors.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "envdialog/wifi_text.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"

#include <windows.h>
#include <wlanapi.h>

namespace {

constexpr DWORD kClientVersion = 2;  // Windows Vista and later
constexpr DWORD kNetworkConnected = 0x00000001;  // WLAN_AVAILABLE_NETWORK_CONNECTED
constexpr DWORD kScanLimitMs = 4000;
constexpr DWORD kDialogConnectLimitMs = 20000;
constexpr DWORD kServiceStartLimitMs = 10000;
constexpr DWORD kServicePollMs = 100;

// The entry points the program calls, by name; a DLL that lacks one is no Wi-Fi support.
struct WlanApi {
    decltype(&WlanOpenHandle) open = nullptr;
    decltype(&WlanCloseHandle) close = nullptr;
    decltype(&WlanEnumInterfaces) enumInterfaces = nullptr;
    decltype(&WlanScan) scan = nullptr;
    decltype(&WlanGetAvailableNetworkList) networks = nullptr;
    decltype(&WlanSetProfile) setProfile = nullptr;
    decltype(&WlanDeleteProfile) deleteProfile = nullptr;
    decltype(&WlanConnect) connect = nullptr;
    decltype(&WlanDisconnect) disconnect = nullptr;
    decltype(&WlanRegisterNotification) registerNotification = nullptr;
    decltype(&WlanQueryInterface) query = nullptr;
    decltype(&WlanFreeMemory) freeMemory = nullptr;
};

// What the notification thread hands to the waiting one.
struct Notifications {
    CRITICAL_SECTION lock;
    UniqueHandle scanDone{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle connectDone{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::wstring awaitedProfile;
    DWORD reason = 0;
    Notifications() { InitializeCriticalSection(&lock); }
};

// Kept for the run: the library is never freed while the service may still call back into it.
HMODULE g_library = nullptr;
bool g_loadTried = false;
WlanApi g_api;
HANDLE g_client = nullptr;
GUID g_interface{};
bool g_hasInterface = false;
Notifications* g_notifications = nullptr;
// The network row asks every two seconds: a service that stays down is logged once.
bool g_openFailureLogged = false;

class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

template <class Proc>
bool Resolve(Proc& proc, const char* name)
{
    proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(g_library, name)));
    return proc != nullptr;
}

bool LoadWlanApi()
{
    if (g_library || g_loadTried) return g_library != nullptr;
    g_loadTried = true;
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryExA("wlanapi.dll", nullptr, 0);
    const DWORD error = GetLastError();
    SetErrorMode(oldMode);
    if (!library) {
        LogEvent("wifi", {{"action", "load"}, {"result", "no-wlanapi"}, {"error", SystemErrorText(error)}});
        return false;
    }
    g_library = library;
    WlanApi& a = g_api;
    const bool complete = Resolve(a.open, "WlanOpenHandle") & Resolve(a.close, "WlanCloseHandle") &
                          Resolve(a.enumInterfaces, "WlanEnumInterfaces") & Resolve(a.scan, "WlanScan") &
                          Resolve(a.networks, "WlanGetAvailableNetworkList") & Resolve(a.setProfile, "WlanSetProfile") &
                          Resolve(a.deleteProfile, "WlanDeleteProfile") & Resolve(a.connect, "WlanConnect") &
                          Resolve(a.disconnect, "WlanDisconnect") &
                          Resolve(a.registerNotification, "WlanRegisterNotification") &
                          Resolve(a.query, "WlanQueryInterface") & Resolve(a.freeMemory, "WlanFreeMemory");
    LogEvent("wifi", {{"action", "load"}, {"result", complete ? "loaded" : "incomplete"}});
    if (!complete) g_library = nullptr;  // stays loaded, unused
    return complete;
}

// Runs on the service's notification thread: it only records and signals.
void WINAPI OnNotification(PWLAN_NOTIFICATION_DATA data, PVOID)
{
    Notifications* n = g_notifications;
    if (!data || !n || data->NotificationSource != WLAN_NOTIFICATION_SOURCE_ACM) return;
    switch (data->NotificationCode) {
    case wlan_notification_acm_scan_complete:
    case wlan_notification_acm_scan_fail: SetEvent(n->scanDone.get()); return;
    case wlan_notification_acm_connection_complete:
    case wlan_notification_acm_connection_attempt_fail: break;
    default: return;
    }
    if (!data->pData || data->dwDataSize < sizeof(WLAN_CONNECTION_NOTIFICATION_DATA)) return;
    const auto* connection = static_cast<const WLAN_CONNECTION_NOTIFICATION_DATA*>(data->pData);
    Locked locked(n->lock);
    if (n->awaitedProfile != connection->strProfileName) return;
    n->reason = connection->wlanReasonCode;
    n->awaitedProfile.clear();  // the first word on the attempt counts
    SetEvent(n->connectDone.get());
}

// The client handle with its notifications; without starting anything.
bool EnsureClient()
{
    if (g_client) return true;
    if (!LoadWlanApi()) return false;
    DWORD negotiated = 0;
    HANDLE client = nullptr;
    const DWORD result = g_api.open(kClientVersion, nullptr, &negotiated, &client);
    if (result != ERROR_SUCCESS) {
        if (!g_openFailureLogged) LogEvent("wifi", {{"action", "open"}, {"error", SystemErrorText(result)}});
        g_openFailureLogged = true;
        return false;
    }
    g_client = client;
    if (!g_notifications) g_notifications = new Notifications();  // lives as long as the callback may run
    const DWORD registered = g_api.registerNotification(g_client, WLAN_NOTIFICATION_SOURCE_ACM, TRUE, OnNotification,
                                                        nullptr, nullptr, nullptr);
    LogEvent("wifi", {{"action", "open"}, {"version", std::to_string(negotiated)},
                      {registered == ERROR_SUCCESS ? "" : "notifications", SystemErrorText(registered)}});
    return true;
}

bool FindInterface()
{
    PWLAN_INTERFACE_INFO_LIST list = nullptr;
    const DWORD result = g_api.enumInterfaces(g_client, nullptr, &list);
    g_hasInterface = result == ERROR_SUCCESS && list && list->dwNumberOfItems > 0;
    if (g_hasInterface) g_interface = list->InterfaceInfo[0].InterfaceGuid;
    LogEvent("wifi", {{"action", "interfaces"}, {"count", list ? std::to_string(list->dwNumberOfItems) : "0"},
                      {g_hasInterface ? "name" : "", g_hasInterface ? WideToUtf8(list->InterfaceInfo[0].strInterfaceDescription) : ""},
                      {result == ERROR_SUCCESS ? "" : "error", SystemErrorText(result)}});
    if (list) g_api.freeMemory(list);
    return g_hasInterface;
}

// Current Windows RE images (24H2 on) list no networks and hide the connected one (WlanQueryInterface
// answers ERROR_ACCESS_DENIED) until location access is allowed: Microsoft's "Changes to API
// behavior for Wi-Fi access and location" ties the Wi-Fi APIs to the Location consent
// (ConsentStore\location, "Allow" for the whole device), and builders of Windows PE media found
// that the service inside PE also wants the bypass value wlanLocationBypass\RequireWindowsCert=0
// under CapabilityAccessManager\Capabilities (their reports: no networks on 24H2 until it is set).
// Both go into the running PE's own registry only, before the service starts; never an
// installation's, which the program never writes.
void AllowLocationForWifi()
{
    const std::string manager = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\CapabilityAccessManager";
    try {
        UniqueKey consent = CreateRegKey(manager + "\\ConsentStore\\location", KEY_QUERY_VALUE | KEY_SET_VALUE);
        if (consent && ReadRegTextIfString(consent.get(), "Value") != std::optional<std::string>("Allow")) {
            WriteRegString(consent.get(), "Value", "Allow");
            LogEvent("wifi", {{"action", "location-consent"}, {"key", manager + "\\ConsentStore\\location"},
                              {"value", "Value=Allow"}});
        }
        UniqueKey bypass = CreateRegKey(manager + "\\Capabilities\\wlanLocationBypass", KEY_QUERY_VALUE | KEY_SET_VALUE);
        if (bypass && ReadRegDwordIfPresent(bypass.get(), "RequireWindowsCert") != std::optional<uint32_t>(0)) {
            WriteRegDword(bypass.get(), "RequireWindowsCert", 0);
            LogEvent("wifi", {{"action", "location-consent"}, {"key", manager + "\\Capabilities\\wlanLocationBypass"},
                              {"value", "RequireWindowsCert=0"}});
        }
    } catch (const AppError& error) {
        // A value of another type stays as it is: the scan may still list nothing, which the dialog says.
        LogEvent("wifi", {{"action", "location-consent"}, {"error", error.what()}});
    }
}

// Starts WlanSvc when the image has it and it is stopped (Windows RE sets it to start on demand).
void StartWlanService()
{
    UniqueService manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    UniqueService service(manager ? OpenServiceA(manager.get(), "WlanSvc", SERVICE_QUERY_STATUS | SERVICE_START) : nullptr);
    if (!service) {
        LogEvent("wifi", {{"action", "service"}, {"result", "absent"}, {"error", SystemErrorText(GetLastError())}});
        return;
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING) return;
    if (!StartServiceA(service.get(), 0, nullptr) && GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        LogEvent("wifi", {{"action", "service"}, {"result", "not-started"}, {"error", SystemErrorText(GetLastError())}});
        return;
    }
    RunWhilePumping([&] {
        for (DWORD waited = 0; waited < kServiceStartLimitMs; waited += kServicePollMs) {
            if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState == SERVICE_RUNNING) return;
            Sleep(kServicePollMs);
        }
    });
    LogEvent("wifi", {{"action", "service"}, {"result", status.dwCurrentState == SERVICE_RUNNING ? "started" : "starting"}});
}

// Waits for the event on a helper thread while this thread handles its messages.
bool WaitPumping(HANDLE event, DWORD limitMs)
{
    bool signalled = false;
    RunWhilePumping([&] { signalled = WaitForSingleObject(event, limitMs) == WAIT_OBJECT_0; });
    return signalled;
}

void DeleteProfile(const std::wstring& name, const char* why)
{
    const DWORD result = g_api.deleteProfile(g_client, &g_interface, name.c_str(), nullptr);
    LogEvent("wifi", {{"action", "profile-deleted"}, {"profile", WideToUtf8(name)}, {"why", why},
                      {result == ERROR_SUCCESS ? "" : "error", SystemErrorText(result)}});
}

WifiAttempt ConnectProfile(std::wstring& profileXml, const std::wstring& name, DWORD limitMs)
{
    WifiAttempt attempt;
    DWORD reason = 0;
    const DWORD set = g_api.setProfile(g_client, &g_interface, 0, profileXml.c_str(), nullptr, TRUE, nullptr, &reason);
    WipeString(profileXml);
    if (set != ERROR_SUCCESS) {
        attempt.reason = reason ? reason : set;
        LogEvent("wifi", {{"action", "profile"}, {"profile", WideToUtf8(name)}, {"error", SystemErrorText(set)},
                          {"reason", std::to_string(reason)}});
        return attempt;
    }
    Notifications& n = *g_notifications;
    {
        Locked locked(n.lock);
        n.awaitedProfile = name;
        n.reason = 0;
        ResetEvent(n.connectDone.get());
    }
    WLAN_CONNECTION_PARAMETERS parameters{};
    parameters.wlanConnectionMode = wlan_connection_mode_profile;
    parameters.strProfile = name.c_str();
    parameters.dot11BssType = dot11_BSS_type_infrastructure;
    const DWORD connect = g_api.connect(g_client, &g_interface, &parameters, nullptr);
    if (connect != ERROR_SUCCESS) {
        attempt.reason = connect;
    } else if (!WaitPumping(n.connectDone.get(), limitMs)) {
        attempt.outcome = WifiOutcome::TimedOut;
    } else {
        Locked locked(n.lock);
        attempt.reason = n.reason;
        attempt.outcome = OutcomeFromReason(n.reason);
    }
    {
        Locked locked(n.lock);
        n.awaitedProfile.clear();
    }
    // No passphrase lingers in the service's store after an attempt that failed.
    if (attempt.outcome != WifiOutcome::Connected) DeleteProfile(name, OutcomeName(attempt.outcome));
    return attempt;
}

}  // namespace

WifiReadiness OpenWifi()
{
    if (g_client && g_hasInterface) return WifiReadiness::Ready;
    if (!LoadWlanApi()) return WifiReadiness::NoSupport;
    if (!g_client) {
        if (IsWindowsPE()) AllowLocationForWifi();
        StartWlanService();
        if (!EnsureClient()) return WifiReadiness::ServiceDown;
    }
    return FindInterface() ? WifiReadiness::Ready : WifiReadiness::NoAdapter;
}

std::vector<WifiSighting> ListWifiNetworks(bool freshScan)
{
    std::vector<WifiSighting> sightings;
    if (OpenWifi() != WifiReadiness::Ready) return sightings;
    if (freshScan) {
        ResetEvent(g_notifications->scanDone.get());
        const DWORD scan = g_api.scan(g_client, &g_interface, nullptr, nullptr, nullptr);
        const bool done = scan == ERROR_SUCCESS && WaitPumping(g_notifications->scanDone.get(), kScanLimitMs);
        LogEvent("wifi", {{"action", "scan"}, {"result", scan != ERROR_SUCCESS ? "refused" : done ? "done" : "timed-out"},
                          {scan == ERROR_SUCCESS ? "" : "error", SystemErrorText(scan)}});
    }
    PWLAN_AVAILABLE_NETWORK_LIST list = nullptr;
    const DWORD result = g_api.networks(g_client, &g_interface, 0, nullptr, &list);
    if (result == ERROR_SUCCESS && list) {
        for (DWORD i = 0; i < list->dwNumberOfItems; ++i) {
            const WLAN_AVAILABLE_NETWORK& network = list->Network[i];
            const ULONG length = network.dot11Ssid.uSSIDLength <= DOT11_SSID_MAX_LENGTH ? network.dot11Ssid.uSSIDLength : 0;
            sightings.push_back({std::string(reinterpret_cast<const char*>(network.dot11Ssid.ucSSID), length),
                                 static_cast<unsigned>(network.wlanSignalQuality),
                                 ClassifySecurity(network.dot11DefaultAuthAlgorithm, network.dot11DefaultCipherAlgorithm),
                                 (network.dwFlags & kNetworkConnected) != 0});
        }
    }
    if (list) g_api.freeMemory(list);
    std::vector<WifiSighting> networks = MergeNetworks(sightings);
    LogEvent("wifi", {{"action", "listed"}, {"networks", std::to_string(networks.size())},
                      {result == ERROR_SUCCESS ? "" : "error", SystemErrorText(result)}});
    return networks;
}

WifiAttempt ConnectWifi(const std::string& ssid, WifiSecurity security, std::string& passphrase)
{
    std::string xml = WifiProfileXml(ssid, security, passphrase);
    WipeString(passphrase);
    std::wstring wide = Utf8ToWide(xml);
    WipeString(xml);
    const std::string name = SsidText(ssid);
    if (OpenWifi() != WifiReadiness::Ready) {
        WipeString(wide);
        return WifiAttempt{};
    }
    WifiAttempt attempt = ConnectProfile(wide, Utf8ToWide(name), kDialogConnectLimitMs);
    LogEvent("wifi", {{"action", "connect"}, {"network", name}, {"security", SecurityName(security)},
                      {"result", OutcomeName(attempt.outcome)}, {"reason", std::to_string(attempt.reason)}});
    return attempt;
}

WifiAttempt ConnectWithProfile(std::wstring& profileXml, const std::string& profileName, unsigned limitMs)
{
    if (OpenWifi() != WifiReadiness::Ready) {
        WipeString(profileXml);
        return WifiAttempt{};
    }
    WifiAttempt attempt = ConnectProfile(profileXml, Utf8ToWide(profileName), limitMs);
    LogEvent("wifi", {{"action", "connect"}, {"profile", profileName}, {"result", OutcomeName(attempt.outcome)},
                      {"reason", std::to_string(attempt.reason)}});
    return attempt;
}

bool DisconnectWifi()
{
    if (OpenWifi() != WifiReadiness::Ready) return false;
    const DWORD result = g_api.disconnect(g_client, &g_interface, nullptr);
    LogEvent("wifi", {{"action", "disconnect"}, {result == ERROR_SUCCESS ? "" : "error", SystemErrorText(result)}});
    return result == ERROR_SUCCESS;
}

std::string WifiNetworkOf(const std::string& adapterGuid)
{
    if (!EnsureClient()) return std::string();
    GUID guid{};
    std::wstring text = Utf8ToWide(adapterGuid);
    if (CLSIDFromString(text.c_str(), &guid) != NOERROR) return std::string();
    DWORD size = 0;
    PWLAN_CONNECTION_ATTRIBUTES attributes = nullptr;
    const DWORD result = g_api.query(g_client, &guid, wlan_intf_opcode_current_connection, nullptr, &size,
                                     reinterpret_cast<PVOID*>(&attributes), nullptr);
    std::string name;
    if (result == ERROR_SUCCESS && attributes && attributes->isState == wlan_interface_state_connected) {
        const DOT11_SSID& ssid = attributes->wlanAssociationAttributes.dot11Ssid;
        if (ssid.uSSIDLength <= DOT11_SSID_MAX_LENGTH) {
            name = SsidText(std::string(reinterpret_cast<const char*>(ssid.ucSSID), ssid.uSSIDLength));
        }
    }
    if (attributes) g_api.freeMemory(attributes);
    return name;
}
