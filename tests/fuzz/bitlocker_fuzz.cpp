// The readings of BitLocker's outside bytes: a first sector (either kind of header), a metadata
// block, a typed recovery password and manage-bde's output. Each must stay inside its input and
// give only the forms it promises.
#include "catalogues/bitlocker_rules.h"

#include "fuzz_check.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (IsBitLockerSector(data, size)) Require(std::memcmp(data + 3, "-FVE-FS-", 8) == 0, "the mark is the signature");

    if (std::optional<unsigned long long> offset = ToGoMetadataOffset(data, size)) {
        Require(size >= 464 && !IsBitLockerSector(data, size), "a To Go header holds its offsets and no -FVE-FS- mark");
        Require(*offset != 0 && *offset % 512 == 0, "a metadata offset is a whole sector");
    }
    if (IsFveMetadataBlock(data, size)) Require(std::memcmp(data, "-FVE-FS-", 8) == 0, "a block begins with the mark");

    const std::string text = BytesAsText(data, size);
    char formatted[kRecoveryPasswordChars + 1];
    if (FormatRecoveryPassword(text.data(), text.size(), formatted)) {
        Require(std::strlen(formatted) == kRecoveryPasswordChars, "a password is eight groups and seven dashes");
        for (size_t i = 0; i < kRecoveryPasswordChars; ++i) {
            Require((i % 7 == 6) == (formatted[i] == '-'), "dashes only between the groups");
        }
        char again[kRecoveryPasswordChars + 1];
        Require(FormatRecoveryPassword(formatted, kRecoveryPasswordChars, again) &&
                    std::memcmp(again, formatted, sizeof again) == 0,
                "a formatted password reads back as itself");
    } else {
        for (char c : formatted) Require(c == '\0', "a refused password leaves nothing behind");
    }

    const std::string guid = FindFirstGuid(text);
    Require(guid.empty() || (guid.size() == 38 && guid.front() == '{' && guid.back() == '}'), "a GUID in braces");
    Require(FindFirstGuid(guid) == guid, "the GUID found is found again in itself");
    const std::vector<std::string> all = FindAllGuids(text);
    Require(all.empty() ? guid.empty() : all.front() == guid, "the first of all GUIDs is the first GUID");
    if (!guid.empty()) {
        Require(IsKeyFileOf(guid.substr(1, 36) + ".BEK", guid), "a GUID's key file is its own");
        Require(ChooseKeyFile({text}, {guid}) == (IsKeyFileOf(text, guid) ? std::optional<size_t>(0) : std::nullopt),
                "a key file is chosen only by its name");
    }
    return 0;
}
