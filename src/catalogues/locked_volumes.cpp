#include "catalogues/locked_volumes.h"

#include "catalogues/bitlocker_rules.h"
#include "common/guards.h"

#include <windows.h>

#include <optional>

namespace {

// Reads on a volume handle must be whole sectors into a sector-aligned buffer. 4096 bytes is a
// whole number of sectors for 512-byte and 4K disks alike, and the buffer is aligned to it.
constexpr DWORD kReadSize = 4096;
constexpr DWORD kSectorSize = 512;

bool IsRootUnreadable(char letter)
{
    const char pattern[] = {letter, ':', '\\', '*', '\0'};
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA(pattern, &entry));
    return !find;
}

}  // namespace

bool IsLockedVolume(char letter)
{
    const char device[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    UniqueFile volume(CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    if (!volume) return false;
    alignas(16) static unsigned char space[kReadSize * 2];
    auto* sector = reinterpret_cast<unsigned char*>((reinterpret_cast<UINT_PTR>(space) + kReadSize - 1) &
                                                    ~static_cast<UINT_PTR>(kReadSize - 1));
    DWORD read = 0;
    if (!ReadFile(volume.get(), sector, kReadSize, &read, nullptr)) return false;
    const DWORD first = read < kSectorSize ? read : kSectorSize;
    // Once unlocked, the platform shows the decrypted sector instead, so the mark means "still
    // locked" only together with an unreadable root.
    if (IsBitLockerSector(sector, first)) return IsRootUnreadable(letter);

    // BitLocker To Go: locked whatever its root shows (the discovery volume where the image has
    // no BitLocker). Only a metadata block where the header says confirms it, so a plain FAT
    // volume with a stray GUID there is never taken for one.
    const std::optional<unsigned long long> metadata = ToGoMetadataOffset(sector, first);
    if (!metadata) return false;
    // Reads stay whole aligned blocks: the block holding the offset, read from its start.
    const unsigned long long base = *metadata & ~static_cast<unsigned long long>(kReadSize - 1);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(base);
    if (!SetFilePointerEx(volume.get(), at, nullptr, FILE_BEGIN)) return false;
    if (!ReadFile(volume.get(), sector, kReadSize, &read, nullptr)) return false;
    const size_t within = static_cast<size_t>(*metadata - base);
    return within < read && IsFveMetadataBlock(sector + within, read - within);
}
