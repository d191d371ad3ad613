#include "envdialog/network_drive.h"

#include <windows.h>
#include <winnetwk.h>

#include "common/run_log.h"

#include <algorithm>

namespace {

using AddConnection2Proc = DWORD(WINAPI*)(NETRESOURCEA*, const char*, const char*, DWORD);
using CancelConnection2Proc = DWORD(WINAPI*)(const char*, DWORD, BOOL);

// Loaded on first use and kept: the drives it connects outlive any one dialog.
struct MprEntryPoints {
    bool tried = false;
    AddConnection2Proc add = nullptr;
    CancelConnection2Proc cancel = nullptr;
};
MprEntryPoints g_mpr;
std::vector<ConnectedDrive> g_connected;

const MprEntryPoints& Mpr()
{
    if (g_mpr.tried) return g_mpr;
    g_mpr.tried = true;
    HMODULE mpr = LoadLibraryExA("mpr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // LOAD_LIBRARY_SEARCH_SYSTEM32 needs KB2533623 on Windows 7 images; without it the flag is
    // refused as an invalid parameter.
    if (!mpr && GetLastError() == ERROR_INVALID_PARAMETER) mpr = LoadLibraryA("mpr.dll");
    if (!mpr) {
        LogEvent("drive", {{"action", "load"}, {"dll", "mpr.dll"}, {"error", SystemErrorText(GetLastError())}});
        return g_mpr;
    }
    g_mpr.add = reinterpret_cast<AddConnection2Proc>(reinterpret_cast<void*>(GetProcAddress(mpr, "WNetAddConnection2A")));
    g_mpr.cancel =
        reinterpret_cast<CancelConnection2Proc>(reinterpret_cast<void*>(GetProcAddress(mpr, "WNetCancelConnection2A")));
    return g_mpr;
}

std::string Outcome(DWORD error) { return error == NO_ERROR ? "connected" : SystemErrorText(error); }

}  // namespace

unsigned long ConnectNetworkDrive(char letter, const std::string& path, const std::string& user, const char* password)
{
    const std::string local = std::string(1, letter) + ":";
    const MprEntryPoints& mpr = Mpr();
    DWORD error = ERROR_PROC_NOT_FOUND;
    if (mpr.add) {
        NETRESOURCEA resource{};
        resource.dwType = RESOURCETYPE_DISK;
        resource.lpLocalName = const_cast<char*>(local.c_str());
        resource.lpRemoteName = const_cast<char*>(path.c_str());
        // Not remembered: Windows PE keeps no profile, and the next boot must ask again.
        error = mpr.add(&resource, password, user.empty() ? nullptr : user.c_str(), CONNECT_TEMPORARY);
    }
    LogEvent("drive", {{"action", "connect"}, {"drive", local}, {"share", path}, {"user", user},
                       {"result", Outcome(error)}, {"code", std::to_string(error)}});
    if (error == NO_ERROR) g_connected.push_back(ConnectedDrive{letter, path, user});
    return error;
}

unsigned long DisconnectNetworkDrive(char letter)
{
    const std::string local = std::string(1, letter) + ":";
    const MprEntryPoints& mpr = Mpr();
    // Files a shell left open would be lost by a forced cancel; the operator closes them first.
    const DWORD error = mpr.cancel ? mpr.cancel(local.c_str(), 0, FALSE) : ERROR_PROC_NOT_FOUND;
    LogEvent("drive", {{"action", "disconnect"}, {"drive", local},
                       {"result", error == NO_ERROR ? "disconnected" : SystemErrorText(error)}});
    if (error == NO_ERROR || error == ERROR_NOT_CONNECTED) {
        g_connected.erase(std::remove_if(g_connected.begin(), g_connected.end(),
                                         [letter](const ConnectedDrive& drive) { return drive.Letter == letter; }),
                          g_connected.end());
    }
    return error;
}

const std::vector<ConnectedDrive>& ConnectedDrives() { return g_connected; }
