#include "catalogues/bitlocker_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace {

const std::string kValid = "466895-217492-569250-069608-104434-135707-527241-083622";

std::string Formatted(const std::string& typed)
{
    char out[kRecoveryPasswordChars + 1];
    std::memset(out, 'x', sizeof out);
    bool ok = FormatRecoveryPassword(typed.data(), typed.size(), out);
    EXPECT_EQ(ok, out[0] != '\0') << typed;
    return ok ? std::string(out) : std::string("<refused>");
}

std::string Undashed(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    return text;
}

std::string Utf16(const std::string& text, bool mark)
{
    std::string wide = mark ? "\xFF\xFE" : "";
    for (char c : text) wide += std::string{c, '\0'};
    return wide;
}

}  // namespace

TEST(BitLockerRules, SectorMarkIsTheSignatureAtOffsetThree)
{
    std::string sector(512, '\0');
    sector.replace(3, 8, "-FVE-FS-");
    auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    EXPECT_TRUE(IsBitLockerSector(bytes(sector), sector.size()));
    EXPECT_TRUE(IsBitLockerSector(bytes(sector), 11));
    EXPECT_FALSE(IsBitLockerSector(bytes(sector), 10)) << "cut inside the signature";
    EXPECT_FALSE(IsBitLockerSector(bytes("\xEB\x52\x90NTFS    "), 11));
    EXPECT_FALSE(IsBitLockerSector(bytes("\xEB\x52-FVE-FS-"), 10)) << "one byte early";
    EXPECT_FALSE(IsBitLockerSector(nullptr, 0));
}

// BitLocker To Go keeps a FAT boot sector; the identifier at 424 and a sane first metadata offset
// make the header, and only a metadata block at that offset confirms it.
TEST(BitLockerRules, ToGoHeaderIsTheIdentifierAndAPlausibleMetadataOffset)
{
    const std::string guid = "\x3b\xd6\x67\x49\x29\x2e\xd8\x4a\x83\x99\xf6\xa3\x39\xe3\xd0\x01";
    const std::string usedSpaceGuid = "\x3b\x4d\xa8\x92\x80\xdd\x0e\x4d\x9e\x4e\xb1\xe3\x28\x4e\xae\xd8";
    auto header = [](const std::string& identifier, uint64_t offset) {
        std::string sector(512, '\0');
        sector.replace(0, 11, "\xEB\x58\x90MSWIN4.1");
        sector.replace(424, 16, identifier);
        for (int i = 0; i < 8; ++i) sector[440 + i] = static_cast<char>(offset >> (8 * i));
        sector.replace(510, 2, "\x55\xAA");
        return sector;
    };
    auto offset = [](const std::string& s, size_t size) {
        return ToGoMetadataOffset(reinterpret_cast<const unsigned char*>(s.data()), size);
    };
    const struct {
        const char* label;
        std::string sector;
        size_t size;
        std::optional<unsigned long long> expected;
    } rows[] = {
        {"To Go header", header(guid, 0x2000), 512, 0x2000},
        {"used space only", header(usedSpaceGuid, 0x2000), 512, 0x2000},
        {"cut before the offset ends", header(guid, 0x2000), 463, std::nullopt},
        {"plain FAT32 sector", header(std::string(16, '\0'), 0x2000), 512, std::nullopt},
        {"one GUID byte off", header(guid.substr(0, 15) + '\x02', 0x2000), 512, std::nullopt},
        {"offset zero", header(guid, 0), 512, std::nullopt},
        {"offset not sector-aligned", header(guid, 0x2001), 512, std::nullopt},
        {"offset beyond what FAT addresses", header(guid, 0xFFFFFFFFull * 512 + 512), 512, std::nullopt},
        {"an -FVE-FS- sector is the other kind", header(guid, 0x2000).replace(3, 8, "-FVE-FS-"), 512, std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(offset(row.sector, row.size), row.expected) << row.label;
    EXPECT_FALSE(ToGoMetadataOffset(nullptr, 512));

    auto block = [](const std::string& s) {
        return IsFveMetadataBlock(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    };
    EXPECT_TRUE(block(std::string("-FVE-FS-") + std::string(56, '\0')));
    EXPECT_FALSE(block("-FVE-FS")) << "cut";
    EXPECT_FALSE(block(std::string(64, '\0'))) << "FAT data where the block should be";
}

TEST(BitLockerRules, RecoveryPasswordTakesEightGroupsOfMultiplesOfElevenBelowTheLimit)
{
    EXPECT_EQ(Formatted(kValid), kValid);
    EXPECT_EQ(Formatted(Undashed(kValid)), kValid) << "without the dashes";
    EXPECT_EQ(Formatted("  " + kValid + "\r\n"), kValid) << "blanks around it, as pasted";
    EXPECT_EQ(Formatted("720885" + kValid.substr(6)), "720885" + kValid.substr(6)) << "the largest group";

    std::string notMultiple = kValid;
    notMultiple[5] = '3';  // 466893
    std::string atLimit = "720896" + kValid.substr(6);
    std::string letters = kValid;
    letters[20] = 'O';
    std::string misplacedDash = Undashed(kValid).substr(0, 5) + "-" + Undashed(kValid).substr(5, 43) + "-----";
    for (const std::string& bad :
         {notMultiple, atLimit, Undashed(kValid).substr(1), kValid.substr(0, 54), Undashed(kValid) + "0",
          letters, misplacedDash, kValid.substr(0, 6) + " " + kValid.substr(7), std::string(), std::string("-")}) {
        EXPECT_EQ(Formatted(bad), "<refused>") << bad;
    }
}

TEST(BitLockerRules, KeyIdIsTheFirstGuidOfEightBitOrUtf16Output)
{
    const std::string output =
        "BitLocker Drive Encryption: Configuration Tool version 10.0.22621\r\n\r\nVolume L: []\r\n"
        "All Key Protectors\r\n\r\n    Numerical Password:\r\n      ID: {4E1F3A2B-9C8D-4E7F-A6B5-1C2D3E4F5A6B}\r\n"
        "      Password:\r\n        (hidden)\r\n    Numerical Password:\r\n"
        "      ID: {00000000-1111-2222-3333-444444444444}\r\n";
    const std::string first = "{4E1F3A2B-9C8D-4E7F-A6B5-1C2D3E4F5A6B}";
    EXPECT_EQ(FindFirstGuid(output), first);
    EXPECT_EQ(FindFirstGuid(Utf16(output, true)), first);
    EXPECT_EQ(FindFirstGuid(Utf16(output, false)), first);
    EXPECT_EQ(FindFirstGuid("ID: {4E1F3A2B-9C8D-4E7F-A6B5-1C2D3E4F5A6}} {x} " + first), first)
        << "a brace that opens no GUID is passed over";
    EXPECT_EQ(FindFirstGuid("ERROR: No key protectors found.\r\n"), "");
    EXPECT_EQ(FindFirstGuid(Utf16("ERROR: An error occurred (code 0x80070005)", true)), "");
    EXPECT_EQ(FindFirstGuid("{4E1F3A2B-9C8D-4E7F-A6B5-1C2D3E4F5A6B"), "") << "cut before the brace";
}

TEST(BitLockerRules, KeyFileIsChosenByTheDrivesKeyIdOnly)
{
    const std::string id = "{6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C}";
    const std::string other = "{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";
    struct Case {
        const char* name;
        bool matches;
    } cases[] = {
        {"6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.BEK", true},
        {"6f1d2c3b-4a59-4e8f-9d7c-0b1a2f3e4d5c.bek", true},
        {"{6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C}.BEK", true},
        {"6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.TXT", false},
        {"6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C", false},
        {"6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5.BEK", false},
        {"x6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.BEK", false},
        {".BEK", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsKeyFileOf(c.name, id), c.matches) << c.name;
    EXPECT_FALSE(IsKeyFileOf("6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.BEK", "")) << "no key ID, no match";
    EXPECT_FALSE(IsKeyFileOf("not-a-guid.BEK", "{not-a-guid}"));

    const std::vector<std::string> found = {"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D.BEK",
                                            "6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C.BEK"};
    EXPECT_EQ(ChooseKeyFile(found, {id}), std::optional<size_t>(1)) << "the one whose ID matches";
    EXPECT_EQ(ChooseKeyFile(found, {"{11111111-2222-4333-8444-555555555555}", other}), std::optional<size_t>(0))
        << "any of the drive's external keys";
    EXPECT_EQ(ChooseKeyFile({found[0]}, {id}), std::nullopt) << "another drive's file is never offered";
    EXPECT_EQ(ChooseKeyFile({}, {id}), std::nullopt);
    EXPECT_EQ(ChooseKeyFile(found, {}), std::nullopt);

    EXPECT_EQ(FindAllGuids("External Key:\r\n  ID: " + other + "\r\nExternal Key:\r\n  ID: " + id + "\r\n"),
              (std::vector<std::string>{other, id}));
    EXPECT_TRUE(FindAllGuids("ERROR: No key protectors found.").empty());
}
