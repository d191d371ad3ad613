// Finding the drivers that fit this machine in a library of INF files and loading them: the
// folders searched, the INF files read (each once while it is unchanged), the devices with a
// problem matched against them, the best driver of each loaded through drvload in a safe order.
#pragma once

#include "catalogues/devices.h"
#include "catalogues/driver_match_rules.h"

#include <functional>
#include <string>
#include <vector>

// Every .inf below folder (which ends with a backslash), as paths relative to it, in the pack's
// own order (SortDriverPaths).
std::vector<std::string> FindInfFiles(const std::string& folder);

// The library: the folder DriverFolder= names, then "Drivers" at the root of every removable
// drive, CD or DVD and of the drive that holds \sources\boot.wim (the boot medium); each folder
// once, those that exist only, each with its trailing backslash.
std::vector<std::string> DriverLibraryFolders();

// The library as one pass reads it: every INF of the folders in order, each read again only when
// its size or time changed since an earlier pass, and the index of the IDs its models list.
struct DriverLibrary {
    std::vector<LibraryInf> infs;
    std::vector<size_t> perFolder;  // INF files found in each folder
    DriverIdIndex index;
};
DriverLibrary ReadDriverLibrary(const std::vector<std::string>& folders);

// What the passes have read is read again by the next one.
void ForgetReadInfFiles();

// What became of one device that had a problem.
struct DeviceDriverOutcome {
    DeviceEntry device;
    bool found = false;       // an INF of the library fits it
    std::string id;           // the device's ID that matched
    std::string inf;          // the INF file's full path
    std::string section;      // its install section
    std::string load;         // its INF's load: "loaded", "refused", ... as the run log says; empty when not tried
    bool fixedAfter = false;  // the device works after the pass
    std::string hiddenDisksInf;  // the storage driver vendors ship, when this controller hides the disks
};

struct DriverPassResult {
    std::vector<std::string> folders;
    size_t infFiles = 0;
    std::vector<DeviceDriverOutcome> devices;  // those with a problem before the pass
    size_t loads = 0;                          // INF files given to drvload
    size_t loaded = 0;                         // of them, loaded
    bool drvloadMissing = false;
};

// One pass: reads the library, matches every device without a driver or that failed to start,
// loads the best INF of each (storage controllers first, then in the pack's order), waits for
// Plug and Play as after Load driver and reads the devices again. progress gets each INF file
// before it is loaded. The run log gets the library, each match, each load and the devices left
// without a driver. The operator's input waits meanwhile, as for Load driver.
DriverPassResult RunDriverPass(const std::vector<std::string>& folders,
                               const std::function<void(const std::string& inf)>& progress);

// True when a drive letter other than the system's (Windows PE's X:) is a fixed disk.
bool AnyFixedDiskVisible();

// The INF name of the storage driver that hides the disks, for a device without its driver that
// is an Intel VMD or RST RAID controller while no fixed disk is visible; empty otherwise.
std::string MissingStorageDriver(const DeviceEntry& device, bool fixedDiskVisible);

// A "storage" line in the run log for each device that MissingStorageDriver names.
void LogHiddenDisks(const std::vector<DeviceEntry>& devices, bool fixedDiskVisible);
