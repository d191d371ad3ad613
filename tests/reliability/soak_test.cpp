// Many passes of the real shell loop in this process: the scan, the language module's environment
// dialog answered as an operator would, the chosen shell (the probe, which ends at once). What a
// pass acquires must go with it, or a logon shell that runs for days runs out of handles.
#include "common/registry.h"
#include "common/resource_ids.h"
#include "catalogues/targets.h"
#include "common/window.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "shellctl/entry.h"
#include "session/launch.h"
#include "session/shared_state.h"
#include "session/target_root.h"
#include "support/dialog_driver.h"
#include "support/test_support.h"
#include "support/wine_drives.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <psapi.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace {

const char kEnvironmentKey[] = "\\System\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kLayoutsKey[] = "\\System\\CurrentControlSet\\Control\\Keyboard Layouts";
const char kZonesKey[] = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones";
const char kLayoutFile[] = "tarn_soak_kbd.dll";
const char* const kLayoutIds[] = {"A000F501", "A000F502", "A000F503"};
const char* const kZoneNames[] = {"Tarn Soak East", "Tarn Soak West"};
const char* const kAutorunKeys[] = {"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                                    "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                    "\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"};

// The pass count can be lowered for a quick look (TARN_SOAK_PASSES); the warm-up lets the first
// passes load what stays loaded (comctl32 classes, fonts, the module's resources).
int PassCount()
{
    const char* text = std::getenv("TARN_SOAK_PASSES");
    int count = text ? std::atoi(text) : 0;
    return count > 0 ? count : 500;
}
constexpr int kWarmUpPasses = 20;
constexpr int kReportEvery = 100;

// Flat means: at most this much growth from the warm-up to the end. A leak of one handle or
// object per pass would show hundreds; 1 MiB over 480 passes catches about 2 KiB per pass.
constexpr long kHandleSlack = 8;
constexpr long kGuiObjectSlack = 16;
constexpr long long kPrivateSlack = 1 << 20;
// Wine keeps up to 64 window DCs (each with its visible region and bitmap) cached for reuse and
// adds to them whenever no idle one is free: seen as one or two steps of 18 to 41 DCs, at
// random passes between 20 and 320, and flat after that. DCs may grow by that much.
constexpr long kWineDcCache = 64;
constexpr long kObjectsPerCachedDc = 3;

struct Usage {
    long handles = 0;
    long gdiObjects = 0;
    long deviceContexts = 0;  // among the GDI objects; known only where they are counted
    long userObjects = 0;
    long long privateBytes = 0;
};

// Wine 8 answers GetProcessHandleCount, PROCESS_MEMORY_COUNTERS_EX.PrivateUsage and
// GetGuiResources with 0 (and success). A zero answer is therefore replaced by a count taken
// where Wine keeps the same thing: the process's entries in the system handle list, its
// committed private memory, the live entries of its GDI handle table (Wine keeps one per
// process, behind the PEB as Windows does) and, for USER objects, its thread's windows.
struct SystemHandleEntry {
    USHORT processId, creatorBackTraceIndex;
    UCHAR objectType, attributes;
    USHORT handle;
    PVOID object;
    ULONG grantedAccess;
};
struct GdiHandleEntry {
    ULONG64 object;
    ULONG owner;
    UCHAR type, flags;
    USHORT unique;
    ULONG64 user;
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr int kGdiTableEntries = 0x10000;
constexpr UCHAR kGdiDcType = 1;
constexpr size_t kPebGdiTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;

long CountOwnHandles()
{
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemHandleInformation),
                                              buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return 0;
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    auto self = static_cast<USHORT>(GetCurrentProcessId());
    return static_cast<long>(std::count_if(entries, entries + count, [self](auto& e) { return e.processId == self; }));
}

long long CountPrivateCommit()
{
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* address = nullptr; VirtualQuery(address, &region, sizeof region);) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        char* next = static_cast<char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

// All live GDI objects of the process, and how many of them are DCs.
std::pair<long, long> CountGdiObjects()
{
    PROCESS_BASIC_INFORMATION basic{};
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return {0, 0};
    }
    auto* peb = reinterpret_cast<char*>(basic.PebBaseAddress);
    auto* table = *reinterpret_cast<GdiHandleEntry**>(peb + kPebGdiTableOffset);
    if (!table) return {0, 0};
    auto live = std::count_if(table, table + kGdiTableEntries, [](auto& e) { return e.type != 0; });
    auto dcs = std::count_if(table, table + kGdiTableEntries, [](auto& e) { return e.type == kGdiDcType; });
    return {static_cast<long>(live), static_cast<long>(dcs)};
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count)
{
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, CountWindow, count);
    return TRUE;
}

long CountThreadWindows()
{
    long count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

Usage MeasureUsage()
{
    Usage usage;
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    usage.handles = handles ? static_cast<long>(handles) : CountOwnHandles();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    usage.privateBytes = memory.PrivateUsage ? static_cast<long long>(memory.PrivateUsage) : CountPrivateCommit();
    usage.gdiObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    if (usage.gdiObjects == 0) std::tie(usage.gdiObjects, usage.deviceContexts) = CountGdiObjects();
    usage.userObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
    if (usage.userObjects == 0) usage.userObjects = CountThreadWindows();
    return usage;
}

// Every value of a key as name -> type and data, and every subkey as "name\" with its own
// values below it when deep; an absent key gives an empty map.
using RegistryDump = std::map<std::string, std::string>;

void DumpKey(HKEY key, const std::string& prefix, bool deep, RegistryDump& dump)
{
    for (const std::string& name : RegValueNames(key)) {
        DWORD type = 0;
        DWORD size = 0;
        RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        std::string data(size, '\0');
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        dump[prefix + name] = std::to_string(type) + ":" + data.substr(0, size);
    }
    for (const std::string& name : RegSubKeyNames(key)) {
        dump[prefix + name + "\\"] = "key";
        if (!deep) continue;
        UniqueKey sub = OpenRegKey(key, name, KEY_READ);
        if (sub) DumpKey(sub.get(), prefix + name + "\\", deep, dump);
    }
}

RegistryDump DumpKey(HKEY root, const std::string& path, bool deep)
{
    RegistryDump dump;
    if (path.empty()) {
        DumpKey(root, "", deep, dump);
    } else if (UniqueKey key = OpenRegKey(path, KEY_READ)) {
        DumpKey(key.get(), "", deep, dump);
    }
    return dump;
}

// The places a pass may touch besides TARGET_ROOT: HKLM (where a hive would be mounted), the
// users' hives (HKU), the machine environment, and the autostart keys, which only start-up reads.
struct MachineSnapshot {
    RegistryDump machineKeys, userHives, environment, autorun;
    bool operator==(const MachineSnapshot& o) const
    {
        return machineKeys == o.machineKeys && userHives == o.userHives && environment == o.environment &&
               autorun == o.autorun;
    }
};

MachineSnapshot TakeSnapshot()
{
    MachineSnapshot snapshot;
    snapshot.machineKeys = DumpKey(HKEY_LOCAL_MACHINE, "", false);
    snapshot.userHives = DumpKey(HKEY_USERS, "", false);
    snapshot.environment = DumpKey(HKEY_LOCAL_MACHINE, kEnvironmentKey, false);
    for (const char* path : kAutorunKeys) {
        for (const auto& [name, data] : DumpKey(HKEY_LOCAL_MACHINE, path, true)) {
            snapshot.autorun[path + ("\\" + name)] = data;
        }
    }
    return snapshot;
}

std::string Differences(const RegistryDump& expected, const RegistryDump& actual)
{
    std::string text;
    for (const auto& [name, data] : expected) {
        auto it = actual.find(name);
        if (it == actual.end()) text += "  lost " + name + "\n";
        else if (it->second != data) text += "  changed " + name + "\n";
    }
    for (const auto& entry : actual) {
        if (!expected.count(entry.first)) text += "  added " + entry.first + "\n";
    }
    return text;
}

// One operator's pass: what the dialog must show on arrival, and what the operator then does.
struct PassPlan {
    int target = 0;
    int shell = 0;
    bool toggle = false;
    bool applyLayoutAndZone = false;
    bool arrivesCollapsed = false;
    std::string expectedRoot;
};

// The environment dialog's arrival is told by its target list: the scan dialog before it is
// never active while this thread pumps.
DriverStep Operate(const PassPlan& plan, size_t targets, std::string& failure)
{
    return [&plan, targets, &failure](HWND dialog) {
        if (!GetDlgItem(dialog, IDC_ENV_TARGETS)) return false;
        if (SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_GETITEMCOUNT, 0, 0) != static_cast<LRESULT>(targets)) {
            failure += "targets lost or gained; ";
        }
        if (IsControlShown(dialog, IDC_ENV_LAYOUT_LABEL) == plan.arrivesCollapsed) failure += "form not carried over; ";
        if (plan.toggle) SendMessageA(dialog, WM_COMMAND, IDC_ENV_TOGGLE, 0);
        if (plan.applyLayoutAndZone) {
            SendMessageA(dialog, WM_COMMAND, IDC_ENV_APPLY_LAYOUT, 0);
            SendMessageA(dialog, WM_COMMAND, IDC_ENV_APPLY_TIMEZONE, 0);
        }
        LVITEMA state{};
        state.stateMask = state.state = LVIS_SELECTED;
        SendDlgItemMessageA(dialog, IDC_ENV_TARGETS, LVM_SETITEMSTATE, static_cast<WPARAM>(plan.target),
                            reinterpret_cast<LPARAM>(&state));
        SendDlgItemMessageA(dialog, IDC_ENV_SHELL, CB_SETCURSEL, static_cast<WPARAM>(plan.shell), 0);
        if (!IsWindowEnabled(GetDlgItem(dialog, IDOK))) failure += "OK disabled after a choice; ";
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return true;
    };
}

class SoakTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(drive_.Ok());
        for (const char* parent : {kLayoutsKey, kZonesKey}) {
            if (!OpenRegKey(parent, KEY_READ)) createdParents_.push_back(parent);
        }
        MakeInstallation(drive_.Root() + "WinA", {{"ProductName", Sz("Tarn OS")}, {"CSDVersion", Sz("SP1")}});
        MakeInstallation(drive_.Root() + "WinB", {{"ProductName", Sz("Tarn Server")}});
        WriteBytes(ExpandCommand("%windir%\\system32\\") + kLayoutFile, "MZ");
        for (const char* id : kLayoutIds) {
            WriteRegString(CreateRegKey(std::string(kLayoutsKey) + "\\" + id, KEY_ALL_ACCESS).get(), "Layout File",
                           kLayoutFile);
        }
        for (const char* zone : kZoneNames) {
            UniqueKey key = CreateRegKey(std::string(kZonesKey) + "\\" + zone, KEY_ALL_ACCESS);
            WriteRegString(key.get(), "Display", zone);
            WriteRegString(key.get(), "Std", zone);
        }
        UniqueKey environment = OpenRegKey(kEnvironmentKey, KEY_READ);
        savedRoot_ = environment ? ReadRegTextIfString(environment.get(), "TARGET_ROOT") : std::nullopt;

        SharedState& shared = Shared();
        shared.Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
        ASSERT_TRUE(LoadLangModule());
        const std::string probe = "\"" + BinFolder() + "probe.exe\" log=\"" + folder_.Path() + "shells.log\"";
        for (const char* exitCode : {"0", "3", "259"}) {
            TShellItem& shell = shared.Settings.ShellList.Add();
            shell.Name = std::string("Probe ") + exitCode;
            shell.CommandLine = probe + " exit=" + exitCode;
        }
    }
    void TearDown() override
    {
        Shared() = SharedState();
        ForgetLangModule();
        for (const char* id : kLayoutIds) DeleteRegTree(std::string(kLayoutsKey) + "\\" + id);
        for (const char* zone : kZoneNames) DeleteRegTree(std::string(kZonesKey) + "\\" + zone);
        for (const char* parent : createdParents_) DeleteRegTree(parent);
        DeleteFileA((ExpandCommand("%windir%\\system32\\") + kLayoutFile).c_str());
        PublishSystemVariable("TARGET_ROOT", savedRoot_.value_or(""));
    }

    // The scan lists the machine's own installations too, so the targets are found by a scan
    // of this machine rather than assumed; the last entry is the no-target one.
    static std::vector<std::string> ScanTargets()
    {
        HWND scan = CreateLangDialog(IDD_SCAN, nullptr);
        TTargetList targets;
        BuildTargetList(targets,
                        [scan](const std::string& text) { SetDlgItemTextA(scan, IDC_SCAN_STATUS, text.c_str()); });
        std::vector<std::string> paths;
        for (size_t i = 0; i + 1 < targets.Count(); ++i) paths.push_back(targets.At(i).Path);
        paths.push_back("");
        DestroyWindow(scan);
        return paths;
    }

    void Report(const char* when, int pass, const Usage& usage)
    {
        std::printf("[ SOAK     ] %-8s pass %3d: handles %ld, private %lld KiB, GDI %ld (DCs %ld), USER %ld\n", when,
                    pass, usage.handles, usage.privateBytes / 1024, usage.gdiObjects, usage.deviceContexts,
                    usage.userObjects);
        std::fflush(stdout);
        const std::string key = std::string(when) + "_";
        RecordProperty(key + "handles", static_cast<int>(usage.handles));
        RecordProperty(key + "private_kib", static_cast<int>(usage.privateBytes / 1024));
        RecordProperty(key + "gdi_objects", static_cast<int>(usage.gdiObjects));
        RecordProperty(key + "gdi_dcs", static_cast<int>(usage.deviceContexts));
        RecordProperty(key + "user_objects", static_cast<int>(usage.userObjects));
    }

    TestDrive drive_{'M', DRIVE_FIXED};
    CaseFolder folder_;
    std::optional<std::string> savedRoot_;
    std::vector<const char*> createdParents_;
};

}  // namespace

TEST_F(SoakTest, ShellPassesLeaveNeitherResourcesNorRegistryStateBehind)
{
    const std::vector<std::string> targets = ScanTargets();
    ASSERT_GE(targets.size(), 3u) << "the drive's two installations and the no-target entry";
    const int passes = PassCount();
    const int shells = static_cast<int>(Shared().Settings.ShellList.Count());

    MachineSnapshot before = TakeSnapshot();
    before.environment.erase("TARGET_ROOT");
    std::vector<PassPlan> plans(passes);
    Usage warm;
    auto start = std::chrono::steady_clock::now();
    bool collapsed = Shared().Settings.LessLogonMode;
    for (int pass = 1; pass <= passes; ++pass) {
        PassPlan& plan = plans[pass - 1];
        plan.target = pass % static_cast<int>(targets.size());
        plan.shell = (pass / 3) % shells;
        plan.arrivesCollapsed = collapsed;
        plan.toggle = pass % 7 == 0;
        plan.applyLayoutAndZone = pass % 11 == 0;
        plan.expectedRoot = targets[plan.target];
        collapsed ^= plan.toggle;

        // One hive changes before every pass and is read again; the other one's remembered
        // description serves.
        SetLastWriteDay(drive_.Root() + "WinA\\system32\\config\\software", static_cast<WORD>(2000 + pass), 1, 1);
        std::string failure;
        {
            DialogDriver driver({Operate(plan, targets.size(), failure)});
            unsigned long exitCode = 0;
            bool started = RunShellPass(&exitCode);
            DWORD error = GetLastError();
            ASSERT_TRUE(driver.Finished()) << "pass " << pass << ": the environment dialog was not answered";
            ASSERT_TRUE(started) << "pass " << pass << ": the shell did not start, error " << error;
            // The wait ends only with the shell, so its record is there by now, unless the shell
            // itself could not write it (98) or never got as far as its own code.
            ASSERT_EQ(ReadProbeLog(folder_.Path() + "shells.log").size(), static_cast<size_t>(pass))
                << "pass " << pass << ": the shell ran but its run is not recorded; its exit code was " << exitCode;
        }
        ASSERT_EQ(failure, "") << "pass " << pass;
        MachineSnapshot after = TakeSnapshot();
        auto root = after.environment.find("TARGET_ROOT");
        if (plan.expectedRoot.empty()) {
            ASSERT_TRUE(root == after.environment.end()) << "pass " << pass << ": the no-target choice keeps a value";
        } else {
            ASSERT_TRUE(root != after.environment.end()) << "pass " << pass;
            EXPECT_EQ(root->second, std::to_string(REG_EXPAND_SZ) + ":" + plan.expectedRoot + '\0');
            after.environment.erase(root);
        }
        ASSERT_TRUE(after == before) << "pass " << pass << " changed the registry:\n"
                                     << Differences(before.machineKeys, after.machineKeys)
                                     << Differences(before.userHives, after.userHives)
                                     << Differences(before.environment, after.environment)
                                     << Differences(before.autorun, after.autorun);

        if (pass == kWarmUpPasses) {
            warm = MeasureUsage();
            Report("warm-up", pass, warm);
        } else if (pass % kReportEvery == 0 && pass != passes) {
            Report("pass", pass, MeasureUsage());
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const Usage end = MeasureUsage();
    Report("end", passes, end);
    std::printf("[ TIMING   ] %d shell passes: %.1f s, %.0f ms per pass\n", passes, seconds, seconds * 1000 / passes);
    RecordProperty("passes", passes);
    RecordProperty("ms_per_pass", static_cast<int>(seconds * 1000 / passes));

    if (passes > kWarmUpPasses) {
        EXPECT_LE(end.handles - warm.handles, kHandleSlack);
        const long newDcs = end.deviceContexts - warm.deviceContexts;
        EXPECT_LE(newDcs, kWineDcCache);
        EXPECT_LE(end.gdiObjects - warm.gdiObjects - kObjectsPerCachedDc * std::max(newDcs, 0L), kGuiObjectSlack);
        EXPECT_LE(end.userObjects - warm.userObjects, kGuiObjectSlack);
        EXPECT_LE(end.privateBytes - warm.privateBytes, kPrivateSlack);
    }

    // Each shell got the target chosen in its own pass, and the chosen command line.
    std::vector<ProbeRun> runs = ReadProbeLog(folder_.Path() + "shells.log");
    ASSERT_EQ(runs.size(), static_cast<size_t>(passes));
    for (int pass = 1; pass <= passes; ++pass) {
        const PassPlan& plan = plans[pass - 1];
        const std::string& root = runs[pass - 1]["target_root"];
        EXPECT_EQ(root, plan.expectedRoot.empty() ? "<unset>" : plan.expectedRoot) << "pass " << pass;
        EXPECT_EQ(runs[pass - 1]["cmdline"], Shared().Settings.ShellList.At(plan.shell).CommandLine) << "pass " << pass;
    }
}
