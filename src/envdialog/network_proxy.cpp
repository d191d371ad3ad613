#include "envdialog/network_proxy.h"

#include "common/run_log.h"
#include "envdialog/proxy_rules.h"
#include "session/shared_state.h"
#include "session/target_root.h"

#include <windows.h>

namespace {

// WinHTTP's own record and call, declared here because the program does not link winhttp.
struct WinHttpProxyInfo {
    DWORD dwAccessType;
    LPWSTR lpszProxy;
    LPWSTR lpszProxyBypass;
};
constexpr DWORD kNoProxy = 1;     // WINHTTP_ACCESS_TYPE_NO_PROXY
constexpr DWORD kNamedProxy = 3;  // WINHTTP_ACCESS_TYPE_NAMED_PROXY
using SetDefaultProxyProc = BOOL(WINAPI*)(WinHttpProxyInfo*);

ProxySetting g_current;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// True when WinHTTP took it; noWinHttp when the DLL or its call is missing.
bool SetWinHttpProxy(const std::string& server, const std::string& bypass, bool& noWinHttp, DWORD& error)
{
    HMODULE winhttp = LoadLibraryExA("winhttp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!winhttp && GetLastError() == ERROR_INVALID_PARAMETER) winhttp = LoadLibraryA("winhttp.dll");
    auto set = winhttp ? reinterpret_cast<SetDefaultProxyProc>(
                             reinterpret_cast<void*>(GetProcAddress(winhttp, "WinHttpSetDefaultProxyConfiguration")))
                       : nullptr;
    noWinHttp = !set;
    if (!set) {
        error = GetLastError();
        if (winhttp) FreeLibrary(winhttp);
        return false;
    }
    std::wstring proxy = Wide(server), list = Wide(bypass);
    WinHttpProxyInfo info{server.empty() ? kNoProxy : kNamedProxy, server.empty() ? nullptr : &proxy[0],
                          server.empty() || bypass.empty() ? nullptr : &list[0]};
    const bool taken = set(&info) != FALSE;
    error = taken ? 0 : GetLastError();
    FreeLibrary(winhttp);
    return taken;
}

}  // namespace

const ProxySetting& CurrentProxy() { return g_current; }

ProxyResult ApplyProxy(const std::string& server, const std::string& bypass)
{
    bool noWinHttp = false;
    DWORD error = 0;
    const bool taken = SetWinHttpProxy(server, bypass, noWinHttp, error);
    LogEvent("proxy", {{"server", server}, {"bypass", bypass},
                       {"winhttp", taken ? "set" : noWinHttp ? "missing" : SystemErrorText(error)}});
    const std::string url = server.empty() ? std::string() : "http://" + server;
    PublishSystemVariable("HTTP_PROXY", url);
    PublishSystemVariable("HTTPS_PROXY", url);
    PublishSystemVariable("NO_PROXY", server.empty() ? std::string() : NoProxyList(bypass));
    g_current = ProxySetting{server, server.empty() ? std::string() : bypass};
    return taken ? ProxyResult::Applied : noWinHttp ? ProxyResult::NoWinHttp : ProxyResult::WinHttpRefused;
}

void ApplyProxyFromSettings()
{
    const TSettings& settings = Shared().Settings;
    if (settings.ProxyServer.empty()) return;
    if (!IsProxyServer(settings.ProxyServer)) {
        LogEvent("proxy", {{"server", ProxyServerForLog(settings.ProxyServer)}, {"result", "malformed"}});
        return;
    }
    ApplyProxy(settings.ProxyServer, settings.ProxyBypass);
}
