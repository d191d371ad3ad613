#include "shellctl/settings.h"

#include "common/command_mask.h"
#include "common/files.h"
#include "langmodule/langmodule.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "session/shared_state.h"

namespace {
// Far beyond any real settings file; a larger one is not read rather than exhausting memory.
constexpr size_t kMaxSettingsFileBytes = 64u << 20;

const char* YesNo(bool flag) { return flag ? "YES" : "NO"; }

void LogSettings(const std::string& path, const char* file, const TSettings& s)
{
    LogEvent("settings", {{"path", path}, {"file", file}, {"CADApplication", MaskCommandCredentials(s.CADApplication)},
                          {"CSEApplication", MaskCommandCredentials(s.CSEApplication)}, {"UseRegRun", YesNo(s.UseRegRun)},
                          {"ShutdownEmulate", YesNo(s.ShutdownEmulate)}, {"LangModuleName", s.LangModuleName},
                          {"LessLogonMode", YesNo(s.LessLogonMode)}, {"EnableRebootButton", YesNo(s.EnableRebootButton)},
                          {"LogFile", s.LogFile}, {"RunWpeInit", YesNo(s.RunWpeInit)},
                          {"DriverFolder", s.DriverFolder}, {"TimeZoneFromTarget", YesNo(s.TimeZoneFromTarget)},
                          {"WifiProfiles", s.WifiProfiles},
                          {"StaticAddress", std::to_string(s.StaticAddresses.size())},
                          {"WaitForNetwork", std::to_string(s.WaitForNetwork)},
                          {"NetworkDrive", std::to_string(s.NetworkDrives.size())},
                          {"MatchDrivers", YesNo(s.MatchDrivers)},
                          {"shells", std::to_string(s.ShellList.Count())}});
}

}  // namespace

std::string SettingsFilePath() { return ExecutableFolder() + "tarn_logon.ini"; }

bool ReadSettingsFile(const std::string& path, TSettings& settings)
{
    std::optional<std::string> text = ReadWholeFile(path, kMaxSettingsFileBytes);
    if (!text) return false;
    ApplySettingsText(*text, settings);
    return true;
}

void ReadSettings()
{
    TSettings& settings = Shared().Settings;
    settings.ShellList.Clear();

    std::string path = SettingsFilePath();
    if (!IsExistingFile(path)) {
        // Whether or not the box was confirmed, the run goes on with the initial values.
        ShowErrorBox(nullptr, LoadLangString(IDS_SETTINGS_MISSING));
        LogSettings(path, "missing", settings);
        return;
    }
    LogSettings(path, ReadSettingsFile(path, settings) ? "read" : "unreadable", settings);
}
