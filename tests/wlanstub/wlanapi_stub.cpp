// A stand-in for wlanapi.dll with one radio and a fixed set of networks, for the end-to-end
// tests only (Wine's own wlanapi has no radios). It behaves as Microsoft documents the calls the
// program makes: memory from WlanFreeMemory's allocator, notifications on a thread of its own.
// TARN_WLAN_PASSPHRASE is the networks' right passphrase; TARN_WLAN_LOG a file that gets one line
// per profile call (with the profile text, so a test can read what reached the service).
// TARN_WLAN_ABSENT makes the library refuse to load, as on an image without it: under Wine a
// builtin wlanapi is always there to be found otherwise.
#include <windows.h>
#include <wlanapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Network {
    std::string ssid;
    ULONG signal;
    DOT11_AUTH_ALGORITHM auth;
    DOT11_CIPHER_ALGORITHM cipher;
};

const Network kNetworks[] = {
    {"Caf\xC3\xA9 Z\xC3\xBCrich", 80, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
    {"\xFF\xFEnet", 40, DOT11_AUTH_ALGO_RSNA_PSK, DOT11_CIPHER_ALGO_CCMP},
    {"Caf\xC3\xA9 Z\xC3\xBCrich", 60, static_cast<DOT11_AUTH_ALGORITHM>(9), DOT11_CIPHER_ALGO_CCMP},  // WPA3-SAE
    {"Corp", 70, DOT11_AUTH_ALGO_RSNA, DOT11_CIPHER_ALGO_CCMP},
};
const GUID kInterface = {0x6f0e1a2b, 0x3c4d, 0x4e5f, {0x80, 0x91, 0xa2, 0xb3, 0xc4, 0xd5, 0xe6, 0xf7}};
constexpr DWORD kPskMismatchSuspected = 0x48014;

struct Profile {
    std::wstring name;
    std::string ssidHex;
    std::string key;
};

std::mutex g_lock;
WLAN_NOTIFICATION_CALLBACK g_callback = nullptr;
std::vector<Profile> g_profiles;
std::string g_connected;  // the SSID, bytes

void Log(const std::string& line)
{
    const char* path = std::getenv("TARN_WLAN_LOG");
    if (!path) return;
    if (FILE* file = std::fopen(path, "ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string Narrow(const wchar_t* text)
{
    char buffer[8192] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

std::string Element(const std::string& xml, const std::string& name)
{
    const size_t open = xml.find("<" + name + ">");
    const size_t close = xml.find("</" + name + ">");
    if (open == std::string::npos || close == std::string::npos) return std::string();
    return xml.substr(open + name.size() + 2, close - open - name.size() - 2);
}

std::string Hex(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", c);
        text += digits;
    }
    return text;
}

void Notify(DWORD code, const void* data, DWORD size)
{
    WLAN_NOTIFICATION_CALLBACK callback;
    {
        std::lock_guard<std::mutex> locked(g_lock);
        callback = g_callback;
    }
    if (!callback) return;
    WLAN_NOTIFICATION_DATA notification{};
    notification.NotificationSource = WLAN_NOTIFICATION_SOURCE_ACM;
    notification.NotificationCode = code;
    notification.InterfaceGuid = kInterface;
    notification.dwDataSize = size;
    notification.pData = const_cast<void*>(data);
    callback(&notification, nullptr);
}

void NotifyConnection(DWORD code, const std::wstring& profile, DWORD reason)
{
    WLAN_CONNECTION_NOTIFICATION_DATA data{};
    data.wlanConnectionMode = wlan_connection_mode_profile;
    lstrcpynW(data.strProfileName, profile.c_str(), WLAN_MAX_NAME_LENGTH);
    data.wlanReasonCode = reason;
    Notify(code, &data, sizeof data);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    return reason != DLL_PROCESS_ATTACH || std::getenv("TARN_WLAN_ABSENT") == nullptr;
}

DWORD WINAPI WlanOpenHandle(DWORD, PVOID, PDWORD negotiated, PHANDLE client)
{
    *negotiated = 2;
    *client = reinterpret_cast<HANDLE>(0x5A);
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanCloseHandle(HANDLE, PVOID) { return ERROR_SUCCESS; }

VOID WINAPI WlanFreeMemory(PVOID memory) { std::free(memory); }

DWORD WINAPI WlanEnumInterfaces(HANDLE, PVOID, PWLAN_INTERFACE_INFO_LIST* list)
{
    const bool none = std::getenv("TARN_WLAN_NO_ADAPTER") != nullptr;
    auto* result = static_cast<PWLAN_INTERFACE_INFO_LIST>(std::calloc(1, sizeof(WLAN_INTERFACE_INFO_LIST) + sizeof(WLAN_INTERFACE_INFO)));
    result->dwNumberOfItems = none ? 0 : 1;
    result->InterfaceInfo[0].InterfaceGuid = kInterface;
    lstrcpyW(result->InterfaceInfo[0].strInterfaceDescription, L"Stand-in Wi-Fi");
    result->InterfaceInfo[0].isState = wlan_interface_state_disconnected;
    *list = result;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanRegisterNotification(HANDLE, DWORD, BOOL, WLAN_NOTIFICATION_CALLBACK callback, PVOID, PVOID, PDWORD previous)
{
    std::lock_guard<std::mutex> locked(g_lock);
    if (previous) *previous = 0;
    g_callback = callback;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanScan(HANDLE, const GUID*, const PDOT11_SSID, const PWLAN_RAW_DATA, PVOID)
{
    Log("Scan");
    std::thread([] {
        Sleep(200);
        Notify(wlan_notification_acm_scan_complete, nullptr, 0);
    }).detach();
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanGetAvailableNetworkList(HANDLE, const GUID*, DWORD, PVOID, PWLAN_AVAILABLE_NETWORK_LIST* list)
{
    const DWORD count = sizeof kNetworks / sizeof kNetworks[0];
    const size_t size = sizeof(WLAN_AVAILABLE_NETWORK_LIST) + count * sizeof(WLAN_AVAILABLE_NETWORK);
    auto* result = static_cast<PWLAN_AVAILABLE_NETWORK_LIST>(std::calloc(1, size));
    result->dwNumberOfItems = count;
    std::lock_guard<std::mutex> locked(g_lock);
    for (DWORD i = 0; i < count; ++i) {
        WLAN_AVAILABLE_NETWORK& entry = result->Network[i];
        entry.dot11Ssid.uSSIDLength = static_cast<ULONG>(kNetworks[i].ssid.size());
        std::memcpy(entry.dot11Ssid.ucSSID, kNetworks[i].ssid.data(), kNetworks[i].ssid.size());
        entry.dot11BssType = dot11_BSS_type_infrastructure;
        entry.bNetworkConnectable = TRUE;
        entry.wlanSignalQuality = kNetworks[i].signal;
        entry.bSecurityEnabled = TRUE;
        entry.dot11DefaultAuthAlgorithm = kNetworks[i].auth;
        entry.dot11DefaultCipherAlgorithm = kNetworks[i].cipher;
        if (kNetworks[i].ssid == g_connected) entry.dwFlags = 1;  // WLAN_AVAILABLE_NETWORK_CONNECTED
    }
    *list = result;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanSetProfile(HANDLE, const GUID*, DWORD, LPCWSTR xml, LPCWSTR, BOOL, PVOID, DWORD* reason)
{
    const std::string text = Narrow(xml);
    Log("SetProfile " + text);
    *reason = 0;
    Profile profile{L"", Element(text, "hex"), Element(text, "keyMaterial")};
    std::string name = Element(text, "name");
    for (size_t at = name.find("&amp;"); at != std::string::npos; at = name.find("&amp;", at + 1)) name.erase(at + 1, 4);
    wchar_t wide[256] = L"";
    MultiByteToWideChar(CP_UTF8, 0, name.c_str(), -1, wide, 256);
    profile.name = wide;
    std::lock_guard<std::mutex> locked(g_lock);
    g_profiles.push_back(profile);
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanDeleteProfile(HANDLE, const GUID*, LPCWSTR name, PVOID)
{
    Log("DeleteProfile " + Narrow(name));
    std::lock_guard<std::mutex> locked(g_lock);
    for (auto it = g_profiles.begin(); it != g_profiles.end(); ++it) {
        if (it->name == name) {
            g_profiles.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_NOT_FOUND;
}

DWORD WINAPI WlanConnect(HANDLE, const GUID*, const PWLAN_CONNECTION_PARAMETERS parameters, PVOID)
{
    if (!parameters || parameters->wlanConnectionMode != wlan_connection_mode_profile || !parameters->strProfile) {
        return ERROR_INVALID_PARAMETER;
    }
    Profile profile;
    {
        std::lock_guard<std::mutex> locked(g_lock);
        bool found = false;
        for (const Profile& p : g_profiles) {
            if (p.name == parameters->strProfile) profile = p, found = true;
        }
        if (!found) return ERROR_NOT_FOUND;
    }
    const char* right = std::getenv("TARN_WLAN_PASSPHRASE");
    std::thread([profile, right = std::string(right ? right : "")] {
        Sleep(300);
        NotifyConnection(wlan_notification_acm_connection_start, profile.name, 0);
        std::string ssid;
        for (const Network& network : kNetworks) {
            if (Hex(network.ssid) == profile.ssidHex) ssid = network.ssid;
        }
        if (ssid.empty()) {
            NotifyConnection(wlan_notification_acm_connection_complete, profile.name, 0x2800B);  // not available
        } else if (profile.key != right) {
            NotifyConnection(wlan_notification_acm_connection_attempt_fail, profile.name, kPskMismatchSuspected);
            NotifyConnection(wlan_notification_acm_connection_complete, profile.name, kPskMismatchSuspected);
        } else {
            {
                std::lock_guard<std::mutex> locked(g_lock);
                g_connected = ssid;
            }
            NotifyConnection(wlan_notification_acm_connection_complete, profile.name, 0);
        }
    }).detach();
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanDisconnect(HANDLE, const GUID*, PVOID)
{
    Log("Disconnect");
    std::lock_guard<std::mutex> locked(g_lock);
    g_connected.clear();
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanQueryInterface(HANDLE, const GUID*, WLAN_INTF_OPCODE opcode, PVOID, PDWORD size, PVOID* data,
                                PWLAN_OPCODE_VALUE_TYPE type)
{
    if (opcode != wlan_intf_opcode_current_connection) return ERROR_NOT_SUPPORTED;
    std::lock_guard<std::mutex> locked(g_lock);
    if (g_connected.empty()) return ERROR_INVALID_STATE;
    auto* attributes = static_cast<PWLAN_CONNECTION_ATTRIBUTES>(std::calloc(1, sizeof(WLAN_CONNECTION_ATTRIBUTES)));
    attributes->isState = wlan_interface_state_connected;
    attributes->wlanConnectionMode = wlan_connection_mode_profile;
    attributes->wlanAssociationAttributes.dot11Ssid.uSSIDLength = static_cast<ULONG>(g_connected.size());
    std::memcpy(attributes->wlanAssociationAttributes.dot11Ssid.ucSSID, g_connected.data(), g_connected.size());
    *size = sizeof *attributes;
    *data = attributes;
    if (type) *type = wlan_opcode_value_type_query_only;
    return ERROR_SUCCESS;
}

}  // extern "C"
