// Which driver of a library fits which device, and in what order the chosen ones are loaded. No
// platform calls: the devices' IDs and the INF files' contents come in as plain records.
#pragma once

#include "catalogues/inf_rules.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One INF file of the library, read; path is what drvload gets. A library lists its files in the
// pack's own order (folder and file names, see SortDriverPaths).
struct LibraryInf {
    std::string path;
    InfDriver driver;
};

// Every ID the library's models list, upper case, with where it is listed.
struct DriverIdIndex {
    struct Place {
        size_t inf;       // in the library
        size_t model;     // in that INF's models
        bool compatible;  // listed after the model's hardware ID
    };
    std::unordered_map<std::string, std::vector<Place>> places;
};

DriverIdIndex IndexDriverIds(const std::vector<LibraryInf>& library);

// One driver that fits a device: the model line, the device's ID it matched, and Windows' rank
// ("How Windows ranks drivers"): the device's hardware ID before its compatible IDs, each by
// its place in the device's list, and an INF's hardware ID before a compatible one; lower wins.
struct DriverCandidate {
    size_t inf = 0;
    size_t model = 0;
    std::string id;  // the device's ID, as the device gives it
    unsigned long rank = 0;
};

// The drivers that fit a device, best first: the lowest rank, then the newer DriverVer (date,
// then version), then the earlier file of the library.
std::vector<DriverCandidate> RankDrivers(const std::vector<std::string>& hardwareIds,
                                         const std::vector<std::string>& compatibleIds,
                                         const std::vector<LibraryInf>& library, const DriverIdIndex& index);

// True for the storage controllers' setup classes, SCSIAdapter and HDC, by Class= or ClassGuid=:
// the disks behind them must be there before anything else is set up.
bool IsStorageDriver(const InfDriver& driver);

// The library's INF files to load, each once, for the best driver of each device (a device's
// entry is the library index of its best INF): storage controllers first, then the rest, each
// group in library order. The library itself is in the pack's order.
std::vector<size_t> PlanDriverLoads(const std::vector<LibraryInf>& library, const std::vector<size_t>& bestPerDevice);

// The INF name vendors ship the missing storage driver under when a device's IDs name an Intel
// VMD controller (iaStorVD.inf) or an Intel SATA controller in RAID mode (iaStorAC.inf /
// iaStorAVC.inf); empty for any other device.
std::string HiddenDisksDriverName(const std::vector<std::string>& hardwareIds, const std::vector<std::string>& compatibleIds);
