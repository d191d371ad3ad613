// Drive letters and offline hives made by tests under Wine.
#pragma once

#include "support/test_support.h"
#include "support/wine_mount.h"

#include <map>
#include <string>
#include <utility>


// The Unix path of a Windows path, or empty text when Wine cannot tell.
std::string UnixPathOf(const std::string& path);

// A drive letter onto a fresh case folder for the length of one test.
class TestDrive {
public:
    TestDrive(char letter, UINT type);
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;
    bool Ok() const { return ok_; }
    std::string Root() const { return std::string(1, letter_) + ":\\"; }
    const std::string& UnixPath() const { return unixPath_; }
    // Folders folder0 to folder<count - 1> in the root, a drive as full as any, made by a Unix
    // shell: Wine reads the whole folder for each new name (10,000 CreateDirectoryA calls take
    // about 13 s). True once the last one is there.
    bool FillWithFolders(int count);
    // Empties the root at once: a Unix shell swaps in a fresh folder and deletes the old one in
    // the background (deleting 100,000 folders took up to a minute here, even from Unix).
    bool Empty();

private:
    bool RunUnixShell(const std::string& command) const;

    CaseFolder folder_;
    char letter_;
    std::string unixPath_;
    bool ok_ = false;
};

// A fixed drive as Windows PE sees one that BitLocker keeps locked: its root lists nothing, and
// \\.\X: reads a 1 MB volume whose first sector carries BitLocker's mark. Contents() is the
// folder behind the root, where a stand-in "unlock" can put files. With toGo, the volume is a
// BitLocker To Go one: a FAT boot sector pointing at a metadata block, and a readable root.
class LockedTestDrive {
public:
    explicit LockedTestDrive(char letter, bool toGo = false);
    ~LockedTestDrive();
    LockedTestDrive(const LockedTestDrive&) = delete;
    LockedTestDrive& operator=(const LockedTestDrive&) = delete;
    bool Ok() const { return ok_; }
    std::string Contents() const { return folder_.Path() + "contents"; }

private:
    CaseFolder folder_;
    char letter_;
    bool ok_ = false;
};

// Creates the folder and any missing parents.
void CreateFolders(const std::string& path);

// A value for a test hive: text types as the ANSI registry calls take them, stored in UTF-16 as
// RegSetValueExA would store them, unless Wide says the bytes are stored as they are.
struct HiveData {
    DWORD Type = REG_NONE;
    std::string Bytes;
    bool Wide = false;
};
using HiveValues = std::map<std::string, HiveData>;
HiveData Sz(const std::string& text);
HiveData Dword(uint32_t value);

// The hive file holding keys (a path below the hive's root -> its values) in the file format
// Windows keeps hives in, written by hivex (support/make_hive.py, run by the system Python);
// dirty gives it unequal sequence numbers, as a hive whose .LOG files hold changes has.
void MakeHive(const std::string& file, const std::map<std::string, HiveValues>& keys, bool dirty = false);

// folder\system32\config\software as a hive whose CurrentVersion key (by default the one of
// Windows NT) holds the given values.
void MakeInstallation(const std::string& folder, const HiveValues& values,
                      const std::string& versionKey = "Microsoft\\Windows NT\\CurrentVersion");

// folder\system32\config\system as a hive whose Select\Current is current (nothing when 0)
// and whose ControlSet<zoneSet>\Control\TimeZoneInformation holds the given values.
void MakeSystemHive(const std::string& folder, uint32_t current, const HiveValues& zoneValues, uint32_t zoneSet = 1);
