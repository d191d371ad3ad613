#include "catalogues/targets.h"

#include "catalogues/installation_rules.h"
#include "catalogues/locked_volumes.h"
#include "catalogues/offline_hive.h"
#include "catalogues/pe_header.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"

#include <windows.h>

#include <map>
#include <optional>
#include <variant>

namespace {

// On Windows PE its own Windows folder (X:\Windows on the RAM disk) is listed like any
// installation; named as what it is, nobody picks it as the target by mistake.
bool IsRunningSystem(const std::string& path)
{
    char windows[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || lstrcmpiA(windows, path.c_str()) != 0) return false;
    return IsWindowsPE();
}

const char kSoftwareHiveFile[] = "\\system32\\config\\software";
const char kSystemHiveFile[] = "\\system32\\config\\system";
const char kKernelFile[] = "\\system32\\ntoskrnl.exe";
// The DOS header, its stub and the PE signature of every kernel lie well inside this.
constexpr DWORD kKernelHeadBytes = 4096;

// An installation's own time zone, from its SYSTEM hive.
struct InstallationZone {
    std::string KeyName;            // TimeZoneKeyName
    std::string StandardName;       // StandardName, unless it is a resource reference ("@tzres.dll,-112")
    bool ClockIsUniversal = false;  // RealTimeIsUniversal: the hardware clock holds UTC
};

// What was read of an installation's file, with the file's stamp as it was then: by path, for
// the whole run. A SOFTWARE hive gives the version values, a SYSTEM hive the zone, a kernel its
// processor.
struct RememberedRead {
    FileStamp Stamp;
    std::variant<InstallationValues, InstallationZone, ImageMachine> Read;
};
std::map<std::string, RememberedRead> g_rememberedReads;

// The operator holds the left Shift key to skip a slow or hanging disk; the state is read
// afresh before each drive so that pressing it mid-scan stops at the next one. The physical
// state: the thread's own key state changes only as it takes keyboard messages.
bool IsLeftShiftDown() { return (GetAsyncKeyState(VK_LSHIFT) & 0x8000) != 0; }

// The values of the installation's CurrentVersion key; nothing when the hive cannot be read or
// lacks the key.
std::optional<InstallationValues> ReadVersionValues(const std::string& hive)
{
    std::optional<OfflineHive> file = OpenOfflineHive(hive);
    if (!file) return std::nullopt;
    const HiveKeyValues key =
        ReadOfflineHiveKey(*file, "Microsoft\\Windows NT\\CurrentVersion",
                           {"ProductName", "CSDVersion", "CurrentBuildNumber", "CurrentBuild", "DisplayVersion", "ReleaseId"});
    if (key.Result != HiveKeyResult::Read) return std::nullopt;
    InstallationValues values;
    values.ProductName = HiveTextOrEmpty(key.Values, "ProductName");
    values.CsdVersion = HiveTextOrEmpty(key.Values, "CSDVersion");
    values.CurrentBuildNumber = HiveTextOrEmpty(key.Values, "CurrentBuildNumber");
    values.CurrentBuild = HiveTextOrEmpty(key.Values, "CurrentBuild");
    values.DisplayVersion = HiveTextOrEmpty(key.Values, "DisplayVersion");
    values.ReleaseId = HiveTextOrEmpty(key.Values, "ReleaseId");
    return values;
}

// The zone of the control set that Select\Current names: empty names when the hive names none
// (a missing key or value), nothing when the hive cannot be read on the way.
std::optional<InstallationZone> ReadSystemZone(const std::string& hive)
{
    std::optional<OfflineHive> file = OpenOfflineHive(hive);
    if (!file) return std::nullopt;
    InstallationZone zone;
    const HiveKeyValues select = ReadOfflineHiveKey(*file, "Select", {"Current"});
    if (select.Result == HiveKeyResult::Unreadable) return std::nullopt;
    const std::optional<uint64_t> current = HiveNumberOrNothing(select.Values, "Current");
    const std::optional<std::string> controlSet =
        current && *current <= 0xFFFFFFFFu ? ControlSetKeyName(static_cast<uint32_t>(*current)) : std::nullopt;
    if (!controlSet) return zone;
    const HiveKeyValues info = ReadOfflineHiveKey(*file, *controlSet + "\\Control\\TimeZoneInformation",
                                                  {"TimeZoneKeyName", "StandardName", "RealTimeIsUniversal"});
    if (info.Result == HiveKeyResult::Unreadable) return std::nullopt;
    zone.KeyName = HiveTextOrEmpty(info.Values, "TimeZoneKeyName");
    const std::string standard = HiveTextOrEmpty(info.Values, "StandardName");
    if (standard.compare(0, 1, "@") != 0) zone.StandardName = standard;
    // RealTimeIsUniversal is written as a DWORD or a QWORD.
    zone.ClockIsUniversal = HiveNumberOrNothing(info.Values, "RealTimeIsUniversal").value_or(0) != 0;
    return zone;
}

void LogNoZone(const std::string& path, const char* reason)
{
    LogEvent("zone", {{"installation", path}, {"read", reason}});
}

void LogZone(const std::string& path, const InstallationZone& zone, const char* read)
{
    LogEvent("zone", {{"installation", path}, {"read", read}, {"key", zone.KeyName}, {"standard", zone.StandardName},
                      {"clock", zone.ClockIsUniversal ? "utc" : "local"}});
    if (zone.ClockIsUniversal) {
        LogEvent("zone", {{"installation", path},
                          {"note", "RealTimeIsUniversal=1: the hardware clock holds UTC; Windows PE reads it as "
                                   "local time, so its clock is off by the zone's offset"}});
    }
}

// Up to count bytes from offset on; fewer at the end of the file, none when it cannot be read.
std::string ReadFileBytes(HANDLE file, unsigned long long offset, DWORD count)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    std::string bytes(count, '\0');
    DWORD got = 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !ReadFile(file, bytes.data(), count, &got, nullptr)) {
        got = 0;
    }
    bytes.resize(got);
    return bytes;
}

// The kernel is read, never mapped or loaded: only its headers, and with every kind of sharing,
// so that a program holding it open (or replacing it) neither stops the scan nor is stopped by it.
std::optional<ImageMachine> ReadKernelMachine(const std::string& kernel)
{
    UniqueFile file(CreateFileA(kernel.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return ImageMachine::Unknown;
    const std::string head = ReadFileBytes(file.get(), 0, kKernelHeadBytes);
    const std::optional<uint32_t> at = PeSignatureOffset(head);
    if (!at) return ImageMachine::Unknown;
    if (uint64_t{*at} + kPeSignatureAndMachineBytes <= head.size()) {
        return MachineAtSignature(std::string_view(head).substr(*at));
    }
    return MachineAtSignature(ReadFileBytes(file.get(), *at, kPeSignatureAndMachineBytes));
}

enum class ReadFrom { NoFile, Memory, File, Failed };

// What read gives for the file, read again only when the file's size or last-write time is not
// what it was at the last read: on Windows 10 and later a SOFTWARE hive holds 50 to 150 MB.
// A file that could not be read is not remembered: what stood in the way (a program holding the
// file, say) may be gone by the next pass.
template <class T>
std::optional<T> ReadRemembered(const std::string& path, std::optional<T> (*read)(const std::string&), ReadFrom& from)
{
    // Stamped before reading: a file that changes meanwhile differs from its stamp next time.
    const std::optional<FileStamp> stamp = StampOfFile(path);
    if (!stamp) {
        from = ReadFrom::NoFile;
        return std::nullopt;
    }
    auto known = g_rememberedReads.find(path);
    if (known != g_rememberedReads.end() && known->second.Stamp == *stamp) {
        from = ReadFrom::Memory;
        return std::get<T>(known->second.Read);
    }
    std::optional<T> value = read(path);
    from = value ? ReadFrom::File : ReadFrom::Failed;
    if (value) g_rememberedReads[path] = RememberedRead{*stamp, *value};
    return value;
}

// A volume whose hibernation file holds an image belongs to a Windows that was hibernated or shut
// down with Fast Startup: its kernel still counts the volume as in use, and what is written to
// it now is lost when that Windows resumes, or corrupts the file system. The file is read as the
// kernel is, with every kind of sharing.
bool HoldsHibernationImage(const std::string& root)
{
    UniqueFile file(CreateFileA((root + "hiberfil.sys").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && IsHibernationImage(ReadFileBytes(file.get(), 0, kHibernationSignatureBytes));
}

struct DriveVolume {
    std::string Text;  // the Volume column's text, with the hibernation mark
    bool Hibernated = false;
};

// Label, size and hibernation of the drive's volume, read once per drive and pass for all its
// installations.
DriveVolume ReadVolume(const std::string& root)
{
    char label[MAX_PATH + 1] = "";
    if (!GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0)) label[0] = '\0';
    ULARGE_INTEGER total{};
    std::optional<uint64_t> bytes;
    if (GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr)) bytes = total.QuadPart;
    DriveVolume volume;
    volume.Hibernated = HoldsHibernationImage(root);
    const std::string decimalPoint = LoadLangStringOr(IDS_DECIMAL_POINT, ".");
    const std::string mark = volume.Hibernated ? LoadLangStringOr(IDS_VOLUME_HIBERNATED, "hibernated") : std::string();
    volume.Text = VolumeText(label, bytes, decimalPoint.empty() ? '.' : decimalPoint[0], mark);
    LogEvent("volume", {{"drive", root.substr(0, 2)}, {"label", label},
                        {"bytes", bytes ? std::to_string(*bytes) : std::string("unknown")}, {"text", volume.Text}});
    return volume;
}

// Language modules made for 1.5 lack these words; the brackets must never stand empty.
std::string ArchWord(ImageMachine machine)
{
    switch (machine) {
    case ImageMachine::X86: return LoadLangStringOr(IDS_ARCH_X86, "32-bit");
    case ImageMachine::X64: return LoadLangStringOr(IDS_ARCH_X64, "64-bit");
    case ImageMachine::Arm64: return LoadLangStringOr(IDS_ARCH_ARM64, "ARM64");
    case ImageMachine::Unknown: break;
    }
    return std::string();
}

const char* DriveTypeName(UINT type)
{
    switch (type) {
    case DRIVE_REMOVABLE: return "removable";
    case DRIVE_FIXED: return "fixed";
    case DRIVE_REMOTE: return "network";
    case DRIVE_CDROM: return "optical";
    case DRIVE_RAMDISK: return "ramdisk";
    case DRIVE_NO_ROOT_DIR: return "no-root";
    }
    return "unknown";
}

// The zone of the control set that Select\Current names, in the installation's SYSTEM hive
// (system32\config\system), remembered like the description while the hive keeps its stamp.
InstallationZone ReadInstallationZone(const std::string& path)
{
    ReadFrom from = ReadFrom::NoFile;
    const std::optional<InstallationZone> zone = ReadRemembered<InstallationZone>(path + kSystemHiveFile, ReadSystemZone, from);
    switch (from) {
    case ReadFrom::NoFile: LogNoZone(path, "no-hive"); break;
    case ReadFrom::Failed: LogNoZone(path, "failed"); break;
    case ReadFrom::Memory: LogZone(path, *zone, "remembered"); break;
    case ReadFrom::File: LogZone(path, *zone, "hive"); break;
    }
    return zone.value_or(InstallationZone());
}

// Removable, optical and network drives are left alone: searching them can take long or wake a
// device, and Windows is rarely run from them. Removable ones are searched when the operator asks
// (a BitLocker To Go stick, a USB disk holding a backup).
bool IsSearchedDriveType(UINT type)
{
    return type == DRIVE_FIXED || (type == DRIVE_REMOVABLE && Shared().SearchRemovableDrives);
}

}  // namespace

long long NoTargetIndex(const TTargetList& list) { return static_cast<long long>(list.Count()) - 1; }

void BuildTargetList(TTargetList& list, const ScanProgress& progress)
{
    // A card reader or drive without its medium would otherwise stop the search with the
    // system's "There is no disk in the drive" box until someone answers it.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ScopeExit restoreMode([oldMode] { SetErrorMode(oldMode); });
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(drives & (1u << i))) continue;
        PumpPendingMessages();
        const std::string drive = std::string(1, static_cast<char>('A' + i)) + ":";
        if (IsLeftShiftDown()) {
            LogEvent("scan", {{"drive", drive}, {"result", "stopped-by-shift"}});
            break;
        }
        char lower = static_cast<char>('a' + i);
        if (progress) progress(LoadLangString(IDS_SCANNING_DRIVE) + lower + ":\\");
        const char root[] = {lower, ':', '\\', '\0'};
        DWORD scanStart = GetTickCount();
        size_t before = list.Count();
        UINT type = GetDriveTypeA(root);
        const bool searched = IsSearchedDriveType(type);
        if (searched) ScanDrive(list, static_cast<char>('A' + i));
        LogEvent("scan", {{"drive", drive}, {"type", DriveTypeName(type)},
                          {"result", searched ? "searched" : "skipped"},
                          {"found", std::to_string(list.Count() - before)},
                          {"ms", std::to_string(GetTickCount() - scanStart)}});
    }

    TLokInfo& none = list.Add();
    none.Path = LoadLangString(IDS_NO_TARGET_FOLDER);
    none.Description = LoadLangString(IDS_NO_TARGET_DESCRIPTION);
}

void ListLockedDrive(TTargetList& list, char letter)
{
    TLokInfo& locked = list.Add();
    locked.Path = std::string(1, letter) + ":\\";
    locked.Description = LoadLangStringOr(IDS_LOCKED_DESCRIPTION, "Locked by BitLocker");
    locked.Locked = true;
    LogEvent("bitlocker", {{"drive", std::string(1, letter) + ":"}, {"state", "locked"}});
}

void ScanDrive(TTargetList& list, char letter)
{
    const std::string root = std::string(1, letter) + ":\\";
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((root + "*.*").c_str(), &entry));
    if (!find) {
        // A drive BitLocker keeps locked lists nothing; it is offered for unlocking instead of
        // being passed by without a word.
        if (IsLockedVolume(letter)) ListLockedDrive(list, letter);
        return;
    }
    // A BitLocker To Go volume reads as a small discovery volume: its first sector tells.
    if (IsLockedVolume(letter)) {
        ListLockedDrive(list, letter);
        return;
    }
    // Each installation is read whole within one iteration, its hive files closed again before
    // the next: nothing but the search handle is held from one to the next, so waiting window
    // messages can be handled between two of them.
    std::optional<DriveVolume> volume;
    do {
        PumpPendingMessages();
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        std::string path = root + entry.cFileName;
        if (!IsExistingFolder(path + "\\system32\\config\\")) continue;
        TLokInfo& target = list.Add();
        target.Path = path;
        const bool running = IsRunningSystem(path);
        target.Description = running ? LoadLangStringOr(IDS_RUNNING_PE, "Windows PE (running now)")
                                     : ReadInstallationName(path);
        if (!volume) volume = ReadVolume(root);
        target.Volume = volume->Text;
        LogEvent("scan", {{"installation", path}, {"name", target.Description},
                          {volume->Hibernated ? "volume" : "", "hibernated"}});
        // The running Windows PE's own zone is the one in force, nothing to offer.
        if (!running) {
            const InstallationZone zone = ReadInstallationZone(path);
            target.TimeZoneKey = zone.KeyName;
            target.TimeZoneName = zone.StandardName;
        }
    } while (FindNextFileA(find.get(), &entry));
}

std::string ReadInstallationName(const std::string& path)
{
    ReadFrom from = ReadFrom::NoFile;
    const std::optional<InstallationValues> values =
        ReadRemembered<InstallationValues>(path + kSoftwareHiveFile, ReadVersionValues, from);
    if (!values) return LoadLangString(IDS_UNKNOWN_PRODUCT);
    const std::optional<ImageMachine> machine = ReadRemembered<ImageMachine>(path + kKernelFile, ReadKernelMachine, from);
    return DescribeInstallation(*values, ArchWord(machine.value_or(ImageMachine::Unknown)));
}

void ForgetInstallationNames() { g_rememberedReads.clear(); }
