#include "catalogues/targets.h"

#include "catalogues/installation_rules.h"
#include "catalogues/locked_volumes.h"
#include "catalogues/pe_header.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/privileges.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"
#include "session/shared_state.h"

#include <windows.h>

#include <map>
#include <optional>

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

const char kHiveName[] = "TARN_ERD";
const char kHiveFile[] = "\\system32\\config\\software";
const char kKernelFile[] = "\\system32\\ntoskrnl.exe";
// The DOS header, its stub and the PE signature of every kernel lie well inside this.
constexpr DWORD kKernelHeadBytes = 4096;

// A description as it was read, with the files it was read from as they were then.
struct RememberedName {
    FileStamp hive;
    std::optional<FileStamp> kernel;
    std::string description;
};
// By hive path, for the whole run.
std::map<std::string, RememberedName> g_rememberedNames;
// Whether the mount privileges are enabled, asked at the first mount of a pass; empty until then.
std::optional<bool> g_hivePrivileges;

// The SYSTEM hive has a mount name of its own, so that neither read can take the other's name.
const char kSystemHiveName[] = "TARN_ERD_SYSTEM";
const char kSystemHiveFile[] = "\\system32\\config\\system";

struct RememberedZone {
    FileStamp hive;
    InstallationZone zone;
};
// By hive path, for the whole run.
std::map<std::string, RememberedZone> g_rememberedZones;

// The operator holds the left Shift key to skip a slow or hanging disk; the state is read
// afresh before each drive so that pressing it mid-scan stops at the next one. The physical
// state: the thread's own key state changes only as it takes keyboard messages.
bool IsLeftShiftDown() { return (GetAsyncKeyState(VK_LSHIFT) & 0x8000) != 0; }

// Wine leaves an empty key behind when a load fails (Windows leaves nothing), and that key
// makes every later load under the same name fail with ERROR_ALREADY_EXISTS. The name was free
// before the load, so an empty key there is that leftover; anything else there stays.
void RemoveEmptyMountPoint(const char* mountName = kHiveName)
{
    UniqueKey key = OpenRegKey(std::string("\\") + mountName, KEY_READ);
    if (!key) return;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    key.reset();
    if (subKeys == 0 && values == 0) DeleteRegKey(HKEY_LOCAL_MACHINE, mountName);
}

// A hive left mounted keeps the installation's file locked for the operator's tools, and takes
// the mount name from every later installation of the pass, which would read as unknown. The
// usual cause is a moment's hold (the system or a virus scanner still has a key of the hive
// open), so a failure is logged and the unload tried again a few times, briefly.
void UnmountHive(const std::string& hive, const char* mountName = kHiveName)
{
    constexpr int kTries = 5;
    constexpr DWORD kPauseMs = 100;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        const LONG rc = RegUnLoadKeyA(HKEY_LOCAL_MACHINE, mountName);
        if (rc == ERROR_SUCCESS) return;
        LogEvent("unmount", {{"hive", hive}, {"attempt", std::to_string(attempt)},
                             {"error", std::to_string(rc)}, {"message", SystemErrorText(static_cast<DWORD>(rc))}});
        if (attempt < kTries) Sleep(kPauseMs);
    }
}

// The values of the hive's CurrentVersion key, read while the hive is mounted; nothing when it
// cannot be mounted or lacks the key.
std::optional<InstallationValues> ReadHiveValues(const std::string& hive)
{
    if (!EnableRestorePrivilege()) return std::nullopt;
    // A name held by someone else, by a hive or a key, is theirs, even when it looks empty:
    // under Wine the root of an empty hive can be deleted like a key, which would take it from them.
    if (OpenRegKey(std::string("\\") + kHiveName, KEY_READ)) {
        LogEvent("mount",
                 {{"hive", hive}, {"result", "failed"}, {"reason", std::string("HKLM\\") + kHiveName + " in use"}});
        return std::nullopt;
    }

    if (LONG rc = RegLoadKeyA(HKEY_LOCAL_MACHINE, kHiveName, hive.c_str()); rc != ERROR_SUCCESS) {
        // The installation is listed as unknown; the log tells why (a hive in use, damaged, denied).
        LogEvent("mount", {{"hive", hive}, {"result", "failed"}, {"error", std::to_string(rc)},
                           {"message", SystemErrorText(static_cast<DWORD>(rc))}});
        RemoveEmptyMountPoint();
        return std::nullopt;
    }
    // Declared before the key so that the key is closed first: a hive with an open key in it
    // cannot be unloaded.
    ScopeExit unmount([&] { UnmountHive(hive); });
    UniqueKey version =
        OpenRegKey(std::string("\\") + kHiveName + "\\Microsoft\\Windows NT\\CurrentVersion\\", KEY_READ);
    if (!version) return std::nullopt;
    InstallationValues values;
    values.ProductName = ReadRegStringOrEmpty(version.get(), "ProductName");
    values.CsdVersion = ReadRegStringOrEmpty(version.get(), "CSDVersion");
    values.CurrentBuildNumber = ReadRegStringOrEmpty(version.get(), "CurrentBuildNumber");
    values.CurrentBuild = ReadRegStringOrEmpty(version.get(), "CurrentBuild");
    values.DisplayVersion = ReadRegStringOrEmpty(version.get(), "DisplayVersion");
    values.ReleaseId = ReadRegStringOrEmpty(version.get(), "ReleaseId");
    return values;
}

// A REG_DWORD or REG_QWORD value (RealTimeIsUniversal is written as either); nothing for a
// missing value or one of another type or size, which a damaged hive may hold.
std::optional<uint64_t> ReadRegNumberOrNothing(HKEY key, const char* name)
{
    uint64_t value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type == REG_DWORD && size == sizeof(uint32_t)) return static_cast<uint32_t>(value);
    if (type == REG_QWORD && size == sizeof(uint64_t)) return value;
    return std::nullopt;
}

// The zone of a SYSTEM hive mounted at root; empty names when the hive names none.
InstallationZone ZoneOfMountedSystem(const std::string& root)
{
    InstallationZone zone;
    UniqueKey select = OpenRegKey(root + "\\Select", KEY_READ);
    const std::optional<uint64_t> current = select ? ReadRegNumberOrNothing(select.get(), "Current") : std::nullopt;
    const std::optional<std::string> controlSet =
        current && *current <= 0xFFFFFFFFu ? ControlSetKeyName(static_cast<uint32_t>(*current)) : std::nullopt;
    if (!controlSet) return zone;
    UniqueKey info = OpenRegKey(root + "\\" + *controlSet + "\\Control\\TimeZoneInformation", KEY_READ);
    if (!info) return zone;
    zone.KeyName = ReadRegStringOrEmpty(info.get(), "TimeZoneKeyName");
    const std::string standard = ReadRegStringOrEmpty(info.get(), "StandardName");
    if (standard.compare(0, 1, "@") != 0) zone.StandardName = standard;
    zone.ClockIsUniversal = ReadRegNumberOrNothing(info.get(), "RealTimeIsUniversal").value_or(0) != 0;
    return zone;
}

// Nothing when the hive cannot be mounted; see ReadHiveValues for the mount name's rules.
std::optional<InstallationZone> ReadSystemHiveZone(const std::string& hive)
{
    if (!EnableRestorePrivilege()) return std::nullopt;
    if (OpenRegKey(std::string("\\") + kSystemHiveName, KEY_READ)) return std::nullopt;
    if (RegLoadKeyA(HKEY_LOCAL_MACHINE, kSystemHiveName, hive.c_str()) != ERROR_SUCCESS) {
        RemoveEmptyMountPoint(kSystemHiveName);
        return std::nullopt;
    }
    // The keys of the hive are closed inside ZoneOfMountedSystem, before this unmounts it.
    ScopeExit unmount([&] { UnmountHive(hive, kSystemHiveName); });
    return ZoneOfMountedSystem(std::string("\\") + kSystemHiveName);
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

// Label and size of the drive's volume, read once per drive and pass for all its installations.
std::string ReadVolumeText(const std::string& root)
{
    char label[MAX_PATH + 1] = "";
    if (!GetVolumeInformationA(root.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0)) label[0] = '\0';
    ULARGE_INTEGER total{};
    std::optional<uint64_t> bytes;
    if (GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr)) bytes = total.QuadPart;
    const std::string decimalPoint = LoadLangStringOr(IDS_DECIMAL_POINT, ".");
    const std::string text = VolumeText(label, bytes, decimalPoint.empty() ? '.' : decimalPoint[0]);
    LogEvent("volume", {{"drive", root.substr(0, 2)}, {"label", label},
                        {"bytes", bytes ? std::to_string(*bytes) : std::string("unknown")}, {"text", text}});
    return text;
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
ImageMachine ReadKernelMachine(const std::string& kernel)
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
    StartHivePass();
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
    // Each installation is read whole within one iteration, its hive unmounted again before the
    // next: nothing but the search handle is held from one to the next, so waiting window
    // messages can be handled between two of them.
    std::optional<std::string> volume;
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
        if (!volume) volume = ReadVolumeText(root);
        target.Volume = *volume;
        LogEvent("scan", {{"installation", path}, {"name", target.Description}});
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
    const std::string hive = path + kHiveFile;
    const std::string kernel = path + kKernelFile;
    // Stamped before reading: a file that changes meanwhile differs from its stamp next time.
    const std::optional<FileStamp> hiveStamp = StampOfFile(hive);
    if (!hiveStamp) return LoadLangString(IDS_UNKNOWN_PRODUCT);
    const std::optional<FileStamp> kernelStamp = StampOfFile(kernel);
    auto known = g_rememberedNames.find(hive);
    if (known != g_rememberedNames.end() && known->second.hive == *hiveStamp && known->second.kernel == kernelStamp) {
        return known->second.description;
    }

    // A hive that could not be read is not remembered: what stood in the way (another holder of
    // the mount name, say) may be gone by the next pass.
    std::optional<InstallationValues> values = ReadHiveValues(hive);
    if (!values) return LoadLangString(IDS_UNKNOWN_PRODUCT);
    std::string description = DescribeInstallation(*values, ArchWord(ReadKernelMachine(kernel)));
    g_rememberedNames[hive] = RememberedName{*hiveStamp, kernelStamp, description};
    return description;
}

InstallationZone ReadInstallationZone(const std::string& path)
{
    const std::string hive = path + kSystemHiveFile;
    const std::optional<FileStamp> stamp = StampOfFile(hive);
    if (!stamp) {
        LogNoZone(path, "no-hive");
        return InstallationZone();
    }
    auto known = g_rememberedZones.find(hive);
    if (known != g_rememberedZones.end() && known->second.hive == *stamp) {
        LogZone(path, known->second.zone, "remembered");
        return known->second.zone;
    }
    // Not remembered when unreadable, for the same reason as a description.
    std::optional<InstallationZone> zone = ReadSystemHiveZone(hive);
    if (!zone) {
        LogNoZone(path, "failed");
        return InstallationZone();
    }
    g_rememberedZones[hive] = RememberedZone{*stamp, *zone};
    LogZone(path, *zone, "hive");
    return *zone;
}

void ForgetInstallationNames()
{
    g_rememberedNames.clear();
    g_rememberedZones.clear();
}

bool EnableRestorePrivilege()
{
    if (g_hivePrivileges) return *g_hivePrivileges;
    // RegLoadKey's and RegUnLoadKey's pages ask for both privileges; SeRestorePrivilege decides.
    for (const char* name : {SE_RESTORE_NAME, SE_BACKUP_NAME}) {
        const DWORD result = EnableTokenPrivilege(name);
        if (result != ERROR_SUCCESS) {
            LogEvent("mount", {{"privilege", name}, {"result", "refused"}, {"error", std::to_string(result)},
                               {"message", SystemErrorText(result)}});
        }
        if (!g_hivePrivileges) g_hivePrivileges = result == ERROR_SUCCESS;
    }
    return *g_hivePrivileges;
}

void StartHivePass() { g_hivePrivileges.reset(); }

