#include "catalogues/timezones.h"
#include "catalogues/timezone_info.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "session/shared_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

namespace {

// Bias -60, StandardBias 0, DaylightBias -60, standard time from the 5th Sunday of October at
// 3:00, daylight time from the 5th Sunday of March at 2:00; then four bytes too many.
const std::vector<uint8_t> kLongTzi = {
    0xc4, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0xc4, 0xff, 0xff, 0xff,  //
    0, 0, 10, 0, 0, 0, 5, 0, 3, 0, 0, 0, 0, 0, 0, 0,             //
    0, 0, 3, 0, 0, 0, 5, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};

void ExpectNumbers(const TTimeZoneInformationEx& zone, int32_t bias, uint16_t daylightMonth)
{
    EXPECT_EQ(zone.Bias, bias);
    EXPECT_EQ(zone.DaylightBias, bias);
    EXPECT_EQ(zone.StandardDate.Hour, daylightMonth ? 3 : 0);
    EXPECT_EQ(zone.DaylightDate.Month, daylightMonth);
}

const char kZonesKey[] = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
const char kZonesBackup[] = "\\Software\\TarnTimeZonesBackup";

bool CopyTree(const std::string& from, const std::string& to)
{
    UniqueKey source = OpenRegKey(from, KEY_READ);
    UniqueKey target = CreateRegKey(to, KEY_ALL_ACCESS);
    return source && target && RegCopyTreeA(source.get(), nullptr, target.get()) == ERROR_SUCCESS;
}

std::string NameInForce()
{
    TIME_ZONE_INFORMATION info{};
    GetTimeZoneInformation(&info);
    char name[64] = {};
    WideCharToMultiByte(CP_ACP, 0, info.StandardName, -1, name, sizeof name - 1, nullptr, nullptr);
    return name;
}

// The Time Zones key is the machine's own: it is copied aside before each test and put back
// afterwards. A copy that is marked complete is also put back after a run that died half-way;
// one that is not was never the only copy.
class TimeZoneCatalogueTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!RestoreZones()) DeleteRegTree(kZonesBackup);
        ASSERT_FALSE(OpenRegKey(kZonesBackup, KEY_READ));
        hadZones_ = static_cast<bool>(OpenRegKey(kZonesKey, KEY_READ));
        if (hadZones_) {
            ASSERT_TRUE(CopyTree(kZonesKey, std::string(kZonesBackup) + "\\Zones"));
            WriteRegDword(CreateRegKey(kZonesBackup, KEY_ALL_ACCESS).get(), "Complete", 1);
            ASSERT_TRUE(DeleteRegTree(kZonesKey));
        }
    }
    void TearDown() override
    {
        if (!hadZones_) DeleteRegTree(kZonesKey);
        else RestoreZones();
    }
    static bool RestoreZones()
    {
        UniqueKey backup = OpenRegKey(kZonesBackup, KEY_READ);
        if (!backup || !RegValueExists(backup.get(), "Complete")) return false;
        backup.reset();
        DeleteRegTree(kZonesKey);
        if (CopyTree(std::string(kZonesBackup) + "\\Zones", kZonesKey)) DeleteRegTree(kZonesBackup);
        return true;
    }
    static UniqueKey AddZone(const std::string& name, const std::string& standardName = std::string())
    {
        UniqueKey zone = CreateRegKey(std::string(kZonesKey) + "\\" + name, KEY_ALL_ACCESS);
        if (standardName.empty()) return zone;
        WriteRegString(zone.get(), "Display", name);
        WriteRegString(zone.get(), "Std", standardName);
        WriteRegString(zone.get(), "Dlt", "Tarn Daylight");
        SetRaw(zone.get(), "Tzi", REG_BINARY, kLongTzi);
        return zone;
    }
    static void SetRaw(HKEY key, const char* name, DWORD type, const std::vector<uint8_t>& data)
    {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    }
    const TTimeZoneInformationEx& Zone(int index) const { return zones_.At(index); }

    bool hadZones_ = false;
    TTimeZoneList zones_;
};

TEST_F(TimeZoneCatalogueTest, WithoutTheKeyOnlyLocalTimeIsListed)
{
    BuildTimeZoneList(zones_);
    ASSERT_EQ(zones_.Count(), 1u);
    EXPECT_EQ(Zone(0).Display, "Local time");
    EXPECT_EQ(Zone(0).StandardName, "Local time");
    EXPECT_EQ(Zone(0).DaylightName, "Local time");
    ExpectNumbers(Zone(0), 0, 0);
    EXPECT_EQ(FindCurrentTimeZone(zones_), -1);
}

TEST_F(TimeZoneCatalogueTest, EverySubkeyGivesAZoneWhateverItsValues)
{
    AddZone("Tarn A Full", "Tarn Standard");
    AddZone("Tarn B Bare");
    UniqueKey wrong = AddZone("Tarn C Wrong Types");
    SetRaw(wrong.get(), "Display", REG_DWORD, {1, 0, 0, 0});
    SetRaw(wrong.get(), "Std", REG_BINARY, {'S', 't', 'd', 0});
    SetRaw(wrong.get(), "Dlt", REG_MULTI_SZ, {'D', 0, 0});
    SetRaw(wrong.get(), "Tzi", REG_DWORD, {0xc4, 0xff, 0xff, 0xff});

    BuildTimeZoneList(zones_);
    ASSERT_EQ(zones_.Count(), 4u);
    EXPECT_EQ(Zone(0).Display, "Tarn A Full");
    EXPECT_EQ(Zone(0).StandardName, "Tarn Standard");
    EXPECT_EQ(Zone(0).DaylightName, "Tarn Daylight");
    ExpectNumbers(Zone(0), -60, 3);
    for (int bare : {1, 2}) {
        EXPECT_EQ(Zone(bare).Display + Zone(bare).StandardName + Zone(bare).DaylightName, "");
        ExpectNumbers(Zone(bare), 0, 0);
    }
    EXPECT_EQ(Zone(3).StandardName, "Local time");
}

TEST_F(TimeZoneCatalogueTest, TheFirstZoneWithTheNameInForceIsFound)
{
    const std::string inForce = NameInForce();
    AddZone("Tarn 1", inForce + " Elsewhere");
    AddZone("Tarn 2", inForce);
    AddZone("Tarn 3", inForce);
    BuildTimeZoneList(zones_);
    EXPECT_EQ(FindCurrentTimeZone(zones_), 1);
}

TEST_F(TimeZoneCatalogueTest, AnAppliedZoneReachesThePlatformInItsForm)
{
    const std::string longName = "Tarn Standard Time Of A Very Long Name";
    AddZone("Tarn A", "Tarn Standard");
    AddZone("Tarn B", longName);
    BuildTimeZoneList(zones_);
    const TTimeZoneList& zones = zones_;
    ASSERT_EQ(zones.Count(), 3u);

    TIME_ZONE_INFORMATION first = ZoneInformation(zones.At(0));
    EXPECT_EQ(first.DaylightBias, -60);
    EXPECT_EQ(first.DaylightDate.wMonth, 3);
    EXPECT_STREQ(first.StandardName, L"Tarn Standard");
    EXPECT_STREQ(first.DaylightName, L"Tarn Daylight");
    EXPECT_EQ(std::wstring(ZoneInformation(zones.At(1)).StandardName),
              std::wstring(longName.begin(), longName.begin() + 31));
    TIME_ZONE_INFORMATION local = ZoneInformation(zones.At(2));
    EXPECT_EQ(local.DaylightDate.wMonth, 0);
    EXPECT_STREQ(local.StandardName, L"Local time");

    DYNAMIC_TIME_ZONE_INFORMATION dynamic = DynamicZoneInformation(zones.At(0));
    EXPECT_STREQ(dynamic.TimeZoneKeyName, L"Tarn A") << "the key that holds its dynamic rules";
    EXPECT_FALSE(dynamic.DynamicDaylightTimeDisabled);
    EXPECT_EQ(dynamic.DaylightDate.wMonth, 3);
    EXPECT_TRUE(DynamicZoneInformation(zones.At(2)).DynamicDaylightTimeDisabled) << "Local time has no key";

    // Wine never grants the time-zone privilege (error 1314): the zone in force stays, the log
    // shows the attempt with its error, and out-of-range indices do nothing at all.
    const std::string before = NameInForce();
    CaseFolder folder;
    StartRunLog(folder.File("run.log"));
    ApplyTimeZone(zones_, -1);
    ApplyTimeZone(zones_, 3);
    ApplyTimeZone(zones_, 0);
    StartRunLog(std::string());
    EXPECT_EQ(NameInForce(), before);
    const std::vector<std::string> lines = ReadLines(folder.File("run.log"));
    ASSERT_EQ(lines.size(), 1u);
    for (const char* part : {"what=timezone", "Tarn A", "result=failed", "error=1314"}) {
        EXPECT_NE(lines[0].find(part), std::string::npos) << part << " in " << lines[0];
    }
}

}  // namespace
