#include "session/settings_text.h"

#include "common/text.h"


namespace {

// Texts keep their old value when the new one is empty.
void SetTextUnlessEmpty(std::string& setting, const std::string& value)
{
    if (!value.empty()) setting = value;
}

// Seconds up to an hour; anything but digits is no wait.
unsigned WaitSeconds(const std::string& value)
{
    constexpr unsigned kLongest = 3600;
    if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos) return 0;
    const unsigned seconds = static_cast<unsigned>(std::stoul(value));
    return seconds > kLongest ? kLongest : seconds;
}

struct KeyRule {
    std::string_view key;
    void (*apply)(TSettings&, const std::string& value);
};

// Tested in this order; the first key found in a line decides. The flags differ on purpose in
// which value turns them: UseRegRun and RunWpeInit are on unless exactly "NO", the others on only
// for "YES".
const KeyRule kKeyRules[] = {
    {"CADApplication=", [](TSettings& s, const std::string& v) { SetTextUnlessEmpty(s.CADApplication, v); }},
    {"CSEApplication=", [](TSettings& s, const std::string& v) { SetTextUnlessEmpty(s.CSEApplication, v); }},
    {"UseRegRun=", [](TSettings& s, const std::string& v) {
         s.UseRegRun = v != "NO";
         s.UseRegRunSaidYes = v == "YES";
     }},
    {"ShutdownEmulate=", [](TSettings& s, const std::string& v) { s.ShutdownEmulate = v == "YES"; }},
    {"LangModuleName=", [](TSettings& s, const std::string& v) { SetTextUnlessEmpty(s.LangModuleName, v); }},
    {"LessLogonMode=", [](TSettings& s, const std::string& v) { s.LessLogonMode = v == "YES"; }},
    {"EnableRebootButton=", [](TSettings& s, const std::string& v) { s.EnableRebootButton = v == "YES"; }},
    {"LogFile=", [](TSettings& s, const std::string& v) { SetTextUnlessEmpty(s.LogFile, v); }},
    {"RunWpeInit=", [](TSettings& s, const std::string& v) { s.RunWpeInit = v != "NO"; }},
    {"DriverFolder=", [](TSettings& s, const std::string& v) { s.DriverFolder = v; }},
    {"TimeZoneFromTarget=", [](TSettings& s, const std::string& v) { s.TimeZoneFromTarget = v == "YES"; }},
    {"WifiProfiles=", [](TSettings& s, const std::string& v) { s.WifiProfiles = v; }},
    {"StaticAddress=", [](TSettings& s, const std::string& v) { if (!v.empty()) s.StaticAddresses.push_back(v); }},
    {"ProxyServer=", [](TSettings& s, const std::string& v) { s.ProxyServer = v; }},
    {"ProxyBypass=", [](TSettings& s, const std::string& v) { s.ProxyBypass = v; }},
    {"WaitForNetwork=", [](TSettings& s, const std::string& v) { s.WaitForNetwork = WaitSeconds(v); }},
    {"NetworkDrive=", [](TSettings& s, const std::string& v) { if (!v.empty()) s.NetworkDrives.push_back(v); }},
    {"MatchDrivers=", [](TSettings& s, const std::string& v) { s.MatchDrivers = v == "YES"; }},
};

constexpr std::string_view kShellMarker = "[Shell]";

void AddShellEntry(std::string_view line, TSettings& settings)
{
    TShellItem& item = settings.ShellList.Add();
    item.Name = NameBeforeEquals(line);
    item.CommandLine = ValueAfterEquals(line);
}

// Returns true when the line switches to the [Shell] section.
bool ApplyKeyLine(std::string_view line, TSettings& settings)
{
    for (const KeyRule& rule : kKeyRules) {
        if (line.find(rule.key) != std::string_view::npos) {
            rule.apply(settings, ValueAfterEquals(line));
            return false;
        }
    }
    return line.find(kShellMarker) != std::string_view::npos;
}

}  // namespace

std::string ValueAfterEquals(std::string_view line)
{
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : Trim(line.substr(equals + 1));
}

std::string NameBeforeEquals(std::string_view line)
{
    size_t equals = line.find('=');
    return equals == std::string_view::npos ? std::string() : Trim(line.substr(0, equals));
}

void ApplySettingsText(std::string_view text, TSettings& settings)
{
    bool shellMode = false;
    for (const std::string& line : SplitLines(text)) {
        if (shellMode) {
            if (!Trim(line).empty()) AddShellEntry(line, settings);
        } else {
            shellMode = ApplyKeyLine(line, settings);
        }
    }
}
