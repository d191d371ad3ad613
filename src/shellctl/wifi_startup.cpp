#include "shellctl/wifi_startup.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/wifi_client.h"
#include "envdialog/wifi_rules.h"
#include "envdialog/wifi_text.h"
#include "langmodule/langmodule.h"
#include "session/launch.h"
#include "session/pe_rules.h"
#include "session/shared_state.h"

#include <vector>

namespace {

// Association and the four-way handshake take seconds; DHCP is not waited for here.
constexpr unsigned kProfileLimitMs = 20000;
constexpr size_t kMaxProfileBytes = 64 * 1024;

void LogSkipped(const std::string& reason, const std::string& folder = std::string())
{
    LogEvent("wifi", {{"action", "profiles"}, {"result", "skipped"}, {"reason", reason},
                      {folder.empty() ? "" : "folder", folder}});
}

std::vector<std::string> ProfileFiles(const std::string& folder)
{
    std::vector<std::string> files;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((folder + "*").c_str(), &entry));
    if (!find) return files;
    do {
        const std::string name = entry.cFileName;
        // Matched here rather than by "*.xml", which also matches by the short name.
        const bool xml = name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".xml") == 0;
        if (xml && !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(name);
    } while (FindNextFileA(find.get(), &entry));
    SortDriverPaths(files);
    return files;
}

// The document as the WLAN service takes it: UTF-16 from a file with a UTF-16 byte order mark,
// otherwise UTF-8 (netsh writes UTF-8), a byte order mark dropped.
std::wstring DocumentText(std::string& bytes)
{
    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
    } else {
        const size_t skip = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        text = Utf8ToWide(std::string_view(bytes).substr(skip));
    }
    return text;
}

bool TryProfile(const std::string& folder, const std::string& file,
                const std::function<void(const std::wstring&)>& show)
{
    std::optional<std::string> read = ReadWholeFile(folder + file, kMaxProfileBytes);
    if (!read) {
        LogEvent("wifi", {{"action", "profile"}, {"file", file}, {"result", "unreadable"}});
        return false;
    }
    std::string bytes = std::move(*read);
    std::wstring document = DocumentText(bytes);
    WipeString(bytes);
    std::string utf8 = WideToUtf8(document);
    const std::optional<std::string> name = ProfileNameFromXml(utf8);
    WipeString(utf8);
    if (!name) {
        WipeString(document);
        LogEvent("wifi", {{"action", "profile"}, {"file", file}, {"result", "no-name"}});
        return false;
    }
    LogEvent("wifi", {{"action", "profile"}, {"file", file}, {"profile", *name}});
    show(WideMessage(LoadLangStringOr(IDS_WIFI_STARTUP, "Connecting to Wi-Fi (%1)..."), {Utf8ToWide(*name)}));
    return ConnectWithProfile(document, *name, kProfileLimitMs).outcome == WifiOutcome::Connected;
}

}  // namespace

void ConnectWifiProfiles(const std::function<void(const std::wstring&)>& show)
{
    const std::string setting = Shared().Settings.WifiProfiles;
    if (setting.empty()) return;
    std::string folder = ResolveDriverFolder(ExpandCommand(setting), ExecutableFolder());
    if (!IsExistingFolder(folder)) return LogSkipped("folder missing", folder);
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    const std::vector<std::string> files = ProfileFiles(folder);
    if (files.empty()) return LogSkipped("no profile files", folder);
    const WifiReadiness readiness = OpenWifi();
    if (readiness != WifiReadiness::Ready) {
        return LogSkipped(readiness == WifiReadiness::NoAdapter ? "no wireless adapter" : "no Wi-Fi support", folder);
    }
    for (const std::string& file : files) {
        if (TryProfile(folder, file, show)) return;
    }
    LogEvent("wifi", {{"action", "profiles"}, {"result", "none-connected"}, {"tried", std::to_string(files.size())}});
}
