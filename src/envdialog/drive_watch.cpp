#include "envdialog/drive_watch.h"

#include "common/run_log.h"

#include <dbt.h>

#include <string>

namespace {

constexpr UINT_PTR kDrivesTimer = 2;
constexpr UINT kDrivesSettleMs = 1000;  // a disk with several volumes announces each one
constexpr UINT_PTR kLettersTimer = 3;
constexpr UINT kLettersPollMs = 2000;

// "C:,R:" for a mask of drive letters.
std::string DriveNames(DWORD units)
{
    std::string drives;
    for (int bit = 0; bit < 26; ++bit) {
        if (units & (1u << bit)) drives += std::string(drives.empty() ? "" : ",") + static_cast<char>('A' + bit) + ":";
    }
    return drives;
}

// The broadcast may never arrive for a volume (one that Plug and Play sets up long after a
// driver was loaded by hand, one that arrived while the scan dialog stood in for this one), but
// the drive letters in use change, and they are cheap to read.
void CompareDriveLetters(HWND dialog, DriveWatch& watch)
{
    DWORD letters = GetLogicalDrives();
    if (letters == 0 || letters == watch.Letters) return;  // 0: the call failed, which tells nothing
    LogEvent("drives", {{"event", "letters-changed"}, {"drives", DriveNames(letters)},
                        {"before", DriveNames(watch.Letters)}});
    watch.Letters = letters;
    SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
}

}  // namespace

void StartDriveWatch(HWND dialog) { SetTimer(dialog, kLettersTimer, kLettersPollMs, nullptr); }

void StopDriveWatch(HWND dialog)
{
    KillTimer(dialog, kDrivesTimer);
    KillTimer(dialog, kLettersTimer);
}

bool OnDeviceChange(HWND dialog, WPARAM event, LPARAM data)
{
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (!header || header->dbch_devicetype != DBT_DEVTYP_VOLUME) return false;
    DWORD units = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header)->dbcv_unitmask;
    LogEvent("drives", {{"event", event == DBT_DEVICEARRIVAL ? "arrived" : "removed"}, {"drives", DriveNames(units)}});
    SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
    return true;
}

bool OnDriveWatchTimer(HWND dialog, UINT_PTR timer, DriveWatch& watch)
{
    if (timer == kLettersTimer) CompareDriveLetters(dialog, watch);
    if (timer != kDrivesTimer) return false;
    KillTimer(dialog, kDrivesTimer);
    // Not while a box or a prompt of this dialog is open: the pass waits until it has gone.
    if (!IsWindowEnabled(dialog)) {
        SetTimer(dialog, kDrivesTimer, kDrivesSettleMs, nullptr);
        return false;
    }
    return true;
}
