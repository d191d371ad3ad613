// The measuring side of `make bench` (tools/bench.sh). Each call takes one sample of a group of
// figures and prints them as "name value" lines; the runner calls it several times and
// tools/bench_report.py turns the lines into the table. The real tarn_logon.exe is measured from
// outside wherever that is possible; only the catalogue builders are called in-process.
//   dialog <command line> [label]  process start until a visible window with the target list
//   session <exe> <work folder>  one pass of the real program: start to dialog, OK, a shell that
//                               sleeps, idle CPU for 10 s, Ctrl+Alt+Del latency, the floor of a
//                               bare ShellExecuteA, peak working set
//   scan <label> <run>          BuildTargetList against a bare loop over the root of D:
//   repeat                      BuildTargetList twice: the first pass of a run, then a later one
//                               over files that have not changed since
//   catalogues                  the other three builders
//   startup                     where the program's start-up time goes: its own procedures, in
//                               the order of RunLogonShell, timed one by one in this process
//   password                    one logon check against a PassKey as set mode writes it
#include "catalogues/display_modes.h"
#include "catalogues/layouts.h"
#include "catalogues/targets.h"
#include "catalogues/timezones.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/environment_dialog.h"
#include "langmodule/langmodule.h"
#include "password/pass_key_derive.h"
#include "password/password_dialog.h"
#include "shellctl/autorun.h"
#include "session/launch.h"
#include "shellctl/settings.h"
#include "session/shared_state.h"
#include "support/key_input.h"
#include "support/observe.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kIdleWindowMs = 10000;
constexpr int kChordsPerSession = 5;
constexpr DWORD kPatienceMs = 30000;

long long g_frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}();

long long Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double TicksToMs(long long ticks) { return static_cast<double>(ticks) * 1000.0 / static_cast<double>(g_frequency); }
double NowMs() { return TicksToMs(Ticks()); }

void Report(const std::string& name, double value)
{
    std::printf("%s %.3f\n", name.c_str(), value);
    std::fflush(stdout);
}

// Polls with short sleeps: the sleep bounds the error of a timed wait, and a wait that spins
// would take a processor from the program being measured on a small machine.
bool PollUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pauseMs = 1)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(pauseMs);
    }
    return true;
}

// Milliseconds from just before CreateProcessA until the environment dialog (or the baseline's
// copy of its template) is visible; negative when it did not appear.
double TimeToDialog(std::string commandLine, ProcessInfo& process)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    double start = NowMs();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process.put())) {
        return -1;
    }
    DWORD id = process.ProcessId();
    if (!PollUntil([id] { return FindProcessWindowWithControl(id, IDC_ENV_TARGETS) != nullptr; }, kPatienceMs)) return -1;
    return NowMs() - start;
}

void EndProcess(HANDLE process)
{
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 5000);
}

// Milliseconds from the stamp that trigger returns until the next probe run recorded in the
// log started, or negative when none started. The probe takes its stamp first thing in WinMain.
double TimeToNextRun(const std::string& log, const std::function<long long()>& trigger)
{
    size_t before = ReadProbeLog(log).size();
    long long since = trigger();
    if (!PollUntil([&] { return ReadProbeLog(log).size() > before; }, 10000, 2)) return -1;
    long long started = std::strtoll(ReadProbeLog(log)[before]["qpc"].c_str(), nullptr, 10);
    return TicksToMs(started - since);
}

// ---- CPU time and memory of the program under test ----

unsigned long long FileTime(const FILETIME& t)
{
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// User and kernel time of all threads, in ms: under Wine, GetProcessTimes of another process can
// be stale, while GetThreadTimes is live.
double ThreadCpuMs(DWORD processId)
{
    unsigned long long total = 0;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Thread32First(snapshot.get(), &entry)) return -1;
    do {
        if (entry.th32OwnerProcessID != processId) continue;
        UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created, exited, kernel, user;
        if (thread && GetThreadTimes(thread.get(), &created, &exited, &kernel, &user)) {
            total += FileTime(kernel) + FileTime(user);
        }
    } while (Thread32Next(snapshot.get(), &entry));
    return static_cast<double>(total) / 10000.0;
}

double ProcessCpuMs(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return -1;
    return static_cast<double>(FileTime(kernel) + FileTime(user)) / 10000.0;
}

// Marks a moment for the runner, which reads the Linux side of the same window from /proc.
void Mark(const std::string& work, const char* name)
{
    UniqueFile marker(CreateFileA((work + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

// The whole chord in one call: Wine's GetAsyncKeyState, which the hook asks for the modifiers,
// may lag behind keys injected one call at a time.
void PressCtrlAltDel()
{
    INPUT keys[] = {KeyInput(VK_CONTROL, false), KeyInput(VK_MENU, false), KeyInput(VK_DELETE, false),
                    KeyInput(VK_DELETE, true),   KeyInput(VK_MENU, true),  KeyInput(VK_CONTROL, true)};
    SendInput(6, keys, sizeof(INPUT));
}

void MeasureIdle(const ProcessInfo& logon, const std::string& work)
{
    double threads0 = ThreadCpuMs(logon.ProcessId());
    double process0 = ProcessCpuMs(logon.Process());
    double start = NowMs();
    Mark(work, "idle.begin");
    Sleep(kIdleWindowMs);
    Mark(work, "idle.end");
    double wall = NowMs() - start;
    Report("idle_cpu_pct", (ThreadCpuMs(logon.ProcessId()) - threads0) * 100.0 / wall);
    Report("idle_cpu_pct_process_times", (ProcessCpuMs(logon.Process()) - process0) * 100.0 / wall);
}

// A start that never came is counted apart, not mixed into the times.
void ReportStart(const std::string& name, double ms)
{
    if (ms >= 0) {
        Report(name + "_ms", ms);
    } else {
        Report(name + "_missed", 1);
    }
}

// How many chords the program's run log says its hook recognised.
size_t ChordsOnRecord(const std::string& runLog)
{
    size_t count = 0;
    for (const std::string& line : SplitLines(ReadWholeFile(runLog, 64u << 20).value_or(std::string()))) {
        count += line.find(" hotkey chord=Ctrl+Alt+Del ") != std::string::npos;
    }
    return count;
}

void MeasureChords(const std::string& probe, const std::string& cadLog)
{
    // The program logs to its default place, %TEMP% as it inherits it from here. A chord that
    // starts nothing is told apart there: recognised by the hook (the start failed or its
    // program did not get as far as its record), or never recognised.
    const std::string runLog = ExpandCommand("%TEMP%\\tarn_logon.log");
    for (int i = 0; i < kChordsPerSession; ++i) {
        Sleep(150);  // the previous chord's program has ended and the program polls again
        size_t recognised = ChordsOnRecord(runLog);
        double ms = TimeToNextRun(cadLog, [] {
            long long since = Ticks();
            PressCtrlAltDel();
            return since;
        });
        ReportStart("hotkey", ms);
        if (ms < 0) Report(ChordsOnRecord(runLog) > recognised ? "hotkey_missed_recognised" : "hotkey_missed_unseen", 1);
    }
    // The same program through the same call from a process that waits for nothing: what Wine
    // itself needs to start a program.
    for (int i = 0; i < kChordsPerSession; ++i) {
        Sleep(150);
        ReportStart("hotkey_floor", TimeToNextRun(cadLog, [&] {
                        long long since = Ticks();
                        ShellExecuteA(nullptr, nullptr, probe.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
                        return since;
                    }));
    }
}

void EndShell(const std::string& shellLog)
{
    for (const ProbeRun& run : ReadProbeLog(shellLog)) {
        DWORD id = std::strtoul(run["pid"].c_str(), nullptr, 10);
        UniqueHandle shell(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (shell) EndProcess(shell.get());
    }
}

int RunSession(const std::string& exe, std::string work)
{
    if (work.back() != '\\') work += '\\';
    const std::string shellLog = work + "shell.log";
    const std::string cadLog = work + "cad.log";
    DeleteFileA(shellLog.c_str());
    // The chord's program is started without arguments and finds its log through the environment
    // it inherits from the logon shell, which inherits it from here.
    SetEnvironmentVariableA("TARN_PROBE_LOG", cadLog.c_str());

    ProcessInfo logon;
    double toDialog = TimeToDialog("\"" + exe + "\"", logon);
    ScopeExit end([&] {
        EndShell(shellLog);
        if (logon.Process()) EndProcess(logon.Process());
    });
    if (toDialog < 0) return 2;
    Report("dialog_product_ms", toDialog);

    PostMessageA(FindProcessWindowWithControl(logon.ProcessId(), IDC_ENV_TARGETS), WM_COMMAND, IDOK, 0);
    if (!PollUntil([&] { return !ReadProbeLog(shellLog).empty(); }, kPatienceMs, 5)) return 3;
    Sleep(1000);  // the shell's own start and the setting-change broadcast are over

    MeasureIdle(logon, work);
    MeasureChords(ExecutableFolder() + "probe.exe", cadLog);

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(logon.Process(), &memory, sizeof memory)) {
        Report("peak_working_set_kb", static_cast<double>(memory.PeakWorkingSetSize) / 1024.0);
    }
    Mark(work, "session.end");
    Sleep(300);  // the runner reads the Linux side while the program still runs
    return 0;
}

int RunDialog(const std::string& commandLine, const std::string& label)
{
    ProcessInfo process;
    double ms = TimeToDialog(commandLine, process);
    if (process.Process()) EndProcess(process.Process());
    if (ms < 0) return 2;
    Report("dialog_" + label + "_ms", ms);
    return 0;
}

// ---- catalogue builders, in-process ----

// What any scan of the root must do: list it and ask once per folder whether the marker folder
// of an installation is there (the same path the product asks for).
size_t BareLoop(const std::string& root)
{
    size_t found = 0;
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((root + "*.*").c_str(), &entry));
    if (!find) return 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        DWORD attributes = GetFileAttributesA((root + entry.cFileName + "\\system32\\config\\").c_str());
        found += attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (FindNextFileA(find.get(), &entry));
    return found;
}

// The first window of a process brings up Wine's display driver (a connection to the X server).
void BringUpDisplayDriver()
{
    DestroyWindow(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
}

template <class List>
double TimeBuilder(void (*builder)(List&), size_t* count = nullptr)
{
    List list;
    double start = NowMs();
    builder(list);
    double ms = NowMs() - start;
    if (count) *count = list.Count();
    return ms;
}

// The scan without a scan dialog to show its progress in.
void BuildTargets(TTargetList& list) { BuildTargetList(list, ScanProgress()); }

// Each side runs kScanRounds times, alternating, and the fastest round counts: the figure is
// what the code costs, not what other processes on the machine took from it meanwhile.
constexpr int kScanRounds = 3;

int RunScan(const std::string& label, int run)
{
    LoadLangModule();
    BareLoop("D:\\");  // code and tables paged in before either is timed
    double bare = 1e30, build = 1e30;
    size_t entries = 0;
    // Alternating order, so that neither side always runs second on a warmed cache.
    for (int round = 0; round < 2 * kScanRounds; ++round) {
        if ((round + run) % 2 == 0) {
            double start = NowMs();
            BareLoop("D:\\");
            bare = std::min(bare, NowMs() - start);
        } else {
            ForgetInstallationNames();  // every round a first pass, which reads every hive
            build = std::min(build, TimeBuilder(BuildTargets, &entries));
        }
    }
    Report("scan_bare_" + label + "_ms", bare);
    Report("scan_build_" + label + "_ms", build);
    Report("scan_entries_" + label, static_cast<double>(entries));
    return 0;
}

// The first pass reads every hive; the later ones find the files unchanged and read none.
// The fastest later pass counts, as in RunScan.
int RunRepeatScan()
{
    LoadLangModule();
    size_t entries = 0;
    Report("scan_first_pass_ms", TimeBuilder(BuildTargets, &entries));
    double later = 1e30;
    for (int round = 0; round < kScanRounds; ++round) later = std::min(later, TimeBuilder(BuildTargets));
    Report("scan_later_pass_ms", later);
    Report("scan_entries_repeat", static_cast<double>(entries));
    return 0;
}

int RunCatalogues()
{
    LoadLangModule();
    // In the program the scan dialog is up before the builders run, so the display driver is
    // not the display-mode builder's cost.
    BringUpDisplayDriver();
    Report("catalogue_display_modes_ms", TimeBuilder(BuildDisplayModeList));
    Report("catalogue_layouts_ms", TimeBuilder(BuildLayoutList));
    Report("catalogue_time_zones_ms", TimeBuilder(BuildTimeZoneList));
    return 0;
}

// ---- start-up, step by step ----

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// Creates the environment dialog as the driver's modal loop would and shows it: the work before
// it becomes visible, with the given procedure and its creation parameter.
double TimeShownDialog(DLGPROC procedure, LPARAM parameter)
{
    double start = NowMs();
    HWND dialog = CreateDialogParamA(LoadLangModule(), MAKEINTRESOURCEA(IDD_ENVIRONMENT), GetDesktopWindow(), procedure,
                                     parameter);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);
    double ms = NowMs() - start;
    DestroyWindow(dialog);
    return ms;
}

int RunStartup()
{
    auto step = [](const char* name, const std::function<void()>& work) {
        double start = NowMs();
        work();
        Report(std::string("startup_") + name + "_ms", NowMs() - start);
    };
    step("settings", ReadSettings);
    step("run_log", [] { StartRunLog(ExpandCommand(Shared().Settings.LogFile)); });
    step("language_module", [] { LoadLangModule(); });
    step("autorun", [] {
        ProcessRunOnceEx();
        ProcessRunOnce();
        ProcessRun();
    });
    step("password_check", [] { RunPasswordDialog(GetDesktopWindow(), PasswordMode::Logon); });
    step("common_controls", [] { EnsureCommonControls(ICC_LISTVIEW_CLASSES); });
    // The baseline pays for this too, with its one dialog.
    step("first_window", BringUpDisplayDriver);
    HWND scan = nullptr;
    step("scan_dialog", [&] {
        scan = CreateLangDialog(IDD_SCAN, GetDesktopWindow());
        SendDlgItemMessageA(scan, IDC_SCAN_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MakeLong(0, 8));
    });
    EnvironmentPass pass;
    step("display_modes", [&] { BuildDisplayModeList(pass.DisplayModes); });
    step("layouts", [&] { BuildLayoutList(pass.Layouts); });
    step("time_zones", [&] { BuildTimeZoneList(pass.TimeZones); });
    step("targets", [&] {
        BuildTargetList(pass.Targets, [scan](const std::string& text) { SetDlgItemTextA(scan, IDC_SCAN_STATUS, text.c_str()); });
    });
    step("scan_dialog_close", [&] { DestroyWindow(scan); });
    // The dialog asks these while it fills its lists; timed apart, they tell the platform's share.
    step("find_current_layout", [&] { FindCurrentLayout(pass.Layouts); });
    step("find_current_display_mode", [&] { FindCurrentDisplayMode(pass.DisplayModes); });
    step("find_current_time_zone", [&] { FindCurrentTimeZone(pass.TimeZones); });
    Report("startup_environment_dialog_ms", TimeShownDialog(EnvironmentDlgProc, reinterpret_cast<LPARAM>(&pass)));
    Report("startup_empty_dialog_ms", TimeShownDialog(EmptyDialogProc, 0));
    return 0;
}

// ---- the operator's wait after OK at the password prompt ----

int RunPasswordCheck()
{
    const std::string password = "a bench passphrase";
    TPassKey key = MakePassKey(password);  // also loads and warms up the platform's cryptography
    // The processor time beside the wall time: on a loaded machine the wall time grows with the
    // other work, the processor time does not.
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    double start = NowMs();
    bool matches = PassKeyMatches(key, password);
    Report("password_check_ms", NowMs() - start);
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);
    Report("password_check_cpu_ms",
           static_cast<double>(FileTime(kernel1) + FileTime(user1) - FileTime(kernel0) - FileTime(user0)) / 10000.0);
    return matches ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "dialog" && (argc == 3 || argc == 4)) return RunDialog(argv[2], argc == 4 ? argv[3] : "baseline");
    if (command == "session" && argc == 4) return RunSession(argv[2], argv[3]);
    if (command == "scan" && argc == 4) return RunScan(argv[2], std::atoi(argv[3]));
    if (command == "repeat") return RunRepeatScan();
    if (command == "catalogues") return RunCatalogues();
    if (command == "startup") return RunStartup();
    if (command == "password") return RunPasswordCheck();
    std::fprintf(stderr, "usage: bench_driver dialog <command line> [label] | session <exe> <work folder> | "
                         "scan <label> <run> | repeat | catalogues | startup | password\n");
    return 1;
}
