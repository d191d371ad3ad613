// The proxy for the whole machine: WinHTTP's default proxy and the variables HTTP_PROXY,
// HTTPS_PROXY and NO_PROXY, published machine-wide as TARGET_ROOT is. winhttp.dll is loaded at
// run time: not every Windows PE image carries it.
#pragma once

#include <string>

// The proxy in force, as last applied; empty before.
struct ProxySetting {
    std::string Server;  // host:port; empty: no proxy
    std::string Bypass;  // WinHTTP's list
};
const ProxySetting& CurrentProxy();

enum class ProxyResult { Applied, NoWinHttp, WinHttpRefused };

// The server must pass IsProxyServer or be empty (no proxy: the variables are removed). The
// variables are published whatever WinHTTP answers; the run log records both.
ProxyResult ApplyProxy(const std::string& server, const std::string& bypass);

// At start-up: ProxyServer= and ProxyBypass= when ProxyServer= is set (a malformed one is logged).
void ApplyProxyFromSettings();
