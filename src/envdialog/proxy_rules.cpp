#include "envdialog/proxy_rules.h"

#include <sstream>

bool IsProxyServer(const std::string& server)
{
    const size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == server.size() || server.size() - colon > 6) {
        return false;
    }
    const std::string host = server.substr(0, colon);
    if (host.find_first_of(" \t/\\:@;,") != std::string::npos) return false;
    unsigned port = 0;
    for (size_t i = colon + 1; i < server.size(); ++i) {
        if (server[i] < '0' || server[i] > '9') return false;
        port = port * 10 + static_cast<unsigned>(server[i] - '0');
    }
    return server[colon + 1] != '0' && port >= 1 && port <= 65535;
}

std::string ProxyServerForLog(const std::string& server)
{
    const size_t at = server.rfind('@');
    if (at == std::string::npos) return server;
    const size_t scheme = server.find("://");
    const size_t start = scheme != std::string::npos && scheme < at ? scheme + 3 : 0;
    return server.substr(0, start) + "***" + server.substr(at);
}

std::string NoProxyList(const std::string& bypass)
{
    std::string spaced = bypass;
    for (char& c : spaced) {
        if (c == ';' || c == ',' || c == '\t') c = ' ';
    }
    std::istringstream entries(spaced);
    std::string entry, list;
    while (entries >> entry) {
        if (entry == "<local>") {
            entry = "localhost,127.0.0.1";
        } else if (entry.size() > 1 && entry[0] == '*') {
            entry.erase(0, 1);
        }
        list += (list.empty() ? "" : ",") + entry;
    }
    return list;
}
