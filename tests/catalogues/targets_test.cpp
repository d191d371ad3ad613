#include "catalogues/targets.h"
#include "catalogues/installation_rules.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule.h"
#include "langmodule/langmodule_testing.h"
#include "session/launch.h"
#include "session/shared_state.h"
#include "support/key_input.h"
#include "support/pe_image.h"
#include "support/test_support.h"
#include "support/wine_drives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace {

std::vector<std::string> g_shownTexts;
WNDPROC g_staticProc = nullptr;
std::string g_shiftAtText;  // the shown text at which the left Shift key goes down

// A key of the real keyboard state, as the operator presses it; the scan reads the physical state.
// Wine tells the right Shift key from the left one only by the extended flag.
void PressKey(WORD vk, bool down)
{
    INPUT input = KeyInput(vk, !down);
    if (vk == VK_RSHIFT) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    SendInput(1, &input, sizeof input);
}

LRESULT CALLBACK RecordingStaticProc(HWND window, UINT message, WPARAM wp, LPARAM lp)
{
    if (message == WM_SETTEXT) {
        g_shownTexts.push_back(reinterpret_cast<const char*>(lp));
        if (g_shownTexts.back() == g_shiftAtText) PressKey(VK_LSHIFT, true);
    }
    return CallWindowProcA(g_staticProc, window, message, wp, lp);
}

// The drive letters are machine-wide: cases hold a named mutex so that the ones running in
// parallel processes take turns.
class TargetScanTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(WaitForSingleObject(turn_.get(), 120000), WAIT_TIMEOUT);
        machineKeys_ = RegSubKeyNames(HKEY_LOCAL_MACHINE);
        Shared().Settings.LangModuleName = "LangPack.dll";
        ForgetLangModule();
        scan_ = CreateLangDialog(IDD_SCAN, nullptr);
        ASSERT_TRUE(scan_);
        HWND status = GetDlgItem(scan_, IDC_SCAN_STATUS);
        g_staticProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(status, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingStaticProc)));
    }
    void TearDown() override
    {
        PressKey(VK_LSHIFT, false);
        DestroyWindow(scan_);
        scan_ = nullptr;
        targets_.Clear();
        Shared().Settings = TSettings();
        ForgetLangModule();
        ForgetInstallationNames();
        EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE), machineKeys_) << "the scan reads hives without mounting them";
        ReleaseMutex(turn_.get());
    }
    // The entries found on one drive, as "Path|Description", after a fresh scan.
    std::vector<std::string> Scan(const std::string& root)
    {
        g_shownTexts.clear();
        targets_.Clear();
        BuildTargetList(targets_,
                        [this](const std::string& text) { SetDlgItemTextA(scan_, IDC_SCAN_STATUS, text.c_str()); });
        std::vector<std::string> found;
        for (size_t i = 0; i < targets_.Count(); ++i) {
            const TLokInfo& target = targets_.At(i);
            if (target.Path.compare(0, root.size(), root) == 0) found.push_back(target.Path + "|" + target.Description);
        }
        return found;
    }
    bool Shown(char lower) const
    {
        std::string text = LoadLangString(IDS_SCANNING_DRIVE) + lower + ":\\";
        return std::find(g_shownTexts.begin(), g_shownTexts.end(), text) != g_shownTexts.end();
    }

    UniqueHandle turn_{CreateMutexA(nullptr, FALSE, "TarnTargetScanTests")};
    HWND scan_ = nullptr;
    TTargetList targets_;
    std::vector<std::string> machineKeys_;
};

// The file held by "another program" for as long as it lives, shared as given.
UniqueFile HoldFile(const std::string& path, DWORD access, DWORD sharing)
{
    return UniqueFile(CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string LogLineWith(const std::vector<std::string>& lines, const std::string& part, const std::string& also = "")
{
    for (const std::string& line : lines) {
        if (line.find(part) != std::string::npos && line.find(also) != std::string::npos) return line;
    }
    return std::string();
}

}  // namespace

TEST_F(TargetScanTest, DescribesEachInstallationFromItsOwnHive)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const std::string m = drive.Root();
    const std::string unknown = LoadLangString(IDS_UNKNOWN_PRODUCT);
    ASSERT_FALSE(unknown.empty());
    std::map<std::string, std::string> expected = {
        {"Full", "Tarn OS Service Pack 2"}, {"NoCsd", "Tarn Server"},
        {"DwordName", "SP1"},                {"BinaryCsd", "Tarn OS"},
        {"NoHive", unknown},                 {"Garbage", unknown},
        {"HiveIsFolder", unknown},           {"NoVersionKey", unknown},
        {"NoValues", ""},                    {"Eleven", "Windows 11 Pro 23H2 (64-bit)"},
        {"FarHeader", "Windows 10 (ARM64)"}, {"KernelNoImage", "Tarn OS 1909"},
        {"CutShort", unknown},               {"Edition", "Tarn OS \xC9" "dition"}};
    MakeInstallation(m + "Full", {{"ProductName", Sz("Tarn OS")}, {"CSDVersion", Sz("Service Pack 2")}});
    MakeInstallation(m + "Eleven", {{"ProductName", Sz("Windows 10 Pro")}, {"CurrentBuildNumber", Sz("22631")},
                                    {"DisplayVersion", Sz("23H2")}, {"ReleaseId", Sz("2009")}});
    WriteBytes(m + "Eleven\\system32\\ntoskrnl.exe", PeImage(0x8664, 0xF8, 0x2000));
    // A build of the wrong type is no build: "Windows 10" stays.
    MakeInstallation(m + "FarHeader", {{"ProductName", Sz("Windows 10")}, {"CurrentBuild", {REG_DWORD, "\x10\x60\0\0"}}});
    WriteBytes(m + "FarHeader\\system32\\ntoskrnl.exe", PeImage(0xAA64, 0xFFE, 0x2000));  // across the first 4 KB
    MakeInstallation(m + "KernelNoImage", {{"ProductName", Sz("Tarn OS")}, {"ReleaseId", Sz("1909")}});
    WriteBytes(m + "KernelNoImage\\system32\\ntoskrnl.exe", "MZ");
    MakeInstallation(m + "NoCsd", {{"ProductName", Sz("Tarn Server")}});
    MakeInstallation(m + "DwordName", {{"ProductName", {REG_DWORD, "\1\0\0\0"}}, {"CSDVersion", Sz("SP1")}});
    MakeInstallation(m + "BinaryCsd", {{"ProductName", Sz("Tarn OS")}, {"CSDVersion", {REG_BINARY, "xy"}}});
    MakeInstallation(m + "NoVersionKey", {{"ProductName", Sz("Tarn OS")}}, "Microsoft\\Windows");
    MakeInstallation(m + "NoValues", {});
    // Text beyond ASCII is stored in UTF-16 and comes back in the program's code page.
    MakeInstallation(m + "Edition", {{"ProductName", Sz("Tarn OS \xC9" "dition")}});
    // A hive cut short, as a copy that broke off leaves it: the base block and the root's first bytes.
    MakeInstallation(m + "CutShort", {{"ProductName", Sz("Tarn OS")}});
    const std::string cut = m + "CutShort\\system32\\config\\software";
    WriteBytes(cut, ReadBytes(cut).substr(0, 4096 + 48));
    CreateFolders(m + "NoHive\\system32\\config");
    WriteBytes(m + "NoHive\\system32\\ntoskrnl.exe", PeImage(0x8664));
    CreateFolders(m + "Garbage\\system32\\config");
    WriteBytes(m + "Garbage\\system32\\config\\software", "not a hive at all");
    CreateFolders(m + "HiveIsFolder\\system32\\config\\software");
    CreateFolders(m + "ConfigIsFile\\system32");
    WriteBytes(m + "ConfigIsFile\\system32\\config", "");
    CreateDirectoryA((m + "Plain").c_str(), nullptr);
    WriteBytes(m + "file.txt", "");

    CaseFolder logFolder;
    StartRunLog(logFolder.File("run.log"));
    std::vector<std::string> found = Scan(m);
    StartRunLog(std::string());

    std::vector<std::string> inFolderOrder;  // the file system's order, which the list keeps
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((m + "*").c_str(), &entry));
    for (bool more = bool(find); more; more = FindNextFileA(find.get(), &entry)) {
        if (expected.count(entry.cFileName)) inFolderOrder.push_back(m + entry.cFileName + "|" + expected[entry.cFileName]);
    }
    EXPECT_EQ(found, inFolderOrder);
    EXPECT_EQ(found.size(), expected.size());
    EXPECT_TRUE(Shown('m'));
    // An installation listed as unknown because its hive could not be read has the reason on
    // record. (A hive that is no file is not tried.)
    std::vector<std::string> refusals;
    for (const std::string& line : ReadLines(logFolder.File("run.log"))) {
        const size_t at = line.find(" hive file=");
        if (at != std::string::npos) refusals.push_back(line.substr(at + 1, line.find(" reason=") - at - 1));
    }
    std::sort(refusals.begin(), refusals.end());
    EXPECT_EQ(refusals, (std::vector<std::string>{"hive file=M:\\CutShort\\system32\\config\\software result=unreadable",
                                                  "hive file=M:\\Garbage\\system32\\config\\software result=unreadable",
                                                  "hive file=M:\\NoVersionKey\\system32\\config\\software result=no-key"}));
}

TEST_F(TargetScanTest, SearchesOnlyFixedDrivesShowsEveryDriveAndEndsWithTheNoTargetEntry)
{
    TestDrive fixed('M', DRIVE_FIXED), cdrom('N', DRIVE_CDROM), removable('O', DRIVE_REMOVABLE);
    ASSERT_TRUE(fixed.Ok() && cdrom.Ok() && removable.Ok());
    for (const TestDrive* drive : {&fixed, &cdrom, &removable}) {
        MakeInstallation(drive->Root() + "Windows", {{"ProductName", Sz("Tarn OS")}});
    }

    EXPECT_EQ(Scan("M:\\"), std::vector<std::string>{"M:\\Windows|Tarn OS"});
    EXPECT_TRUE(Scan("N:\\").empty());
    EXPECT_TRUE(Scan("O:\\").empty());
    EXPECT_TRUE(Shown('m') && Shown('n') && Shown('o'));

    // The test prefix is marked as Windows PE: its own Windows folder is named for what it is.
    char windows[MAX_PATH] = "";
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 3u);
    const std::string config = std::string(windows) + "\\system32\\config";
    bool made = CreateDirectoryA(config.c_str(), nullptr) != FALSE;
    ScopeExit unmake([&] { if (made) RemoveDirectoryA(config.c_str()); });
    std::vector<std::string> own = Scan(std::string(windows, 3));
    EXPECT_NE(std::find(own.begin(), own.end(), std::string(windows) + "|" + LoadLangString(IDS_RUNNING_PE)), own.end());

    const TLokInfo& last = targets_.At(targets_.Count() - 1);
    EXPECT_EQ(last.Path, LoadLangString(IDS_NO_TARGET_FOLDER));
    EXPECT_EQ(last.Description, LoadLangString(IDS_NO_TARGET_DESCRIPTION));
    EXPECT_FALSE(last.Path.empty());
}

TEST_F(TargetScanTest, LeftShiftStopsTheScanAtTheNextDrive)
{
    TestDrive first('M', DRIVE_FIXED), second('N', DRIVE_FIXED);
    ASSERT_TRUE(first.Ok() && second.Ok());
    MakeInstallation("M:\\Windows", {{"ProductName", Sz("First")}});
    MakeInstallation("N:\\Windows", {{"ProductName", Sz("Second")}});

    // Wine sets the key state to X's when a window of the thread gets the focus, and the scan's
    // first look at the queue would take the new scan dialog's focus events.
    PumpMessagesFor(200);
    PressKey(VK_LSHIFT, true);
    Scan("M:\\");
    EXPECT_EQ(targets_.Count(), 1u) << "only the no-target entry";
    EXPECT_TRUE(g_shownTexts.empty());
    PressKey(VK_LSHIFT, false);

    PressKey(VK_RSHIFT, true);
    EXPECT_EQ(Scan("N:\\").size(), 1u) << "the right Shift key does not stop";
    PressKey(VK_RSHIFT, false);

    g_shiftAtText = LoadLangString(IDS_SCANNING_DRIVE) + "m:\\";
    EXPECT_EQ(Scan("M:\\").size(), 1u) << "the drive shown before the key went down is still searched";
    EXPECT_TRUE(Scan("N:\\").empty() && !Shown('n')) << "later drives are not";
    g_shiftAtText.clear();
}

// A later pass gives what an earlier one read, without reading the file again, while it stays
// as it was. The test holds the hive without sharing meanwhile: a read would give the
// unreadable-product text, a remembered description does not.
TEST_F(TargetScanTest, LaterPassesReadAgainOnlyWhatChanged)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const std::string windows = "M:\\Windows", kernel = windows + "\\system32\\ntoskrnl.exe",
                      hive = windows + "\\system32\\config\\software";
    MakeInstallation(windows, {{"ProductName", Sz("Tarn OS")}, {"DisplayVersion", Sz("23H2")}});
    WriteBytes(kernel, PeImage(0x8664));
    auto found = [&](const std::string& description) { return std::vector<std::string>{windows + "|" + description}; };
    const std::string unknown = LoadLangString(IDS_UNKNOWN_PRODUCT);

    EXPECT_EQ(Scan("M:\\"), found("Tarn OS 23H2 (64-bit)"));
    {
        UniqueFile held = HoldFile(hive, GENERIC_READ, 0);
        ASSERT_TRUE(held);
        EXPECT_EQ(Scan("M:\\"), found("Tarn OS 23H2 (64-bit)")) << "unchanged files: not read again";
        EXPECT_TRUE(Shown('m'));
        // A kernel restored from a backup: the same size, an older last-write time.
        WriteBytes(kernel, PeImage(0x014C));
        SetLastWriteDay(kernel, 2021, 1, 1);
        EXPECT_EQ(Scan("M:\\"), found("Tarn OS 23H2 (32-bit)")) << "a changed kernel is read again, the hive is not";
    }
    SetLastWriteDay(hive, 2021, 1, 1);
    {
        UniqueFile held = HoldFile(hive, GENERIC_READ, 0);
        EXPECT_EQ(Scan("M:\\"), found(unknown)) << "a changed hive is read again";
    }
    EXPECT_EQ(Scan("M:\\"), found("Tarn OS 23H2 (32-bit)")) << "a hive that could not be read is not remembered";
    DeleteFileA(hive.c_str());
    MakeInstallation(windows, {{"ProductName", Sz("Tarn OS Next")}, {"DisplayVersion", Sz("24H2")}});
    EXPECT_EQ(Scan("M:\\"), found("Tarn OS Next 24H2 (32-bit)")) << "a rewritten hive";
    DeleteFileA(kernel.c_str());
    EXPECT_EQ(Scan("M:\\"), found("Tarn OS Next 24H2")) << "the kernel gone";
    DeleteFileA(hive.c_str());
    EXPECT_EQ(Scan("M:\\"), found(unknown)) << "the hive gone";
}

// Hives are read where they lie, whatever state they are in: saved, or with changes still in
// their .LOG files after a Windows that did not shut down cleanly (read from the primary file,
// noted in the log). A pass writes nothing to them: their bytes and last-write times stay.
TEST_F(TargetScanTest, APassLeavesEveryHiveFileAsItWas)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const std::string m = drive.Root();
    MakeInstallation(m + "Windows", {{"ProductName", Sz("Tarn OS")}});
    MakeSystemHive(m + "Windows", 1, {{"TimeZoneKeyName", Sz("UTC")}});
    const std::string dirty = m + "Dirty\\system32\\config\\";
    CreateFolders(dirty);
    MakeHive(dirty + "software", {{"Microsoft\\Windows NT\\CurrentVersion", {{"ProductName", Sz("Tarn Dirty")}}}}, true);
    MakeHive(dirty + "system", {{"Select", {{"Current", Dword(1)}}},
                                {"ControlSet001\\Control\\TimeZoneInformation", {{"TimeZoneKeyName", Sz("UTC")}}}},
             true);
    for (const char* log : {"software.LOG1", "software.LOG2", "system.LOG1"}) WriteBytes(dirty + log, std::string(512, 'L'));

    using Snapshot = std::map<std::string, std::pair<std::string, uint64_t>>;  // bytes and last-write time
    auto snapshot = [&] {
        Snapshot files;
        for (const std::string& config : {m + "Windows\\system32\\config\\", dirty}) {
            WIN32_FIND_DATAA entry;
            UniqueFind find(FindFirstFileA((config + "*").c_str(), &entry));
            for (bool more = bool(find); more; more = FindNextFileA(find.get(), &entry)) {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                const uint64_t written = uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32 | entry.ftLastWriteTime.dwLowDateTime;
                files[config + entry.cFileName] = {ReadBytes(config + entry.cFileName), written};
            }
        }
        return files;
    };
    // Times of long ago, which any write would bring up to now.
    for (const auto& [path, file] : snapshot()) SetLastWriteDay(path, 2020, 2, 2);
    const Snapshot before = snapshot();
    ASSERT_EQ(before.size(), 7u);

    CaseFolder logs;
    StartRunLog(logs.File("run.log"));
    std::vector<std::string> found = Scan(m);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{m + "Dirty|Tarn Dirty", m + "Windows|Tarn OS"}));
    StartRunLog(std::string());
    EXPECT_EQ(snapshot(), before);
    const std::vector<std::string> lines = ReadLines(logs.File("run.log"));
    for (const char* hive : {"software", "system"}) {
        EXPECT_NE(LogLineWith(lines, " hive file=" + dirty + hive + " note=", ".LOG"), "") << hive;
    }
    EXPECT_EQ(LogLineWith(lines, " hive file=" + m + "Windows"), "") << "a clean hive is read without a note";
}

// The processor words come from the language module; a module made before they existed
// (the test module) gets the English ones.
TEST_F(TargetScanTest, ProcessorWordsFromTheModuleOrInEnglish)
{
    CaseFolder folder;
    for (uint16_t machine : {0x014C, 0x8664, 0xAA64}) {
        const std::string windows = folder.Path() + std::to_string(machine);
        MakeInstallation(windows, {{"ProductName", Sz("Tarn OS")}});
        WriteBytes(windows + "\\system32\\ntoskrnl.exe", PeImage(machine));
    }
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"LangPack_de.dll", {"Tarn OS (32-Bit)", "Tarn OS (64-Bit)", "Tarn OS (ARM64)"}},
        {"TestLang.dll", {"Tarn OS (32-bit)", "Tarn OS (64-bit)", "Tarn OS (ARM64)"}},
    };
    for (const auto& [module, expected] : rows) {
        Shared().Settings.LangModuleName = module;
        ForgetLangModule();
        ForgetInstallationNames();
        std::vector<std::string> described;
        for (uint16_t machine : {0x014C, 0x8664, 0xAA64}) {
            described.push_back(ReadInstallationName(folder.Path() + std::to_string(machine)));
        }
        EXPECT_EQ(described, expected) << module;
    }
}

// Another program may hold a hive open when the scan starts (a backup or a virus scanner). The
// scan opens it for reading with every kind of sharing, so it reads a hive whoever holds it
// with sharing, and stands in nobody's way; one held without sharing is listed without its
// product name, its holder keeps it, and the refusal is on record.
TEST_F(TargetScanTest, HiveHeldByAnotherProgramIsReadOrLeftToItsHolder)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const std::string hive = "M:\\Windows\\system32\\config\\software";
    MakeInstallation("M:\\Windows", {{"ProductName", Sz("Tarn OS")}});
    const std::string bytes = ReadBytes(hive);
    const std::string unknown = LoadLangString(IDS_UNKNOWN_PRODUCT);
    struct Row {
        const char* label;
        DWORD access, sharing;
        std::string found;
    };
    const Row rows[] = {
        {"written, shared for reading and writing", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
         "Tarn OS"},
        {"written, shared for reading", GENERIC_WRITE, FILE_SHARE_READ, "Tarn OS"},
        {"read, shared for nothing", GENERIC_READ, 0, unknown},
    };
    CaseFolder logs;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ForgetInstallationNames();
        UniqueFile held = HoldFile(hive, row.access, row.sharing);
        ASSERT_TRUE(held);
        StartRunLog(logs.File(std::string(row.label) + ".log"));
        EXPECT_EQ(Scan("M:\\"), std::vector<std::string>{"M:\\Windows|" + row.found});
        StartRunLog(std::string());
        const std::string refusal = LogLineWith(ReadLines(logs.File(std::string(row.label) + ".log")),
                                                " hive file=" + hive + " result=cannot-open reason=\"error 32: ");
        EXPECT_EQ(refusal != "", row.found == unknown) << refusal;
    }
    EXPECT_EQ(ReadBytes(hive), bytes);
}

// A drive root as full as any, made by a Unix shell (see FillWithFolders).
TEST_F(TargetScanTest, TimePerThousandFolders)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const int kFolders = 100000;
    ASSERT_TRUE(drive.FillWithFolders(kFolders));
    for (int i : {10, 50000, 99990}) MakeInstallation("M:\\folder" + std::to_string(i), {{"ProductName", Sz("Tarn")}});

    auto start = std::chrono::steady_clock::now();
    size_t found = Scan("M:\\").size();
    auto perThousand = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000 / kFolders;

    std::printf("[ TIMING   ] target scan: %.1f ms per 1,000 folders, %.1f s for %d\n", perThousand * 1000,
                perThousand * kFolders / 1000, kFolders);
    EXPECT_EQ(found, 3u);
    EXPECT_LT(perThousand, 0.3) << "the whole scan stays well under half a minute";
    EXPECT_TRUE(drive.Empty());
}

// The zone comes from the control set that Select\Current names. A later pass takes it from
// memory while the SYSTEM hive keeps its stamp: the test holds the hives without sharing to tell.
TEST_F(TargetScanTest, ZoneOfTheCurrentControlSetReadOncePerChangeOfTheHive)
{
    TestDrive drive('M', DRIVE_FIXED);
    ASSERT_TRUE(drive.Ok());
    const std::string m = drive.Root();
    const HiveData qwordOne = {REG_QWORD, std::string("\1\0\0\0\0\0\0\0", 8)};
    struct Row {
        const char* folder;
        uint32_t current, zoneSet;
        HiveValues zone;
        const char* key;
        const char* name;
        bool utc;
    };
    const Row rows[] = {
        {"Second", 2, 2, {{"TimeZoneKeyName", Sz("W. Europe Standard Time")}, {"RealTimeIsUniversal", Dword(1)}},
         "W. Europe Standard Time", "", true},
        {"OtherSet", 1, 2, {{"TimeZoneKeyName", Sz("Tokyo Standard Time")}}, "", "", false},
        {"Qword", 1, 1, {{"TimeZoneKeyName", Sz("UTC")}, {"RealTimeIsUniversal", qwordOne}}, "UTC", "", true},
        {"ClockText", 1, 1, {{"TimeZoneKeyName", Sz("UTC")}, {"RealTimeIsUniversal", Sz("1")}}, "UTC", "", false},
        {"Xp", 1, 1, {{"StandardName", Sz("Pacific Standard Time")}}, "", "Pacific Standard Time", false},
        {"Mui", 1, 1, {{"TimeZoneKeyName", Sz("Pacific Standard Time")}, {"StandardName", Sz("@tzres.dll,-212")}},
         "Pacific Standard Time", "", false},
        {"WrongType", 1, 1, {{"TimeZoneKeyName", Dword(5)}}, "", "", false},
        {"NoSelect", 0, 1, {{"TimeZoneKeyName", Sz("UTC")}}, "", "", false},
    };
    for (const Row& row : rows) {
        MakeInstallation(m + row.folder, {{"ProductName", Sz("Tarn OS")}});
        MakeSystemHive(m + row.folder, row.current, row.zone, row.zoneSet);
    }
    MakeInstallation(m + "NoSystemHive", {{"ProductName", Sz("Tarn OS")}});
    CaseFolder logs;
    auto scanLogged = [&](const std::string& log) {
        StartRunLog(logs.File(log));
        Scan(m);
        StartRunLog(std::string());
        return ReadLines(logs.File(log));
    };
    auto target = [this](const std::string& path) -> const TLokInfo& {
        for (size_t i = 0; i < targets_.Count(); ++i) {
            if (targets_.At(i).Path == path) return targets_.At(i);
        }
        static const TLokInfo none;
        ADD_FAILURE() << path << " not listed";
        return none;
    };

    for (const char* log : {"first.log", "second.log"}) {
        SCOPED_TRACE(log);
        const bool again = std::string(log) == "second.log";
        std::vector<UniqueFile> held;
        for (const Row& row : rows) {
            if (again) held.push_back(HoldFile(m + row.folder + "\\system32\\config\\system", GENERIC_READ, 0));
        }
        const std::vector<std::string> lines = scanLogged(log);
        for (const Row& row : rows) {
            SCOPED_TRACE(row.folder);
            const std::string path = m + row.folder;
            EXPECT_EQ(target(path).TimeZoneKey, row.key);
            EXPECT_EQ(target(path).TimeZoneName, row.name);
            EXPECT_NE(LogLineWith(lines, " zone installation=" + path + " read=" + (again ? "remembered" : "hive")), "");
            EXPECT_EQ(LogLineWith(lines, " zone installation=" + path + " note=", "RealTimeIsUniversal") != "", row.utc);
        }
        EXPECT_EQ(target(m + "NoSystemHive").TimeZoneKey, "");
        EXPECT_NE(LogLineWith(lines, " zone installation=" + m + "NoSystemHive read=no-hive"), "");
        for (const UniqueFile& file : held) EXPECT_TRUE(file);
    }

    // A rewritten hive is read again; while another program holds it without sharing, it reads
    // as no zone and is not remembered.
    MakeSystemHive(m + "Second", 1, {{"TimeZoneKeyName", Sz("AUS Eastern Standard Time")}});
    {
        UniqueFile held = HoldFile(m + "Second\\system32\\config\\system", GENERIC_READ, 0);
        EXPECT_NE(LogLineWith(scanLogged("held.log"), " zone installation=" + m + "Second read=failed"), "");
        EXPECT_EQ(target(m + "Second").TimeZoneKey, "");
    }
    scanLogged("third.log");
    EXPECT_EQ(target(m + "Second").TimeZoneKey, "AUS Eastern Standard Time");
}

// Wine takes a drive's label from the .windows-label file in its root when the mount manager
// defines the drive, so the drive is defined again once the file is there.
TEST_F(TargetScanTest, VolumeColumnGivesLabelAndSizeReadOncePerDrive)
{
    TestDrive labelled('M', DRIVE_FIXED), plain('N', DRIVE_FIXED);
    ASSERT_TRUE(labelled.Ok() && plain.Ok());
    WriteBytes(labelled.Root() + ".windows-label", "OS");
    ASSERT_TRUE(DefineDrive('M', DRIVE_FIXED, labelled.UnixPath()));
    for (const char* folder : {"M:\\Windows", "M:\\Windows.old", "N:\\Windows"}) {
        MakeInstallation(folder, {{"ProductName", Sz("Tarn OS")}});
    }
    // M: holds the image of a Windows shut down with Fast Startup; N: one that was resumed from.
    WriteBytes("M:\\hiberfil.sys", "HIBR" + std::string(4092, '\0'));
    WriteBytes("N:\\hiberfil.sys", "wake" + std::string(4092, '\0'));
    auto sizeOf = [](const std::string& root) {
        ULARGE_INTEGER total{};
        EXPECT_TRUE(GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr));
        return VolumeSizeText(total.QuadPart, '.');
    };
    CaseFolder logs;
    StartRunLog(logs.File("run.log"));
    Scan("M:\\");
    StartRunLog(std::string());
    std::map<std::string, std::string> volumes;
    for (size_t i = 0; i < targets_.Count(); ++i) {
        volumes[targets_.At(i).Path] = targets_.At(i).Volume;
    }
    EXPECT_EQ(volumes["M:\\Windows"], "OS, " + sizeOf("M:\\") + ", hibernated");
    EXPECT_EQ(volumes["M:\\Windows.old"], "OS, " + sizeOf("M:\\") + ", hibernated");
    EXPECT_EQ(volumes["N:\\Windows"], sizeOf("N:\\")) << "no label: the size alone";
    EXPECT_EQ(volumes[LoadLangString(IDS_NO_TARGET_FOLDER)], "");
    const std::vector<std::string> lines = ReadLines(logs.File("run.log"));
    EXPECT_NE(LogLineWith(lines, " scan installation=M:\\Windows.old ", " volume=hibernated"), "");
    EXPECT_EQ(LogLineWith(lines, " scan installation=N:\\Windows ", " volume=hibernated"), "");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) { return line.find(" volume drive=M: ") != std::string::npos; }),
              1) << "read once for both installations";
}
