#include "session/settings_text.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TSettings Parse(const std::string& text)
{
    TSettings settings;
    ApplySettingsText(text, settings);
    return settings;
}

const std::string kTaskManager = "%windir%\\system32\\taskmgr.exe";

}  // namespace

TEST(ValueAndNameAroundEquals, SplitAtTheFirstEqualsAndTrim)
{
    EXPECT_EQ(ValueAfterEquals("Tool=app.exe /opt=1"), "app.exe /opt=1");
    EXPECT_EQ(NameBeforeEquals("Tool=app.exe /opt=1"), "Tool");
    EXPECT_EQ(ValueAfterEquals(" Key \t=\t value \r"), "value");
    EXPECT_EQ(NameBeforeEquals(" Key \t=\t value "), "Key");
    EXPECT_EQ(ValueAfterEquals("no equals"), "");
    EXPECT_EQ(NameBeforeEquals("no equals"), "");
    EXPECT_EQ(ValueAfterEquals("="), "");
    EXPECT_EQ(NameBeforeEquals("=x"), "");
}

TEST(SettingsText, InitialValuesHoldForAnEmptyText)
{
    TSettings s = Parse("");
    EXPECT_EQ(s.CADApplication, kTaskManager);
    EXPECT_EQ(s.CSEApplication, kTaskManager);
    EXPECT_TRUE(s.UseRegRun);
    EXPECT_FALSE(s.ShutdownEmulate);
    EXPECT_EQ(s.LangModuleName, "LangPack.dll");
    EXPECT_FALSE(s.LessLogonMode);
    EXPECT_TRUE(s.EnableRebootButton);
    EXPECT_TRUE(s.ShellList.Empty());
}

TEST(SettingsText, FlagsTurnOnlyOnTheirExactUpperCaseValue)
{
    EXPECT_FALSE(Parse("UseRegRun=NO").UseRegRun);
    EXPECT_TRUE(Parse("UseRegRun=no").UseRegRun);
    EXPECT_TRUE(Parse("UseRegRun=").UseRegRun);
    EXPECT_TRUE(Parse("UseRegRun=NO!").UseRegRun);
    EXPECT_TRUE(Parse("ShutdownEmulate=YES").ShutdownEmulate);
    EXPECT_FALSE(Parse("ShutdownEmulate=yes").ShutdownEmulate);
    EXPECT_TRUE(Parse("LessLogonMode=YES").LessLogonMode);
    EXPECT_FALSE(Parse("LessLogonMode = YES").LessLogonMode) << "a blank before = hides the key";
    EXPECT_TRUE(Parse("EnableRebootButton= \t YES \t").EnableRebootButton);
    EXPECT_FALSE(Parse("EnableRebootButton=").EnableRebootButton);
    EXPECT_FALSE(Parse("EnableRebootButton=Yes").EnableRebootButton);
}

TEST(SettingsText, TextsChangeOnlyForNonEmptyValues)
{
    EXPECT_EQ(Parse(";CADApplication=%windir%\\regedit.exe").CADApplication, "%windir%\\regedit.exe")
        << "there is no comment syntax";
    EXPECT_EQ(Parse("CADApplication=").CADApplication, kTaskManager);
    EXPECT_EQ(Parse("LangModuleName=lang\\German.dll").LangModuleName, "lang\\German.dll");
    EXPECT_EQ(Parse("LangModuleName=  ").LangModuleName, "LangPack.dll");

    TSettings both = Parse("CSEApplication=a.exe CADApplication=b.exe");
    EXPECT_EQ(both.CADApplication, "a.exe CADApplication=b.exe") << "CADApplication is tested first";
    EXPECT_EQ(both.CSEApplication, kTaskManager);

    EXPECT_EQ(Parse("MyCSEApplication=x.exe").CSEApplication, "x.exe") << "a key counts inside a longer word";
}

TEST(SettingsText, LaterLinesOverrideEarlierOnes)
{
    TSettings s = Parse("UseRegRun=NO\nUseRegRun=YES\nCADApplication=a.exe\nCADApplication=\nLessLogonMode=YES\n"
                        "LessLogonMode=yes");
    EXPECT_TRUE(s.UseRegRun);
    EXPECT_EQ(s.CADApplication, "a.exe");
    EXPECT_FALSE(s.LessLogonMode);
}

TEST(SettingsText, ShellSectionTakesEveryLaterNonBlankLineAsAnEntry)
{
    TSettings s = Parse("[Settings]\r\nSections [Shell] follow\r\n"
                        "Command prompt = cmd.exe /k title Shell\r\n"
                        "Tool=app.exe /opt=1\r\n"
                        " \t \r\n"
                        "Tools\r\n"
                        "UseRegRun=NO\r\n"
                        "[Other]\r\n"
                        "[Shell]\r\n");
    EXPECT_TRUE(s.UseRegRun) << "no keys are looked for after [Shell]";
    ASSERT_EQ(s.ShellList.Count(), 6u);
    EXPECT_EQ(s.ShellList.At(0).Name, "Command prompt");
    EXPECT_EQ(s.ShellList.At(0).CommandLine, "cmd.exe /k title Shell");
    EXPECT_EQ(s.ShellList.At(1).Name, "Tool");
    EXPECT_EQ(s.ShellList.At(1).CommandLine, "app.exe /opt=1");
    EXPECT_EQ(s.ShellList.At(2).Name, "");
    EXPECT_EQ(s.ShellList.At(2).CommandLine, "");
    EXPECT_EQ(s.ShellList.At(3).Name, "UseRegRun");
    EXPECT_EQ(s.ShellList.At(3).CommandLine, "NO");
    EXPECT_EQ(s.ShellList.At(4).Name, "");
    EXPECT_EQ(s.ShellList.At(4).CommandLine, "");
    EXPECT_EQ(s.ShellList.At(5).Name, "");
    EXPECT_EQ(s.ShellList.At(5).Reserved, "");
}

// The newest key comes last in the order, so files written for the keys before it read the same.
TEST(SettingsText, LogFileIsATextKeyTestedAfterTheOthersAndBeforeTheShells)
{
    EXPECT_EQ(Parse("").LogFile, "%TEMP%\\tarn_logon.log");
    EXPECT_EQ(Parse("LogFile= %SystemDrive%\\logs\\tarn.log ").LogFile, "%SystemDrive%\\logs\\tarn.log");
    EXPECT_EQ(Parse("LogFile=").LogFile, "%TEMP%\\tarn_logon.log");
    EXPECT_EQ(Parse("LogFile=NO").LogFile, "NO");
    EXPECT_EQ(Parse("MyLogFile=a.log").LogFile, "a.log") << "a key counts inside a longer word";

    TSettings after = Parse("EnableRebootButton=YES LogFile=a.log");
    EXPECT_FALSE(after.EnableRebootButton) << "EnableRebootButton is tested first and takes the whole value";
    EXPECT_EQ(after.LogFile, "%TEMP%\\tarn_logon.log");
    TSettings marker = Parse("LogFile=a.log [Shell]\n[Shell]\nLogFile=b.log");
    EXPECT_EQ(marker.LogFile, "a.log [Shell]") << "the key wins over the marker on its line";
    ASSERT_EQ(marker.ShellList.Count(), 1u);
    EXPECT_EQ(marker.ShellList.At(0).Name, "LogFile");
}

// Outside Windows PE only a YES written in the file runs the computer's autostart entries.
TEST(SettingsText, PeStartUpKeysFollowLogFileAndUseRegRunTellsAnExplicitYes)
{
    TSettings none = Parse("");
    EXPECT_TRUE(none.RunWpeInit);
    EXPECT_EQ(none.DriverFolder, "");
    EXPECT_TRUE(none.UseRegRun);
    EXPECT_FALSE(none.UseRegRunSaidYes);
    EXPECT_FALSE(Parse("RunWpeInit=NO").RunWpeInit);
    EXPECT_TRUE(Parse("RunWpeInit=no").RunWpeInit);
    EXPECT_EQ(Parse("DriverFolder= Drivers\\Storage ").DriverFolder, "Drivers\\Storage");
    EXPECT_EQ(Parse("DriverFolder=a\nDriverFolder=").DriverFolder, "") << "a later empty value names no folder";
    EXPECT_EQ(Parse("LogFile=x RunWpeInit=NO").LogFile, "x RunWpeInit=NO") << "LogFile= is tested first";
    EXPECT_EQ(Parse("RunWpeInit=NO DriverFolder=d").RunWpeInit, true) << "the whole value is not NO";
    EXPECT_FALSE(none.TimeZoneFromTarget);
    EXPECT_TRUE(Parse("TimeZoneFromTarget=YES").TimeZoneFromTarget);
    EXPECT_FALSE(Parse("TimeZoneFromTarget=yes").TimeZoneFromTarget);
    EXPECT_FALSE(none.MatchDrivers);
    EXPECT_TRUE(Parse("MatchDrivers=YES").MatchDrivers);
    EXPECT_EQ(Parse("DriverFolder=d TimeZoneFromTarget=YES").DriverFolder, "d TimeZoneFromTarget=YES")
        << "DriverFolder= is tested first";
    EXPECT_EQ(none.WifiProfiles, "");
    EXPECT_EQ(Parse("WifiProfiles= Wifi ").WifiProfiles, "Wifi");
    EXPECT_EQ(Parse("TimeZoneFromTarget=NO WifiProfiles=w").TimeZoneFromTarget, false) << "TimeZoneFromTarget= first";

    EXPECT_TRUE(Parse("UseRegRun=YES").UseRegRunSaidYes);
    EXPECT_FALSE(Parse("UseRegRun=yes").UseRegRunSaidYes);
    TSettings later = Parse("UseRegRun=YES\nUseRegRun=1");
    EXPECT_TRUE(later.UseRegRun);
    EXPECT_FALSE(later.UseRegRunSaidYes) << "the later line counts";
}

TEST(SettingsText, WaitForNetworkTakesWholeSecondsUpToAnHour)
{
    EXPECT_EQ(Parse("").WaitForNetwork, 0u);
    EXPECT_EQ(Parse("WaitForNetwork=30").WaitForNetwork, 30u);
    EXPECT_EQ(Parse("WaitForNetwork=99999").WaitForNetwork, 3600u);
    for (const char* bad : {"WaitForNetwork=-5", "WaitForNetwork=30s", "WaitForNetwork=999999", "WaitForNetwork=1e3"}) {
        EXPECT_EQ(Parse(bad).WaitForNetwork, 0u) << bad;
    }
}

// Each network drive line counts, unlike every key before it; an empty value adds none.
TEST(SettingsText, NetworkDriveLinesAccumulate)
{
    TSettings s = Parse("NetworkDrive=Z: \\\\a\\x\nNetworkDrive=\r\nLogFile=l\nNetworkDrive= Y: \\\\b\\y CORP\\u \n[Shell]\n"
                        "NetworkDrive=X: \\\\c\\z");
    ASSERT_EQ(s.NetworkDrives.size(), 2u);
    EXPECT_EQ(s.NetworkDrives[0], "Z: \\\\a\\x");
    EXPECT_EQ(s.NetworkDrives[1], "Y: \\\\b\\y CORP\\u");
    EXPECT_EQ(Parse("StaticAddress=a\nStaticAddress=b").StaticAddresses.size(), 2u) << "so do address presets";
    EXPECT_EQ(Parse("TimeZoneFromTarget=YES NetworkDrive=Z: \\\\a\\x").NetworkDrives.size(), 0u)
        << "TimeZoneFromTarget= is tested first";
}

TEST(SettingsText, AKeyOnTheMarkerLineWinsOverTheMarker)
{
    TSettings s = Parse("CADApplication=x.exe [Shell]\nA=b");
    EXPECT_EQ(s.CADApplication, "x.exe [Shell]");
    EXPECT_TRUE(s.ShellList.Empty());
}

TEST(SettingsText, EveryLineEndCountsAndAZeroByteEndsTheText)
{
    TSettings s = Parse(std::string("UseRegRun=NO\rShutdownEmulate=YES\nLessLogonMode=YES\r\n[Shell]\rA=a\n\rB=b") +
                        std::string(1, '\0') + "C=c");
    EXPECT_FALSE(s.UseRegRun);
    EXPECT_TRUE(s.ShutdownEmulate);
    EXPECT_TRUE(s.LessLogonMode);
    ASSERT_EQ(s.ShellList.Count(), 2u);
    EXPECT_EQ(s.ShellList.At(1).Name, "B");
}

TEST(SettingsText, HugeAndGarbageInputGivesADefinedResult)
{
    std::string oneLine(1 << 20, 'x');
    oneLine += "CADApplication=big.exe";
    EXPECT_EQ(Parse(oneLine).CADApplication, "big.exe");

    std::string bigShell = "[Shell]\n" + std::string(1 << 20, 'n') + "=" + std::string(1000, 'c');
    TSettings shell = Parse(bigShell);
    ASSERT_EQ(shell.ShellList.Count(), 1u);
    EXPECT_EQ(shell.ShellList.At(0).Name.size(), 1u << 20);

    std::mt19937 random(12345);
    for (int round = 0; round < 50; ++round) {
        std::string garbage(4096, '\0');
        for (char& c : garbage) c = static_cast<char>(random() % 256 == 0 ? 1 : random());
        TSettings s = Parse(garbage);  // must not crash; whatever it sets is well-formed
        EXPECT_LE(s.ShellList.Count(), 4096u);
    }
}
