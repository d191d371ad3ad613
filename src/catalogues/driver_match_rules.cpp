#include "catalogues/driver_match_rules.h"

#include "common/text.h"

#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

namespace {

// The rank's ranges, from "How Windows ranks drivers" (learn.microsoft.com): a device's hardware
// ID matching an INF's hardware ID, then an INF's compatible ID, then the device's compatible
// IDs likewise; within a range, the ID's place in the device's list.
constexpr unsigned long kInfCompatible = 0x1000;
constexpr unsigned long kDeviceCompatible = 0x2000;
constexpr unsigned long kPlaceLimit = 0xFFF;

constexpr std::string_view kStorageClassGuids[] = {
    "{4D36E97B-E325-11CE-BFC1-08002BE10318}",  // SCSIAdapter
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}",  // HDC
};

// Intel VMD controllers by device ID: the table vmd_ids of Linux's drivers/pci/controller/vmd.c,
// which binds exactly these functions of vendor 8086 as VMD domains.
constexpr std::string_view kVmdDevices[] = {"201D", "28C0", "467F", "4C3D", "7D0B", "9A0B",
                                            "A77F", "AD0B", "B06F", "B60B"};

void AddCandidates(const std::vector<std::string>& ids, bool deviceCompatible, const DriverIdIndex& index,
                   std::vector<DriverCandidate>& found)
{
    for (size_t place = 0; place < ids.size(); ++place) {
        auto listed = index.places.find(UpperAscii(ids[place]));
        if (listed == index.places.end()) continue;
        for (const DriverIdIndex::Place& at : listed->second) {
            DriverCandidate candidate;
            candidate.inf = at.inf;
            candidate.model = at.model;
            candidate.id = ids[place];
            candidate.rank = (deviceCompatible ? kDeviceCompatible : 0) + (at.compatible ? kInfCompatible : 0) +
                             static_cast<unsigned long>(std::min<size_t>(place, kPlaceLimit));
            found.push_back(std::move(candidate));
        }
    }
}

}  // namespace

DriverIdIndex IndexDriverIds(const std::vector<LibraryInf>& library)
{
    DriverIdIndex index;
    for (size_t inf = 0; inf < library.size(); ++inf) {
        const std::vector<InfModel>& models = library[inf].driver.models;
        for (size_t model = 0; model < models.size(); ++model) {
            const std::vector<std::string>& ids = models[model].ids;
            for (size_t i = 0; i < ids.size(); ++i) {
                if (ids[i].empty()) continue;
                std::vector<DriverIdIndex::Place>& places = index.places[UpperAscii(ids[i])];
                // An ID listed twice in one model line counts once, at its better place.
                if (!places.empty() && places.back().inf == inf && places.back().model == model) continue;
                places.push_back({inf, model, i > 0});
            }
        }
    }
    return index;
}

std::vector<DriverCandidate> RankDrivers(const std::vector<std::string>& hardwareIds,
                                         const std::vector<std::string>& compatibleIds,
                                         const std::vector<LibraryInf>& library, const DriverIdIndex& index)
{
    std::vector<DriverCandidate> found;
    AddCandidates(hardwareIds, false, index, found);
    AddCandidates(compatibleIds, true, index, found);
    std::stable_sort(found.begin(), found.end(), [&](const DriverCandidate& a, const DriverCandidate& b) {
        const InfDriver& da = library[a.inf].driver;
        const InfDriver& db = library[b.inf].driver;
        // Newer first: the date and version compare the other way round.
        return std::make_tuple(a.rank, db.date, db.version, a.inf, a.model) <
               std::make_tuple(b.rank, da.date, da.version, b.inf, b.model);
    });
    // One model line may match through several of the device's IDs: its best match stands for it.
    std::vector<DriverCandidate> unique;
    std::set<std::pair<size_t, size_t>> seen;
    for (DriverCandidate& candidate : found) {
        if (seen.insert({candidate.inf, candidate.model}).second) unique.push_back(std::move(candidate));
    }
    return unique;
}

bool IsStorageDriver(const InfDriver& driver)
{
    const std::string className = UpperAscii(driver.className);
    if (className == "SCSIADAPTER" || className == "HDC") return true;
    const std::string guid = UpperAscii(driver.classGuid);
    return std::any_of(std::begin(kStorageClassGuids), std::end(kStorageClassGuids),
                       [&](std::string_view known) { return guid == known; });
}

std::vector<size_t> PlanDriverLoads(const std::vector<LibraryInf>& library, const std::vector<size_t>& bestPerDevice)
{
    std::vector<size_t> plan = bestPerDevice;
    std::sort(plan.begin(), plan.end());
    plan.erase(std::unique(plan.begin(), plan.end()), plan.end());
    plan.erase(std::remove_if(plan.begin(), plan.end(), [&](size_t inf) { return inf >= library.size(); }), plan.end());
    std::stable_partition(plan.begin(), plan.end(), [&](size_t inf) { return IsStorageDriver(library[inf].driver); });
    return plan;
}

// PCI IDs: "PCI\VEN_8086&DEV_9A0B..." for the controller, "PCI\VEN_8086&CC_0104..." for a RAID
// controller (class 01, subclass 04: "RAID bus controller" in the PCI code and ID assignments).
std::string HiddenDisksDriverName(const std::vector<std::string>& hardwareIds, const std::vector<std::string>& compatibleIds)
{
    bool intelRaid = false;
    for (const std::vector<std::string>* list : {&hardwareIds, &compatibleIds}) {
        for (const std::string& id : *list) {
            const std::string upper = UpperAscii(id);
            if (upper.rfind("PCI\\VEN_8086&DEV_", 0) == 0 && upper.size() >= 21) {
                const std::string_view device = std::string_view(upper).substr(17, 4);
                if (std::find(std::begin(kVmdDevices), std::end(kVmdDevices), device) != std::end(kVmdDevices)) {
                    return "iaStorVD.inf";
                }
            }
            if (upper.rfind("PCI\\VEN_8086&CC_0104", 0) == 0) intelRaid = true;
        }
    }
    return intelRaid ? "iaStorAC.inf / iaStorAVC.inf" : std::string();
}
