#include "catalogues/locked_volumes.h"

#include "catalogues/bitlocker_rules.h"
#include "common/guards.h"

#include <windows.h>

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
    if (!IsRootUnreadable(letter)) return false;
    const char device[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    UniqueFile volume(CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    if (!volume) return false;
    alignas(16) static unsigned char space[kReadSize * 2];
    auto* sector = reinterpret_cast<unsigned char*>((reinterpret_cast<UINT_PTR>(space) + kReadSize - 1) &
                                                    ~static_cast<UINT_PTR>(kReadSize - 1));
    DWORD read = 0;
    if (!ReadFile(volume.get(), sector, kReadSize, &read, nullptr)) return false;
    return IsBitLockerSector(sector, read < kSectorSize ? read : kSectorSize);
}
