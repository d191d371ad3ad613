// The target list: Windows installations on the fixed disks, each described by the product name
// read from its own offline SOFTWARE hive, and the no-target entry, always last.
#pragma once

#include "common/record_list.h"

#include <functional>
#include <string>

struct TLokInfo {
    std::string Path;         // "C:\Windows": upper-case drive letter, ":\", folder name, no trailing "\"
    std::string Description;  // "Windows 11 Pro 23H2 (64-bit)", or the unreadable-product text
    std::string Reserved;
    bool Locked = false;      // a drive BitLocker keeps locked: Path is its root, "X:\"
    std::string Volume;       // its drive's label and size, "OS, 237 GB", and ", hibernated" when the volume
                              // holds a hibernation image; empty when none of them is known
    // The installation's own time zone, from its SYSTEM hive: the key name under Time Zones
    // (Windows Vista and later) and the plain standard name (Windows XP); empty when unknown.
    std::string TimeZoneKey;
    std::string TimeZoneName;
};

using TTargetList = RecordList<TLokInfo>;

// The no-target entry is always the list's last, and it is known by that position alone: its
// index, which every installation's is below; -1 for an empty list (no built list is empty).
long long NoTargetIndex(const TTargetList& list);

// Told the text to show for each drive as its search begins ("Searching c:\").
using ScanProgress = std::function<void(const std::string& text)>;

// Fills the list, which the caller has made empty, and reports each drive searched through
// progress (which may be empty). Holding the left Shift key stops the scan; the no-target entry
// is appended in every case. The thread's messages are handled between drives and between the
// folders of a drive, so the keyboard hook keeps working.
void BuildTargetList(TTargetList& list, const ScanProgress& progress);

// Appends the installations found directly below the root of one drive (upper-case letter).
void ScanDrive(TTargetList& list, char letter);

// The description of the installation folder (see DescribeInstallation): its name and version
// from its SOFTWARE hive, read in place (see offline_hive.h), and its processor from the header
// of system32\ntoskrnl.exe; the unreadable-product text alone when the hive cannot be read.
// What was read of a file is remembered for the rest of the run and given again, without reading
// the file, while it keeps its size and last-write time.
std::string ReadInstallationName(const std::string& path);

// Forgets everything remembered of installations' files, so that the next pass reads every one again.
void ForgetInstallationNames();
