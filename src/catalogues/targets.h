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
    std::string Volume;       // its drive's label and size, "OS, 237 GB"; empty when neither is known
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
// from its SOFTWARE hive, mounted for a moment under HKLM\TARN_ERD, and its processor from the
// header of system32\ntoskrnl.exe; the unreadable-product text alone when the hive cannot be read.
// A description read once is remembered for the rest of the run and given again, without
// mounting, while the hive and the kernel keep their size and last-write time: on Windows 10
// and later a SOFTWARE hive of 50 to 150 MB is read and checked at every mount.
std::string ReadInstallationName(const std::string& path);

// The installation's own time zone, read from its SYSTEM hive (system32\config\system, mounted
// for a moment under HKLM\TARN_ERD_SYSTEM): the control set that Select\Current names, its
// Control\TimeZoneInformation. Remembered like the description while the hive keeps its stamp.
struct InstallationZone {
    std::string KeyName;           // TimeZoneKeyName
    std::string StandardName;      // StandardName, unless it is a resource reference ("@tzres.dll,-112")
    bool ClockIsUniversal = false;  // RealTimeIsUniversal: the hardware clock holds UTC
};
InstallationZone ReadInstallationZone(const std::string& path);

// Forgets every remembered description and zone, so that the next pass reads every hive again.
void ForgetInstallationNames();

// True when SeRestorePrivilege, needed to mount a hive, is enabled for the process; SeBackupPrivilege,
// which the mount asks for as well, is enabled beside it where the token has it. Asked of the
// token once per pass, at the pass's first mount, and the answer given to every later mount of the
// pass; a privilege refused is logged then.
bool EnableRestorePrivilege();

// Starts a pass of mounts (BuildTargetList does): the next mount asks the token again.
void StartHivePass();
