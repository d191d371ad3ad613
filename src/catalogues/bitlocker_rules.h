// What the program reads from BitLocker's side without any BitLocker code of its own: the mark of
// a locked volume in its first sector, the form of a recovery password, and the key ID in the
// text manage-bde prints.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The first sector of a volume that BitLocker encrypts carries "-FVE-FS-" at offset 3 where an
// ordinary boot sector names its file system. Once unlocked, the platform shows the decrypted
// sector instead, so the mark means "still locked" only together with an unreadable root.
bool IsBitLockerSector(const unsigned char* sector, size_t size);

// BitLocker To Go (a FAT32 or exFAT volume, most USB disks) keeps a FAT boot sector ("MSWIN4.1"
// at offset 3, as every Windows-formatted FAT volume has), so the mark above is not there; and on
// an image without BitLocker its root reads as the small "discovery volume". What tells it apart
// (libbde's documentation of the format) is BitLocker's identifier GUID at offset 424 followed (at 440) by
// three 64-bit offsets of its FVE metadata blocks. The first offset, when the sector is such a
// header and the offset is a plausible one (non-zero, sector-aligned, inside the 32-bit-sector
// range FAT can address); none otherwise.
std::optional<unsigned long long> ToGoMetadataOffset(const unsigned char* sector, size_t size);
// Each FVE metadata block begins with "-FVE-FS-"; a plain FAT volume that happens to carry the
// GUID has none at the offset it names.
bool IsFveMetadataBlock(const unsigned char* block, size_t size);

// A recovery password is 48 digits in eight groups of six; each group is a multiple of 11 below
// 720,896. The typed text may carry the dashes between the groups or none at all, and blanks
// around it. On success `formatted` receives the eight groups joined by dashes and a terminating
// zero (kRecoveryPasswordChars + 1 bytes); on failure it is left zeroed. Works on the caller's
// buffers only, so the caller decides where the secret lives and wipes it.
constexpr size_t kRecoveryPasswordChars = 55;
bool FormatRecoveryPassword(const char* typed, size_t length, char* formatted);

// The first brace-enclosed GUID, "{8-4-4-4-12 hex digits}", in manage-bde's output, which may be
// 8-bit text or UTF-16 (little-endian, with or without its byte-order mark); empty when none.
std::string FindFirstGuid(const std::string& output);

// A recovery key saved as a file: BitLocker names it after its protector's ID, "<ID>.BEK" (the
// GUID without its braces; any letter case). True when the file name (no folder) is the key file
// of the protector whose ID manage-bde printed ("{GUID}"); braces around the name's GUID are
// accepted as well, as a copy renamed by hand may carry them.
bool IsKeyFileOf(const std::string& fileName, const std::string& keyId);

// Of the .BEK files found, the one that belongs to the drive: the first whose name matches one of
// its key IDs (a drive may hold several external keys). None when no name matches, whatever else
// was found: a key file of another drive is never offered.
std::optional<size_t> ChooseKeyFile(const std::vector<std::string>& fileNames, const std::vector<std::string>& keyIds);

// Every brace-enclosed GUID in manage-bde's output, in order (8-bit or UTF-16, as FindFirstGuid).
std::vector<std::string> FindAllGuids(const std::string& output);
