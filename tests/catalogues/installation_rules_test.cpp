#include "catalogues/installation_rules.h"
#include "catalogues/pe_header.h"
#include "support/pe_image.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

TEST(InstallationRules, NameVersionAndArchAsTheInstalledWindowsWouldSay)
{
    struct Row {
        InstallationValues values;  // ProductName, CSDVersion, CurrentBuildNumber, CurrentBuild, DisplayVersion, ReleaseId
        const char* arch;
        const char* expected;
    };
    const Row rows[] = {
        {{"Windows 10 Pro", "", "22631", "22631", "23H2", "2009"}, "64-bit", "Windows 11 Pro 23H2 (64-bit)"},
        {{"Windows 10 Pro", "", "22000", "", "21H2", "2009"}, "ARM64", "Windows 11 Pro 21H2 (ARM64)"},
        {{"Windows 10", "", "22000", "", "", ""}, "", "Windows 11"},
        {{"Windows 10 Pro", "", "21999", "", "22H2", "2009"}, "64-bit", "Windows 10 Pro 22H2 (64-bit)"},
        {{"Windows 10 Pro", "", "", "22631", "23H2", ""}, "", "Windows 11 Pro 23H2"},  // CurrentBuild stands in
        {{"Windows 10 Pro", "", "19045", "22631", "22H2", ""}, "", "Windows 10 Pro 22H2"},
        {{"Windows 10 Pro", "", "", "", "23H2", ""}, "", "Windows 10 Pro 23H2"},  // no build at all
        {{"Windows 10 Pro", "", "22631a", "22631", "", ""}, "", "Windows 10 Pro"},  // only digits count
        {{"Windows 10 Pro", "", "99999999999999999999", "", "", ""}, "", "Windows 11 Pro"},
        {{"Windows 10Pro", "", "22631", "", "", ""}, "", "Windows 10Pro"},
        {{"Microsoft Windows 10 Pro", "", "22631", "", "", ""}, "", "Microsoft Windows 10 Pro"},
        {{"Windows Server 2022 Standard", "", "20348", "", "21H2", "2009"}, "64-bit",
         "Windows Server 2022 Standard 21H2 (64-bit)"},
        {{"Windows 10 Enterprise LTSC 2021", "", "19044", "", "21H2", "2009"}, "32-bit",
         "Windows 10 Enterprise LTSC 2021 21H2 (32-bit)"},
        {{"Windows 7 Ultimate", "Service Pack 1", "7601", "7601", "23H2", "1909"}, "64-bit",
         "Windows 7 Ultimate Service Pack 1 (64-bit)"},  // CSDVersion comes first
        {{"Windows 10 Pro", "", "18363", "", "", "1909"}, "", "Windows 10 Pro 1909"},
        {{"Microsoft Windows XP", "Service Pack 3", "2600", "", "", ""}, "32-bit",
         "Microsoft Windows XP Service Pack 3 (32-bit)"},
        {{"Windows 8.1 Pro", "", "9600", "", "", ""}, "64-bit", "Windows 8.1 Pro (64-bit)"},  // no version
        {{"", "", "", "", "", ""}, "64-bit", "(64-bit)"},
        {{}, "", ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DescribeInstallation(row.values, row.arch), row.expected) << row.values.ProductName;
    }
}

TEST(PeHeader, MachineOnlyFromAWellFormedHeaderWithinTheBytesRead)
{
    EXPECT_EQ(ImageMachineOf(PeImage(0x014C, 0xE8)), ImageMachine::X86);
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0x100)), ImageMachine::X64);
    EXPECT_EQ(ImageMachineOf(PeImage(0xAA64, 0x40)), ImageMachine::Arm64);
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0x1FA)), ImageMachine::X64) << "the header ends with the bytes";
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0x3C)), ImageMachine::Unknown) << "e_lfanew overwritten by the signature";

    EXPECT_EQ(ImageMachineOf(PeImage(0x0200, 0x100)), ImageMachine::Unknown) << "Itanium";
    EXPECT_EQ(ImageMachineOf(PeImage(0, 0x100)), ImageMachine::Unknown);
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0x1FB)), ImageMachine::Unknown) << "Machine cut off";
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0x200)), ImageMachine::Unknown) << "past the end";
    EXPECT_EQ(ImageMachineOf(PeImage(0x8664, 0xFFFFFFFF)), ImageMachine::Unknown);

    std::string noMz = PeImage(0x8664, 0x100);
    noMz[0] = 'Z';
    std::string noPe = PeImage(0x8664, 0x100);
    noPe[0x102] = 'X';
    std::string newExe = PeImage(0x8664, 0x100);
    newExe.replace(0x100, 2, "NE");
    const std::string dosHeaderCut = PeImage(0x8664, 0x100).substr(0, 0x3F);
    for (const std::string& broken : {noMz, noPe, newExe, dosHeaderCut, std::string(), std::string("MZ")}) {
        EXPECT_EQ(ImageMachineOf(broken), ImageMachine::Unknown);
    }

    // A header further in than the bytes read: the caller reads there and asks again.
    EXPECT_EQ(PeSignatureOffset(PeImage(0x8664, 0x5000, 0x40)), 0x5000u);
    EXPECT_EQ(MachineAtSignature(std::string("PE\0\0\x64\x86", 6)), ImageMachine::X64);
    EXPECT_EQ(MachineAtSignature(std::string("PE\0\0\x64", 5)), ImageMachine::Unknown);
    EXPECT_FALSE(PeSignatureOffset(std::string(0x40, 'M')).has_value());
}

TEST(InstallationRules, ControlSetOfSelectCurrent)
{
    EXPECT_EQ(ControlSetKeyName(1), "ControlSet001");
    EXPECT_EQ(ControlSetKeyName(12), "ControlSet012");
    EXPECT_EQ(ControlSetKeyName(999), "ControlSet999");
    EXPECT_EQ(ControlSetKeyName(0), std::nullopt);
    EXPECT_EQ(ControlSetKeyName(1000), std::nullopt);
    EXPECT_EQ(ControlSetKeyName(0xFFFFFFFF), std::nullopt);
}

TEST(InstallationRules, VolumeSizesAsExplorerGivesThem)
{
    constexpr uint64_t KB = 1024, MB = KB * 1024, GB = MB * 1024, TB = GB * 1024;
    const std::pair<uint64_t, const char*> rows[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {KB, "1.0 KB"},
        {254'864'011'264ull, "237 GB"},  // the C: of a 256 GB disk
        {2'000'398'934'016ull, "1.8 TB"},  // a "2 TB" disk
        {GB * 95 / 10, "9.5 GB"},
        {GB * 10 - GB / 20 - 1, "9.9 GB"},
        {GB * 10 - GB / 20, "10 GB"},  // 9.95 GB: half up, into whole units
        {GB * 10 + GB / 2, "11 GB"},
        {GB * 10 + GB / 2 - 1, "10 GB"},
        {GB * 1023 + GB / 2 - 1, "1023 GB"},
        {GB * 1023 + GB / 2, "1.0 TB"},  // never "1024 GB"
        {TB * 1023 + TB / 2, "1.0 PB"},
        {~uint64_t{0}, "16 EB"},
    };
    for (const auto& [bytes, expected] : rows) EXPECT_EQ(VolumeSizeText(bytes, '.'), expected) << bytes;
    EXPECT_EQ(VolumeSizeText(2'000'398'934'016ull, ','), "1,8 TB");
}

TEST(InstallationRules, VolumeTextIsLabelAndSizeWhereKnown)
{
    EXPECT_EQ(VolumeText("OS", 254'864'011'264ull, '.'), "OS, 237 GB");
    EXPECT_EQ(VolumeText("", 254'864'011'264ull, '.'), "237 GB");
    EXPECT_EQ(VolumeText("Data", std::nullopt, '.'), "Data");
    EXPECT_EQ(VolumeText("", std::nullopt, '.'), "");
    EXPECT_EQ(VolumeText("Empty", 0, '.'), "Empty, 0 B");
    EXPECT_EQ(VolumeText("OS", 254'864'011'264ull, ',', "hibernated"), "OS, 237 GB, hibernated");
    EXPECT_EQ(VolumeText("", std::nullopt, '.', "hibernated"), "hibernated");
}

TEST(InstallationRules, OnlyAnImageToResumeFromCountsAsHibernated)
{
    for (const char* head : {"HIBR", "hibr", "HIBRxxxx"}) EXPECT_TRUE(IsHibernationImage(head)) << head;
    for (std::string_view head : {std::string_view("wake"), std::string_view("RSTR"), std::string_view("HIB"),
                                  std::string_view("Hibr"), std::string_view(), std::string_view("\0\0\0\0", 4)}) {
        EXPECT_FALSE(IsHibernationImage(head)) << head;
    }
}
