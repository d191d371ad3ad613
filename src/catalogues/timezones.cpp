#include "catalogues/timezones.h"
#include "catalogues/timezone_info.h"

#include "catalogues/timezone_rules.h"
#include "common/guards.h"
#include "common/privileges.h"
#include "common/program.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "common/window.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

const char kZonesKey[] = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\\";
const char kZoneInForceKey[] = "\\System\\CurrentControlSet\\Control\\TimeZoneInformation\\";

// The raw "Tzi" bytes, however long. Text and DWORD values are no zone data and read as
// nothing, which leaves the zone's numbers zero; any other type is taken as raw bytes.
std::vector<uint8_t> ReadTzi(HKEY key)
{
    // Room for the usual 44 bytes and more, so that one query nearly always does: under Wine
    // each query is a round trip to the server. A longer value, or one that grows meanwhile,
    // is read again at the size the query reports.
    std::vector<uint8_t> bytes(64);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(bytes.size());
        LONG rc = RegQueryValueExA(key, "Tzi", nullptr, &type, bytes.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            bytes.resize(std::max<size_t>(size, bytes.size() * 2));
            continue;
        }
        if (rc != ERROR_SUCCESS || type == REG_SZ || type == REG_EXPAND_SZ || type == REG_DWORD) return {};
        bytes.resize(std::min<size_t>(size, bytes.size()));
        return bytes;
    }
    return {};
}

void ReadZone(HKEY key, TTimeZoneInformationEx& zone)
{
    zone.Display = ReadRegStringOrEmpty(key, "Display");
    zone.StandardName = ReadRegStringOrEmpty(key, "Std");
    zone.DaylightName = ReadRegStringOrEmpty(key, "Dlt");
    MapTzi(ReadTzi(key), zone);
}

// Converts a name into one of the 32-unit name members of TIME_ZONE_INFORMATION, which the
// caller has zeroed. A name that cannot be converted leaves the member empty.
void StoreZoneName(const std::string& name, WCHAR (&member)[32])
{
    int units = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    if (units <= 0) return;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide.data(), units) <= 0) return;
    wide.resize(wcslen(wide.c_str()));
    wide = FitZoneName(wide);
    wide.copy(member, wide.size());
}

SYSTEMTIME ToSystemTime(const TZoneTime& time)
{
    SYSTEMTIME result{};
    result.wYear = time.Year;
    result.wMonth = time.Month;
    result.wDayOfWeek = time.DayOfWeek;
    result.wDay = time.Day;
    result.wHour = time.Hour;
    result.wMinute = time.Minute;
    result.wSecond = time.Second;
    result.wMilliseconds = time.Milliseconds;
    return result;
}

std::string ZoneNameInForce()
{
    TIME_ZONE_INFORMATION info{};
    if (GetTimeZoneInformation(&info) != TIME_ZONE_ID_INVALID) {
        int units = static_cast<int>(wcsnlen(info.StandardName, 32));
        if (units == 0) return std::string();
        int bytes = WideCharToMultiByte(CP_ACP, 0, info.StandardName, units, nullptr, 0, nullptr, nullptr);
        std::string name(static_cast<size_t>(std::max(bytes, 0)), '\0');
        if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, info.StandardName, units, name.data(), bytes, nullptr, nullptr);
        return name;
    }
    UniqueKey inForce = OpenRegKey(kZoneInForceKey, KEY_READ);
    return inForce ? ReadRegStringOrEmpty(inForce.get(), "StandardName") : std::string();
}

}  // namespace

TIME_ZONE_INFORMATION ZoneInformation(const TTimeZoneInformationEx& zone)
{
    TIME_ZONE_INFORMATION info{};
    info.Bias = zone.Bias;
    StoreZoneName(zone.StandardName, info.StandardName);
    info.StandardDate = ToSystemTime(zone.StandardDate);
    info.StandardBias = zone.StandardBias;
    StoreZoneName(zone.DaylightName, info.DaylightName);
    info.DaylightDate = ToSystemTime(zone.DaylightDate);
    info.DaylightBias = zone.DaylightBias;
    return info;
}

DYNAMIC_TIME_ZONE_INFORMATION DynamicZoneInformation(const TTimeZoneInformationEx& zone)
{
    const TIME_ZONE_INFORMATION info = ZoneInformation(zone);
    DYNAMIC_TIME_ZONE_INFORMATION dynamic{};
    dynamic.Bias = info.Bias;
    std::copy(std::begin(info.StandardName), std::end(info.StandardName), dynamic.StandardName);
    dynamic.StandardDate = info.StandardDate;
    dynamic.StandardBias = info.StandardBias;
    std::copy(std::begin(info.DaylightName), std::end(info.DaylightName), dynamic.DaylightName);
    dynamic.DaylightDate = info.DaylightDate;
    dynamic.DaylightBias = info.DaylightBias;
    // Key names are at most 128 units with the terminator; a longer one names no key the system
    // can find, so the zone is set without dynamic rules rather than with a cut name.
    int units = zone.KeyName.empty() ? 0
                                     : MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, zone.KeyName.c_str(), -1,
                                                           dynamic.TimeZoneKeyName, 128);
    if (units <= 0) dynamic.TimeZoneKeyName[0] = L'\0';
    dynamic.DynamicDaylightTimeDisabled = dynamic.TimeZoneKeyName[0] == L'\0';
    return dynamic;
}

void BuildTimeZoneList(TTimeZoneList& list)
{
    if (UniqueKey zones = OpenRegKey(kZonesKey, KEY_READ)) {
        for (const std::string& name : RegSubKeyNames(zones.get())) {
            UniqueKey zone = OpenRegKey(zones.get(), name, KEY_READ);
            if (!zone) continue;
            TTimeZoneInformationEx& entry = list.Add();
            ReadZone(zone.get(), entry);
            entry.KeyName = name;
        }
    }
    AppendLocalTime(list);
}

int FindCurrentTimeZone(const TTimeZoneList& list) { return FindZoneIndex(list, ZoneNameInForce()); }

void ApplyTimeZone(const TTimeZoneList& list, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= list.Count()) return;
    const TTimeZoneInformationEx& zone = list.At(index);
    // The privilege is in an administrator's token but disabled by default (SetTimeZoneInformation,
    // SetDynamicTimeZoneInformation). The dynamic call with the zone's key name keeps the zone's
    // daylight rules per year; the old call would turn dynamic daylight saving off.
    // Without it the call can only fail with ERROR_PRIVILEGE_NOT_HELD, so it is not made.
    // Held only around the call, as its page asks: nothing else the program does needs it.
    ScopedPrivilege held(SE_TIME_ZONE_NAME);
    const DWORD privilege = held.Result();
    DYNAMIC_TIME_ZONE_INFORMATION info = DynamicZoneInformation(zone);
    bool set = false;
    if (privilege == ERROR_SUCCESS) {
        // Wine has the dynamic call as a stub that ends the process; there the old call is all
        // there is (and Windows never takes this branch).
        if (IsWine()) {
            TIME_ZONE_INFORMATION plain = ZoneInformation(zone);
            set = SetTimeZoneInformation(&plain) != FALSE;
        } else {
            set = SetDynamicTimeZoneInformation(&info) != FALSE;
        }
    }
    const DWORD error = set ? ERROR_SUCCESS : privilege == ERROR_SUCCESS ? GetLastError() : ERROR_PRIVILEGE_NOT_HELD;
    // Explorer and other running programs learn of a new zone by WM_SETTINGCHANGE
    // (SetTimeZoneInformation's remarks).
    if (set) BroadcastSettingChange(nullptr);
    // Without the privilege the call fails and the zone in force stays; the dialog stays open
    // and the operator sees the old zone selected on the next pass.
    LogEvent("apply", {{"what", "timezone"}, {"entry", zone.Display}, {"key", zone.KeyName},
                       {"result", set ? "done" : "failed"}, {"error", std::to_string(error)},
                       {"message", set ? std::string() : SystemErrorText(error)},
                       {"privilege", privilege == ERROR_SUCCESS ? "enabled" : std::to_string(privilege)}});
}
