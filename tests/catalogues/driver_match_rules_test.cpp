#include "catalogues/driver_match_rules.h"

#include <gtest/gtest.h>

namespace {

const InfPlatform kAmd64{"amd64", 10, 0, 19045};
const InfPlatform kX86{"x86", 10, 0, 19045};

// A vendor INF as they come: decorated models for two processors and two Windows versions, a
// continued line, comments, quoted values with commas and escaped percent signs.
const char* const kStorageInf =
    "; Copyright line\r\n"
    "[version]\r\n"
    "Signature=\"$WINDOWS NT$\"\r\n"
    "Class=SCSIAdapter ; storage\r\n"
    "ClassGUID={4d36e97b-e325-11ce-bfc1-08002be10318}\r\n"
    "DriverVer=07/15/2024,19.5.1.1040\r\n"
    "[Manufacturer]\r\n"
    "%INTEL% = INTEL, NTamd64.10.0...16299, NTamd64.10.0...99999, NTarm64\r\n"
    "[INTEL.NTamd64.10.0...16299]\r\n"
    "%VMD_DESC% = iaStorVD_Inst, PCI\\VEN_8086&DEV_9A0B&CC_0104, \\\r\n"
    "    PCI\\VEN_8086&CC_0104\r\n"
    "\"Quoted; not a comment\" = Other_Inst, \"PCI\\VEN_8086&DEV_1234\"\r\n"
    "[INTEL.NTamd64.10.0...99999]\r\n"
    "Future = Future_Inst, PCI\\VEN_8086&DEV_FFFF\r\n"
    "[intel.ntarm64]\r\n"
    "Arm = Arm_Inst, PCI\\VEN_8086&DEV_AAAA\r\n"
    "[Strings]\r\n"
    "INTEL = \"Intel Corporation\"\r\n"
    "VMD_DESC = \"Intel RST VMD Controller, 100%% sure\"\r\n";

std::string Utf16(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

LibraryInf Inf(const std::string& path, const std::string& text, const InfPlatform& platform = kAmd64)
{
    return {path, ReadInfDriver(text, platform)};
}

}  // namespace

TEST(InfRules, ReadsTheModelsWindowsWouldReadForThisProcessorAndVersion)
{
    for (const std::string& bytes : {std::string(kStorageInf), Utf16(kStorageInf), "\xEF\xBB\xBF" + std::string(kStorageInf)}) {
        InfDriver driver = ReadInfDriver(bytes, kAmd64);
        EXPECT_EQ(driver.className, "SCSIAdapter");
        EXPECT_EQ(driver.date, 20240715u);
        EXPECT_EQ(driver.version, (19ull << 48) | (5ull << 32) | (1ull << 16) | 1040u);
        ASSERT_EQ(driver.models.size(), 2u) << "the build 99999 section is above this Windows";
        EXPECT_EQ(driver.models[0].description, "Intel RST VMD Controller, 100% sure");
        EXPECT_EQ(driver.models[0].installSection, "iaStorVD_Inst");
        EXPECT_EQ(driver.models[0].ids, (std::vector<std::string>{"PCI\\VEN_8086&DEV_9A0B&CC_0104", "PCI\\VEN_8086&CC_0104"}));
        EXPECT_EQ(driver.models[1].description, "Quoted; not a comment");
        EXPECT_EQ(driver.models[1].ids, std::vector<std::string>{"PCI\\VEN_8086&DEV_1234"});
    }
    EXPECT_EQ(ReadInfDriver(kStorageInf, {"arm64", 10, 0, 19045}).models.at(0).installSection, "Arm_Inst");
    EXPECT_TRUE(ReadInfDriver(kStorageInf, kX86).models.empty()) << "no x86 section, and the undecorated one is missing";
    EXPECT_TRUE(ReadInfDriver(kStorageInf, {"amd64", 6, 3, 9600}).models.empty()) << "made for Windows 10 only";
}

TEST(InfRules, ChoosesTheModelsSectionAsWindowsDoes)
{
    struct Case {
        std::vector<std::string> fields;
        InfPlatform platform;
        std::string section;
    };
    const Case cases[] = {
        {{"Mfg"}, kX86, "Mfg"},
        {{"Mfg"}, kAmd64, ""},  // non-x86 sections must be decorated
        {{"Mfg", "NT"}, kX86, "Mfg.NT"},
        {{"Mfg", "NT"}, kAmd64, ""},
        {{"Mfg", "NTx86", "NTamd64"}, kAmd64, "Mfg.NTamd64"},
        {{"Mfg", "ntAMD64.6.1", "NTamd64.10.0"}, kAmd64, "Mfg.NTamd64.10.0"},
        {{"Mfg", "NTamd64.10.0...22000"}, kAmd64, ""},  // Windows 11 only
        {{"Mfg", "NTamd64.10.0...22000", "NTamd64"}, kAmd64, "Mfg.NTamd64"},
        {{"Mfg", "NTamd64.10.0...4294983595"}, kAmd64, ""},  // too large for a build: no wrap to 16299
        {{"Mfg", "NTamd64.10.0.3"}, kAmd64, ""},  // a server's product type
        {{"Mfg", "NTx86.5.1"}, kX86, "Mfg.NTx86.5.1"},
        {{"Mfg", "NTarm64"}, kX86, "Mfg"},  // x86 falls back to the undecorated section
        {{"", "NTamd64"}, kAmd64, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseModelsSection(c.fields, c.platform), c.section) << c.fields.back() << " on " << c.platform.architecture;
    }
}

TEST(InfRules, MergesDuplicateSectionsAndKeepsUnknownTokensAndOddDates)
{
    const char* text = "[MANUFACTURER]\nA=Models\n[Models]\n%Missing%=One,ACPI\\PNP0303\n[version]\nDriverVer = 13/40/2024\n"
                       "[models]\nTwo = Two_Inst, , *PNP0303\n[Manufacturer]\nA=Models\n";
    InfDriver driver = ReadInfDriver(text, kX86);
    EXPECT_EQ(driver.date, 0u);
    ASSERT_EQ(driver.models.size(), 2u) << "one models section, read once though named twice";
    EXPECT_EQ(driver.models[0].description, "%Missing%");
    EXPECT_EQ(driver.models[1].ids, (std::vector<std::string>{"", "*PNP0303"}));
    EXPECT_EQ(InfVersion("1.2"), (1ull << 48) | (2ull << 32));
    EXPECT_EQ(InfDate("1/2/2003"), 20030102u);
    EXPECT_TRUE(ReadInfDriver(std::string("\xFF\xFE[", 3), kX86).models.empty()) << "an odd byte at the end";
    const InfDriver percent = ReadInfDriver("[Manufacturer]\nA=M\n[M]\n%D%=I,X\n[Strings]\nD=\"100%% %%%%\"\n", kX86);
    ASSERT_EQ(percent.models.size(), 1u);
    EXPECT_EQ(percent.models[0].description, "100% %%");
}

TEST(DriverMatchRules, RanksLikeWindowsAndLoadsStorageFirstInPackOrder)
{
    const std::string vmdOld = std::string(kStorageInf);
    std::string vmdNew = vmdOld;
    vmdNew.replace(vmdNew.find("07/15/2024"), 10, "01/10/2025");
    const std::vector<LibraryInf> library = {
        Inf("a\\audio.inf", "[Version]\nClass=MEDIA\n[Manufacturer]\nM=M,NTamd64\n[M.NTamd64]\nA=I,HDAUDIO\\FUNC_01&VEN_10EC\n"),
        Inf("b\\iaStorVD-old.inf", vmdOld),
        Inf("c\\iaStorVD.inf", vmdNew),
        Inf("d\\generic.inf", "[Version]\nClass=System\n[Manufacturer]\nM=M,NTamd64\n[M.NTamd64]\n"
                              "G=I,PCI\\CC_0104\nH=I,ACME\\X,PCI\\VEN_8086&DEV_9A0B&CC_0104\n"),
    };
    const DriverIdIndex index = IndexDriverIds(library);
    const std::vector<std::string> hardware = {"PCI\\VEN_8086&DEV_9A0B&SUBSYS_00000000&REV_00", "pci\\ven_8086&dev_9a0b&cc_0104"};
    const std::vector<std::string> compatible = {"PCI\\VEN_8086&CC_0104", "PCI\\CC_0104"};
    std::vector<DriverCandidate> ranked = RankDrivers(hardware, compatible, library, index);
    std::vector<std::pair<size_t, unsigned long>> got;
    for (const DriverCandidate& c : ranked) got.emplace_back(c.inf, c.rank);
    EXPECT_EQ(got, (std::vector<std::pair<size_t, unsigned long>>{{2, 0x0001}, {1, 0x0001}, {3, 0x1001}, {3, 0x2001}}))
        << "newer DriverVer first, an INF's compatible ID after, the device's compatible IDs last; one model line once";
    EXPECT_EQ(ranked[0].id, "pci\\ven_8086&dev_9a0b&cc_0104");
    EXPECT_TRUE(RankDrivers({"USB\\VID_0000"}, {}, library, index).empty());

    EXPECT_EQ(PlanDriverLoads(library, {0, 2, 3, 2, 1}), (std::vector<size_t>{1, 2, 0, 3}));
    EXPECT_TRUE(IsStorageDriver(ReadInfDriver("[Version]\nClassGuid={4D36E96A-E325-11CE-BFC1-08002BE10318}\n", kX86)));
}

TEST(DriverMatchRules, NamesTheStorageDriverThatHidesTheDisks)
{
    EXPECT_EQ(HiddenDisksDriverName({"PCI\\VEN_8086&DEV_A77F&SUBSYS_0A7F1028&REV_00"}, {"PCI\\VEN_8086&CC_010400"}), "iaStorVD.inf");
    EXPECT_EQ(HiddenDisksDriverName({"PCI\\VEN_8086&DEV_282A&SUBSYS_07A81028"}, {"PCI\\VEN_8086&CC_010400", "PCI\\CC_0104"}),
              "iaStorAC.inf / iaStorAVC.inf");
    EXPECT_EQ(HiddenDisksDriverName({"PCI\\VEN_8086&DEV_43D3"}, {"PCI\\VEN_8086&CC_010601"}), "") << "AHCI works in Windows PE";
    EXPECT_EQ(HiddenDisksDriverName({"PCI\\VEN_1022&DEV_7905"}, {"PCI\\CC_0104"}), "") << "not Intel";
}
