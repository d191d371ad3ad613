#include "catalogues/driver_library.h"

#include "catalogues/driver_match_rules.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/run_log.h"
#include "common/text.h"
#include "session/message_pump.h"
#include "session/pe_rules.h"
#include "session/pe_tools.h"

#include <windows.h>

#include <algorithm>
#include <unordered_map>

namespace {

// No real INF comes near this; a larger file is not a driver's.
constexpr size_t kInfLimit = 16 * 1024 * 1024;

struct FoundInf {
    std::string relative;
    FileStamp stamp;
};

// What was read of each INF, by its full path in upper case: a pass reads again only the files
// whose size or time changed. Touched only by the pass's reading step.
struct CachedInf {
    FileStamp stamp;
    InfDriver driver;
};
std::unordered_map<std::string, CachedInf> g_read;

bool IsInfName(const std::string& name)
{
    return name.size() > 4 && UpperAscii(name.substr(name.size() - 4)) == ".INF";
}

// The names are matched here rather than by a "*.inf" pattern, which also matches by the short
// name ("x.infx" is X~1.INF).
void CollectInfFiles(const std::string& folder, const std::string& relative, std::vector<FoundInf>& found)
{
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((folder + relative + "*").c_str(), &entry));
    if (!find) return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A junction may lead back up the tree.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                CollectInfFiles(folder, relative + name + "\\", found);
            }
        } else if (IsInfName(name)) {
            FileStamp stamp;
            stamp.Size = (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            stamp.LastWrite = (static_cast<unsigned long long>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                              entry.ftLastWriteTime.dwLowDateTime;
            found.push_back({relative + name, stamp});
        }
    } while (FindNextFileA(find.get(), &entry));
}

std::vector<FoundInf> FindSortedInfFiles(const std::string& folder)
{
    std::vector<FoundInf> found;
    CollectInfFiles(folder, std::string(), found);
    std::stable_sort(found.begin(), found.end(),
                     [](const FoundInf& a, const FoundInf& b) { return DriverPathLess(a.relative, b.relative); });
    return found;
}

const char* ProgramArchitecture()
{
#if defined(__aarch64__) || defined(_M_ARM64)
    return "arm64";
#elif defined(__x86_64__) || defined(_M_X64)
    return "amd64";
#else
    return "x86";
#endif
}

// The running Windows' own version: RtlGetVersion tells it whatever the manifest declares.
InfPlatform RunningPlatform()
{
    InfPlatform platform;
    platform.architecture = ProgramArchitecture();
    using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    auto get = reinterpret_cast<GetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (get && get(&version) == 0) {
        platform.major = version.dwMajorVersion;
        platform.minor = version.dwMinorVersion;
        platform.build = version.dwBuildNumber;
        platform.productType = version.wProductType;
    }
    return platform;
}

std::vector<LibraryInf> ReadLibraryFiles(const std::vector<std::string>& folders, std::vector<size_t>& perFolder)
{
    const InfPlatform platform = RunningPlatform();
    std::vector<LibraryInf> library;
    // Only the files of this pass are remembered: those of a stick pulled since are let go.
    std::unordered_map<std::string, CachedInf> seen;
    for (const std::string& folder : folders) {
        const std::vector<FoundInf> found = FindSortedInfFiles(folder);
        perFolder.push_back(found.size());
        for (const FoundInf& file : found) {
            const std::string path = folder + file.relative;
            const std::string key = UpperAscii(path);
            auto [slot, fresh] = seen.try_emplace(key);
            CachedInf& cached = slot->second;
            auto earlier = fresh ? g_read.find(key) : g_read.end();
            if (earlier != g_read.end() && earlier->second.stamp == file.stamp && file.stamp.Size != 0) {
                // Taken out of the old map, so that a pass cut short leaves nothing emptied there.
                cached = std::move(earlier->second);
                g_read.erase(earlier);
            } else if (fresh) {
                std::optional<std::string> bytes = ReadWholeFile(path, kInfLimit);
                // A file that could not be read (a stick's read error, a file too large) is read
                // again next pass: its stamp is not kept.
                cached.stamp = bytes ? file.stamp : FileStamp{};
                cached.driver = bytes ? ReadInfDriver(*bytes, platform) : InfDriver();
            }
            library.push_back({path, cached.driver});
        }
    }
    g_read = std::move(seen);
    return library;
}

bool NeedsDriver(const DeviceEntry& device)
{
    return device.state == DeviceState::NoDriver || device.state == DeviceState::FailedStart;
}

std::string FirstId(const DeviceEntry& device)
{
    return device.hardwareIds.empty() ? std::string() : device.hardwareIds.front();
}

// Whether the device, found again by its IDs after the pass, works now.
bool WorksAfter(const DeviceEntry& device, const std::vector<DeviceEntry>& after)
{
    // By its IDs only: the name changes to the driver's own description once one is installed.
    return std::any_of(after.begin(), after.end(), [&](const DeviceEntry& now) {
        return now.hardwareIds == device.hardwareIds && now.compatibleIds == device.compatibleIds && !NeedsDriver(now);
    });
}

}  // namespace

DriverLibrary ReadDriverLibrary(const std::vector<std::string>& folders)
{
    // A stick pulled or a disc taken out meanwhile would ask for it back in a box.
    DWORD previousMode = 0;
    const BOOL modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode);
    ScopeExit restore([&] {
        if (modeSet) SetThreadErrorMode(previousMode, nullptr);
    });
    DriverLibrary library;
    library.infs = ReadLibraryFiles(folders, library.perFolder);
    library.index = IndexDriverIds(library.infs);
    return library;
}

void ForgetReadInfFiles() { g_read.clear(); }

std::vector<std::string> FindInfFiles(const std::string& folder)
{
    std::vector<std::string> paths;
    for (FoundInf& file : FindSortedInfFiles(folder)) paths.push_back(std::move(file.relative));
    return paths;
}

std::vector<std::string> DriverLibraryFolders()
{
    std::vector<std::string> folders;
    auto add = [&](std::string folder) {
        if (folder.empty() || !IsExistingFolder(folder)) return;
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
        const std::string upper = UpperAscii(folder);
        for (const std::string& known : folders) {
            if (UpperAscii(known) == upper) return;
        }
        folders.push_back(folder);
    };
    add(DriverFolderPath());
    // An empty card reader or DVD drive would otherwise ask the operator to insert a disk.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    ScopeExit restore([previousMode] { SetErrorMode(previousMode); });
    const DWORD drives = GetLogicalDrives();
    // A: and B: are floppy drives, which a search would wake for seconds each.
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(drives & (1u << (letter - 'A')))) continue;
        const std::string root = std::string(1, letter) + ":\\";
        const UINT type = GetDriveTypeA(root.c_str());
        if (type == DRIVE_REMOVABLE || type == DRIVE_CDROM || IsExistingFile(root + "sources\\boot.wim")) {
            add(root + "Drivers");
        }
    }
    return folders;
}

bool AnyFixedDiskVisible()
{
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    const DWORD drives = GetLogicalDrives();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        if (!(drives & (1u << (letter - 'A'))) || (letter & ~0x20) == (system[0] & ~0x20)) continue;
        if (GetDriveTypeA((std::string(1, letter) + ":\\").c_str()) == DRIVE_FIXED) return true;
    }
    return false;
}

std::string MissingStorageDriver(const DeviceEntry& device, bool fixedDiskVisible)
{
    if (fixedDiskVisible || !NeedsDriver(device)) return std::string();
    return HiddenDisksDriverName(device.hardwareIds, device.compatibleIds);
}

void LogHiddenDisks(const std::vector<DeviceEntry>& devices, bool fixedDiskVisible)
{
    for (const DeviceEntry& device : devices) {
        const std::string inf = MissingStorageDriver(device, fixedDiskVisible);
        if (inf.empty()) continue;
        LogEvent("storage", {{"device", device.name}, {"hardware-id", FirstId(device)}, {"result", "disks-hidden"},
                             {"reason", "storage driver missing"}, {"driver", inf}});
    }
}

DriverPassResult RunDriverPass(const std::vector<std::string>& folders,
                               const std::function<void(const std::string& inf)>& progress)
{
    DriverPassResult result;
    result.folders = folders;
    std::vector<DeviceEntry> devices = ReadDevices();
    if (std::none_of(devices.begin(), devices.end(), NeedsDriver)) {
        // The usual start: nothing to look for, so a pack of thousands of files stays unread.
        LogEvent("drivers", {{"result", "skipped"}, {"reason", "every device has its driver"}});
        return result;
    }
    DriverLibrary read;
    // Reading a pack of thousands of files takes seconds on a slow stick.
    RunWhilePumping([&] { read = ReadDriverLibrary(folders); });
    const std::vector<LibraryInf>& library = read.infs;
    const DriverIdIndex& index = read.index;
    result.infFiles = library.size();
    for (size_t i = 0; i < folders.size(); ++i) {
        LogEvent("drivers", {{"library", folders[i]}, {"files", std::to_string(read.perFolder[i])}});
    }
    if (folders.empty()) LogEvent("drivers", {{"library", "none"}});

    const bool fixedDisk = AnyFixedDiskVisible();
    std::vector<size_t> best;
    for (DeviceEntry& device : devices) {
        if (!NeedsDriver(device)) continue;
        DeviceDriverOutcome outcome;
        std::vector<DriverCandidate> ranked = RankDrivers(device.hardwareIds, device.compatibleIds, library, index);
        if (!ranked.empty()) {
            const DriverCandidate& top = ranked.front();
            outcome.found = true;
            outcome.id = top.id;
            outcome.inf = library[top.inf].path;
            outcome.section = library[top.inf].driver.models[top.model].installSection;
            best.push_back(top.inf);
            LogEvent("driver-match", {{"device", device.name}, {"hardware-id", top.id}, {"inf", outcome.inf},
                                      {"section", outcome.section}, {"rank", std::to_string(top.rank)}});
        } else {
            LogEvent("driver-match", {{"device", device.name}, {"hardware-id", FirstId(device)}, {"result", "none"}});
        }
        outcome.hiddenDisksInf = MissingStorageDriver(device, fixedDisk);
        outcome.device = std::move(device);
        result.devices.push_back(std::move(outcome));
    }

    const std::vector<size_t> plan = PlanDriverLoads(library, best);
    result.drvloadMissing = !plan.empty() && !IsExistingFile(SystemToolPath("drvload.exe"));
    std::unordered_map<size_t, std::string> loads;
    for (size_t inf : plan) {
        if (progress) progress(library[inf].path);
        ToolRun run = LoadDriver(library[inf].path);
        ++result.loads;
        const bool loaded = run.outcome == ToolRun::Outcome::Ran && run.exitCode == 0;
        if (loaded) ++result.loaded;
        loads[inf] = run.outcome == ToolRun::Outcome::Ran ? (loaded ? "loaded" : "refused") : ToolOutcomeText(run.outcome);
        if (run.outcome == ToolRun::Outcome::Missing) break;
    }
    // Keys and clicks made meanwhile were meant for a window that was busy.
    DropQueuedInput();
    if (result.loaded > 0) WaitForDeviceInstalls();

    const std::vector<DeviceEntry> after = ReadDevices();
    const bool fixedDiskAfter = AnyFixedDiskVisible();
    for (DeviceDriverOutcome& outcome : result.devices) {
        for (const auto& [inf, text] : loads) {
            if (library[inf].path == outcome.inf) outcome.load = text;
        }
        outcome.fixedAfter = WorksAfter(outcome.device, after);
        // The storage driver the pass loaded may have shown the disks: then they hide no more.
        if (outcome.fixedAfter || fixedDiskAfter) outcome.hiddenDisksInf.clear();
    }
    LogEvent("drivers", {{"result", "matched"}, {"devices", std::to_string(result.devices.size())},
                         {"loads", std::to_string(result.loads)}, {"loaded", std::to_string(result.loaded)},
                         {"no-driver", std::to_string(CountWithoutDriver(after))}});
    LogDevicesWithoutDriver(after);
    LogHiddenDisks(after, fixedDiskAfter);
    return result;
}
