// The settings file's format and the values it sets. No platform calls: the text is parsed
// from a byte buffer, so the rules can be tested (and fuzzed) on their own.
//
// The format looks like an INI file but is not parsed as one. Each known key string (with its
// "=") is found as a case-sensitive substring anywhere in a line, the first key of the table
// that occurs deciding; there are no comments and no sections, except that after a line
// containing "[Shell]" every non-blank line is a shell entry "Name=command line".
#pragma once

#include "common/record_list.h"

#include <string>
#include <string_view>
#include <vector>

// One entry of the [Shell] section.
struct TShellItem {
    std::string Name;         // shown in the environment dialog's shell list
    std::string CommandLine;  // may hold %NAME% references, expanded only when started
    std::string Reserved;     // kept empty; nothing reads it
};

using TShellList = RecordList<TShellItem>;

// The values the settings file can set, with the values that hold without one.
struct TSettings {
    std::string CADApplication = "%windir%\\system32\\taskmgr.exe";
    std::string CSEApplication = "%windir%\\system32\\taskmgr.exe";
    bool UseRegRun = true;
    // True only when the file says UseRegRun=YES itself: outside Windows PE the default is not
    // enough to run the computer's own autostart entries.
    bool UseRegRunSaidYes = false;
    bool ShutdownEmulate = false;
    std::string LangModuleName = "LangPack.dll";
    bool LessLogonMode = false;
    bool EnableRebootButton = true;
    // The run log's path, %NAME% references expanded at start-up; "NO": no log.
    std::string LogFile = "%TEMP%\\tarn_logon.log";
    // Windows PE's own start-up (wpeinit) before the autorun; off only for "NO".
    bool RunWpeInit = true;
    // The folder whose .inf files are loaded at start-up on Windows PE, as written: references
    // are expanded and a relative path is taken from the program's folder when it is used.
    std::string DriverFolder;
    // Selecting an installation applies its own time zone at once, not only on Apply.
    bool TimeZoneFromTarget = false;
    // A folder of Wi-Fi profile files (as "netsh wlan export profile key=clear" writes them), tried
    // at start-up on Windows PE; as written, resolved as DriverFolder= is.
    std::string WifiProfiles;
    // StaticAddress= presets, one per line as written ("MAC address/prefix [gateway [dns [dns]]]");
    // every line counts. Applied after the Windows PE start-up, each to the adapter with that MAC.
    std::vector<std::string> StaticAddresses;
    // ProxyServer= (host:port) and ProxyBypass= (WinHTTP's list): WinHTTP's default proxy and
    // HTTP_PROXY, HTTPS_PROXY and NO_PROXY, set at start-up; no proxy when ProxyServer= is empty.
    std::string ProxyServer;
    std::string ProxyBypass;
    // WaitForNetwork=: after OK, at most this many seconds for an adapter's usable address before
    // the shell starts; 0 (the default, and anything but a number) does not wait.
    unsigned WaitForNetwork = 0;
    // NetworkDrive= presets, one per line as written ("Z: \\server\share DOMAIN\user"); unlike
    // other keys every line counts. Read by the network drive dialog, which refuses malformed ones.
    std::vector<std::string> NetworkDrives;
    // At start-up on Windows PE, only the drivers that fit a device are loaded from DriverFolder=
    // and the Drivers folders of the removable drives and the boot medium, instead of every one.
    bool MatchDrivers = false;
    TShellList ShellList;
};

// The text after the first "=" of the line, trimmed; empty when the line has none.
std::string ValueAfterEquals(std::string_view line);
// The text before the first "=" of the line, trimmed; empty when the line has none.
std::string NameBeforeEquals(std::string_view line);

// Applies every line of text to settings, in file order (a later line overrides an earlier
// one), and appends the [Shell] entries to settings.ShellList.
void ApplySettingsText(std::string_view text, TSettings& settings);
