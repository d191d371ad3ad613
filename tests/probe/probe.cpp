// A stand-in for the programs that Tarn Logon starts. It appends one line describing its run
// to a log file, then waits and exits as told. Settings come from "key=value" arguments or,
// when started without arguments (as a fake shell), from TARN_PROBE_* environment variables:
//   log=<file>            where to record the run (TARN_PROBE_LOG; exit code 98 when it cannot); the record's qpc= is the
//                         performance counter at the start of WinMain, for start-up latencies
//   sleep=<ms>            how long to run (TARN_PROBE_SLEEP_MS)
//   exit=<code>           exit code (TARN_PROBE_EXIT)
//   spin=<ms>             keep a processor busy that long first (to check CPU measurements)
//   fatal-registry=<key>  read the value "Wrong" of HKLM\<key> as text under the last-resort
//                         guard: a DWORD there ends the probe through the "Application Error" box;
//                         with in=dialog the read is made in a dialog procedure
//   TARN_PROBE_DRIVE=<letter>:<unix folder>, TARN_PROBE_DRIVE_MS=<ms>
//                         as it ends, leaves behind a copy of itself that defines that fixed drive
//                         so many milliseconds later and announces it to no window: a disk that
//                         Plug and Play sets up after drvload has ended
// Started with manage-bde's arguments (the first begins with "-"), as manage-bde.exe, it appends
// them as one line to TARN_BDE_LOG, with how a secret reached it: "\tsecret=argument", "stdin",
// "console" (typed at its console) or "none". "-protectors -get X: -Type T" answers for the
// types listed in TARN_BDE_PROTECTORS (default RecoveryPassword): a key ID in UTF-16, as a console
// tool may, and exit code 0; for others an error and a non-zero code. "-unlock" with the recovery
// password in TARN_BDE_PASSWORD, with "-Password" and TARN_BDE_DRIVE_PASSWORD typed at its console
// (asked as manage-bde asks, its input emptied first), or with "-RecoveryKey <folder>" holding
// <TARN_BDE_KEY_FILE_ID>.BEK makes an installation folder in the folder TARN_BDE_UNLOCKS (the
// locked drive's contents) and exits 0, anything else exits 1; "-unlock" waits TARN_BDE_UNLOCK_MS
// milliseconds once it has recorded its run. "-protectors -disable X: -RebootCount 1" exits 0.
#include "common/callback_boundary.h"
#include "common/fatal_error_box.h"
#include "common/guards.h"
#include "common/registry.h"
#include "support/wine_mount.h"

#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>

namespace {

std::map<std::string, std::string> g_options;
LARGE_INTEGER g_started{};

std::string Option(const std::string& name, const char* variable)
{
    auto it = g_options.find(name);
    if (it != g_options.end()) return it->second;
    char value[1024];
    DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::string Environment(const char* name)
{
    char value[4096];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string("<unset>");
}

// False when the record could not be written: the probe then ends with kRecordLost, so that a
// test can tell a run it failed to record from one that never happened.
constexpr int kRecordLost = 98;

bool Record(const std::string& logPath)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);

    std::string line = "pid=" + std::to_string(GetCurrentProcessId()) + "\ttick=" + std::to_string(GetTickCount()) +
                       "\tqpc=" + std::to_string(g_started.QuadPart) + "\tshow=" +
                       std::to_string(startup.wShowWindow) + "\tflags=" + std::to_string(startup.dwFlags) +
                       "\ttarget_root=" + Environment("TARGET_ROOT") + "\tcwd=" + folder +
                       "\tcmdline=" + GetCommandLineA() + "\r\n";

    // Several probes may record at once: retry while another holds the file.
    for (int attempt = 0; attempt < 200; ++attempt) {
        UniqueFile file(CreateFileA(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            DWORD written = 0;
            return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                   written == line.size();
        }
        Sleep(10);
    }
    return false;
}

int ReadWrongTypeValue()
{
    UniqueKey key = OpenRegKey(g_options["fatal-registry"], KEY_READ);
    ReadRegString(key.get(), "Wrong");
    return 0;
}

// The same read inside a dialog procedure, which the platform calls: the error must reach the
// box through the dialog's boundary.
INT_PTR CALLBACK WrongTypeDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) ReadWrongTypeValue();
    return FALSE;
}

int ReadWrongTypeValueInDialog()
{
    struct {
        DLGTEMPLATE header;
        WORD menu, windowClass, title;
    } dialog{};
    dialog.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    dialog.header.cx = 100;
    dialog.header.cy = 40;
    GuardedDialogBoxIndirect(GetModuleHandleA(nullptr), &dialog.header, nullptr, WrongTypeDialogProc, 0);
    return 0;
}

void RecordBdeRun(const std::string& arguments, const char* secret)
{
    if (UniqueFile log{CreateFileA(Environment("TARN_BDE_LOG").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)}) {
        std::string line = arguments + "\tsecret=" + secret + "\r\n";
        DWORD written = 0;
        WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

void WriteOut(const wchar_t* text)
{
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (GetConsoleMode(out, &written)) {
        WriteConsoleW(out, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
    } else {
        WriteFile(out, text, static_cast<DWORD>(wcslen(text) * sizeof(wchar_t)), &written, nullptr);
    }
}

int AnswerProtectors(const std::string& type)
{
    std::string listed = Environment("TARN_BDE_PROTECTORS");
    if (listed == "<unset>") listed = "RecoveryPassword";
    if (("," + listed + ",").find("," + type + ",") == std::string::npos) {
        WriteOut(L"ERROR: No key protectors found.\r\n");
        return -1;
    }
    std::wstring text = L"\xFEFFVolume L:\r\n";
    if (type == "RecoveryPassword") text += L"    Numerical Password:\r\n      ID: {6F1D2C3B-4A59-4E8F-9D7C-0B1A2F3E4D5C}\r\n";
    if (type == "Password") text += L"    Password:\r\n      ID: {1B2C3D4E-5F60-4718-9A2B-3C4D5E6F7081}\r\n";
    if (type == "ExternalKey") {
        const std::string id = Environment("TARN_BDE_KEY_FILE_ID");
        text += L"    External Key:\r\n      ID: {" + std::wstring(id.begin(), id.end()) + L"}\r\n";
    }
    WriteOut(text.c_str());
    return 0;
}

// Reads the password the way a console tool may ask for one: from its standard input when a pipe
// or file there holds it, else typed at its console (CONIN$) with echo off, the input emptied after
// the prompt. Wine hands a child with a console of its own the parent's standard handles.
std::wstring ReadPassword(const char*& secret)
{
    secret = "none";
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD available = 0;
    const DWORD type = input && input != INVALID_HANDLE_VALUE ? GetFileType(input) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_DISK || (type == FILE_TYPE_PIPE && PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr) &&
                                   available > 0)) {
        char bytes[300] = "";
        DWORD read = 0;
        if (ReadFile(input, bytes, sizeof bytes - 1, &read, nullptr) && read > 0) secret = "stdin";
        return std::wstring(bytes, bytes + read);
    }
    UniqueFile console(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    UniqueFile screen(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!console || !screen) return std::wstring();
    DWORD written = 0;
    const wchar_t banner[] = L"BitLocker Drive Encryption: Configuration Tool\r\n\r\n";
    WriteConsoleW(screen.get(), banner, static_cast<DWORD>(wcslen(banner)), &written, nullptr);
    Sleep(100);
    const wchar_t prompt[] = L"Type the password to unlock this volume: ";
    WriteConsoleW(screen.get(), prompt, static_cast<DWORD>(wcslen(prompt)), &written, nullptr);
    FlushConsoleInputBuffer(console.get());
    SetConsoleMode(console.get(), ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT);
    wchar_t line[300] = L"";
    DWORD read = 0;
    if (!ReadConsoleW(console.get(), line, 299, &read, nullptr)) return std::wstring();
    secret = "console";
    std::wstring typed(line, read);
    while (!typed.empty() && (typed.back() == L'\r' || typed.back() == L'\n')) typed.pop_back();
    return typed;
}

std::wstring WideEnvironment(const wchar_t* name)
{
    wchar_t value[300];
    DWORD n = GetEnvironmentVariableW(name, value, 300);
    return n > 0 && n < 300 ? std::wstring(value, n) : std::wstring(L"<unset>");
}

bool Unlocks(const std::string& arguments)
{
    if (__argc == 5 && std::string(__argv[3]) == "-RecoveryPassword") {
        RecordBdeRun(arguments, "argument");
        return __argv[4] == Environment("TARN_BDE_PASSWORD");
    }
    if (__argc == 5 && std::string(__argv[3]) == "-RecoveryKey") {
        RecordBdeRun(arguments, "none");
        std::string folder = __argv[4];
        if (!folder.empty() && folder.back() != '\\') folder += '\\';
        return GetFileAttributesA((folder + Environment("TARN_BDE_KEY_FILE_ID") + ".BEK").c_str()) !=
               INVALID_FILE_ATTRIBUTES;
    }
    if (__argc == 4 && std::string(__argv[3]) == "-Password") {
        const char* secret = "none";
        const std::wstring typed = ReadPassword(secret);
        RecordBdeRun(arguments, secret);
        return typed == WideEnvironment(L"TARN_BDE_DRIVE_PASSWORD");
    }
    RecordBdeRun(arguments, "none");
    return false;
}

int ActAsManageBde()
{
    std::string arguments;
    for (int i = 1; i < __argc; ++i) arguments += std::string(i > 1 ? " " : "") + __argv[i];
    const std::string verb = __argv[1];
    if (verb == "-protectors") {
        RecordBdeRun(arguments, "none");
        if (__argc == 6 && std::string(__argv[2]) == "-get") return AnswerProtectors(__argv[5]);
        return __argc == 6 && std::string(__argv[2]) == "-disable" && std::string(__argv[5]) == "1" ? 0 : 1;
    }
    if (verb != "-unlock") {
        RecordBdeRun(arguments, "none");
        return 1;
    }
    const bool unlocks = Unlocks(arguments);
    Sleep(static_cast<DWORD>(std::strtoul(Environment("TARN_BDE_UNLOCK_MS").c_str(), nullptr, 10)));
    if (!unlocks) return 1;
    const std::string folder = Environment("TARN_BDE_UNLOCKS") + "\\Windows";
    for (const std::string& part : {folder, folder + "\\system32", folder + "\\system32\\config"}) {
        CreateDirectoryA(part.c_str(), nullptr);
    }
    return 0;
}

// The copy left behind (define-drive=<letter>:<unix folder> after=<ms>).
int DefineDriveLater()
{
    const std::string drive = g_options["define-drive"];
    Sleep(static_cast<DWORD>(std::strtoul(g_options["after"].c_str(), nullptr, 10)));
    return drive.size() > 2 && DefineDrive(drive[0], DRIVE_FIXED, drive.substr(2)) ? 0 : 1;
}

void LeaveDriveBehind(const std::string& drive)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "\"" + std::string(self) + "\" \"define-drive=" + drive + "\" after=" +
                       Option("drive-ms", "TARN_PROBE_DRIVE_MS");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ProcessInfo process;
    CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, process.put());
}

int Run()
{
    if (__argc > 1 && __argv[1][0] == '-') return ActAsManageBde();
    for (int i = 1; i < __argc; ++i) {
        std::string argument = __argv[i];
        size_t equals = argument.find('=');
        if (equals != std::string::npos) g_options[argument.substr(0, equals)] = argument.substr(equals + 1);
    }

    if (g_options.count("fatal-registry")) {
        return RunGuarded(g_options["in"] == "dialog" ? ReadWrongTypeValueInDialog : ReadWrongTypeValue);
    }
    if (g_options.count("define-drive")) return DefineDriveLater();

    if (g_options.count("spin")) {
        DWORD start = GetTickCount();
        volatile unsigned long counter = 0;
        while (GetTickCount() - start < std::strtoul(g_options["spin"].c_str(), nullptr, 10)) ++counter;
    }
    std::string log = Option("log", "TARN_PROBE_LOG");
    if (!log.empty() && !Record(log)) return kRecordLost;
    std::string sleep = Option("sleep", "TARN_PROBE_SLEEP_MS");
    if (!sleep.empty()) Sleep(static_cast<DWORD>(std::strtoul(sleep.c_str(), nullptr, 10)));
    std::string drive = Option("drive", "TARN_PROBE_DRIVE");
    if (!drive.empty()) LeaveDriveBehind(drive);
    std::string exitCode = Option("exit", "TARN_PROBE_EXIT");
    return exitCode.empty() ? 0 : static_cast<int>(std::strtoul(exitCode.c_str(), nullptr, 10));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    QueryPerformanceCounter(&g_started);
    return Run();
}
