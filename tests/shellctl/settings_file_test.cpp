#include "shellctl/settings.h"
#include "session/shared_state.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(SettingsFile, ReadsTheFileNextToTheExecutable)
{
    std::string path = SettingsFilePath();
    EXPECT_EQ(path, BinFolder() + "tarn_logon.ini");
    WriteBytes(path, "UseRegRun=NO\r\nLangModuleName=Other.dll\r\n[Shell]\r\nPrompt=cmd.exe\r\n");
    ScopeExit removeFile([&] { DeleteFileA(path.c_str()); });

    Shared().Settings.ShellList.Add().Name = "left over";  // a second read starts the list afresh
    ReadSettings();

    const TSettings& settings = Shared().Settings;
    EXPECT_FALSE(settings.UseRegRun);
    EXPECT_EQ(settings.LangModuleName, "Other.dll");
    ASSERT_EQ(settings.ShellList.Count(), 1u);
    EXPECT_EQ(settings.ShellList.At(0).CommandLine, "cmd.exe");
    Shared().Settings = TSettings();
}

TEST(SettingsFile, UnreadableFilesLeaveTheSettingsUntouched)
{
    CaseFolder folder;
    TSettings settings;

    EXPECT_FALSE(ReadSettingsFile(folder.File("missing.ini"), settings));

    std::string locked = folder.File("locked.ini");
    WriteBytes(locked, "UseRegRun=NO\n");
    {
        UniqueFile exclusive(CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
        ASSERT_TRUE(exclusive);
        EXPECT_FALSE(ReadSettingsFile(locked, settings));
    }
    CreateDirectoryA(folder.File("folder.ini").c_str(), nullptr);
    EXPECT_FALSE(ReadSettingsFile(folder.File("folder.ini"), settings));
    EXPECT_TRUE(settings.UseRegRun);

    EXPECT_TRUE(ReadSettingsFile(locked, settings)) << "readable once released";
    EXPECT_FALSE(settings.UseRegRun);
}

TEST(SettingsFile, ReadsWhileAnotherProgramHasTheFileOpenForWriting)
{
    CaseFolder folder;
    std::string path = folder.File("open.ini");
    WriteBytes(path, "ShutdownEmulate=YES");
    UniqueFile writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    TSettings settings;
    EXPECT_TRUE(ReadSettingsFile(path, settings));
    EXPECT_TRUE(settings.ShutdownEmulate);
}

TEST(SettingsFile, ReadsBinaryGarbageAndAOneMegabyteLine)
{
    CaseFolder folder;
    std::string path = folder.File("big.ini");
    std::string content = "[Shell]\r\nBig=" + std::string(1 << 20, 'x') + "\r\n";
    content += std::string("\xff\xfe\x01\x02\x80=\x90\r\n", 9);
    WriteBytes(path, content);
    TSettings settings;
    ASSERT_TRUE(ReadSettingsFile(path, settings));
    ASSERT_EQ(settings.ShellList.Count(), 2u);
    EXPECT_EQ(settings.ShellList.At(0).CommandLine.size(), 1u << 20);
    EXPECT_EQ(settings.ShellList.At(1).CommandLine, "\x90");
}

// The sample shipped in the package explains itself in lines that must not set anything.
TEST(SettingsFile, ShippedSampleSetsExactlyWhatItSays)
{
    TSettings settings;
    ASSERT_TRUE(ReadSettingsFile(BinFolder() + "sample_tarn_logon.ini", settings));
    const TSettings defaults;
    EXPECT_EQ(settings.CADApplication, defaults.CADApplication);
    EXPECT_EQ(settings.CSEApplication, defaults.CSEApplication);
    EXPECT_EQ(settings.UseRegRun, defaults.UseRegRun);
    EXPECT_FALSE(settings.UseRegRunSaidYes) << "a sample copied to a full Windows would run that computer's autostart";
    EXPECT_EQ(settings.ShutdownEmulate, defaults.ShutdownEmulate);
    EXPECT_EQ(settings.LangModuleName, defaults.LangModuleName);
    EXPECT_EQ(settings.LessLogonMode, defaults.LessLogonMode);
    EXPECT_EQ(settings.EnableRebootButton, defaults.EnableRebootButton);
    EXPECT_EQ(settings.LogFile, defaults.LogFile);
    EXPECT_EQ(settings.RunWpeInit, defaults.RunWpeInit);
    EXPECT_EQ(settings.DriverFolder, defaults.DriverFolder);
    EXPECT_EQ(settings.TimeZoneFromTarget, defaults.TimeZoneFromTarget);
    EXPECT_EQ(settings.WifiProfiles, defaults.WifiProfiles);
    ASSERT_EQ(settings.ShellList.Count(), 4u);
    EXPECT_EQ(settings.ShellList.At(0).Name, "Command prompt");
    EXPECT_EQ(settings.ShellList.At(0).CommandLine, "%windir%\\system32\\cmd.exe");
    EXPECT_EQ(settings.ShellList.At(1).CommandLine, "%windir%\\system32\\cmd.exe /k cd /d %TARGET_ROOT%");
    EXPECT_EQ(settings.ShellList.At(3).Name, "Notepad");
}
