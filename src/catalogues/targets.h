// The target list: Windows installations on the fixed disks, each described by the product name
// read from its own offline SOFTWARE hive, and the no-target entry, always last.
#pragma once

#include "common/record_list.h"

#include <string>

struct TLokInfo {
    std::string Path;         // "C:\Windows": upper-case drive letter, ":\", folder name, no trailing "\"
    std::string Description;  // "ProductName CSDVersion", or the unreadable-product text
    std::string Reserved;
    bool Locked = false;      // a drive BitLocker keeps locked: Path is its root, "X:\"
};

using TTargetList = RecordList<TLokInfo>;

// Fills Shared().TargetList (which must exist and be empty) while the scan dialog
// (Shared().ScanDialogWindow) shows the drive being searched. Holding the left Shift key stops
// the scan; the no-target entry is appended in every case.
void BuildTargetList();

// Appends the installations found directly below the root of one drive (upper-case letter).
void ScanDrive(char letter);

// "ProductName CSDVersion" of the installation folder, read from its SOFTWARE hive mounted for a
// moment under HKLM\TARN_ERD; the unreadable-product text when that fails.
std::string ReadInstallationName(const std::string& path);

// True when SeRestorePrivilege, needed to mount a hive, is enabled for the process.
bool EnableRestorePrivilege();
