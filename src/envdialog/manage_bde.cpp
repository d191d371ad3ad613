#include "envdialog/manage_bde.h"

#include "catalogues/bitlocker_rules.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/run_log.h"
#include "session/launch.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr DWORD kUnlockLimitMs = 60000;
constexpr DWORD kKeyIdLimitMs = 30000;
constexpr DWORD kPipeBuffer = 65536;
constexpr DWORD kPollMs = 100;
constexpr size_t kOutputLimit = 1 << 20;  // the ID is near the top; the rest is of no use

// The tool is 64-bit only on 64-bit Windows; SystemToolPath reaches it from the 32-bit build too.
std::string ToolPath() { return SystemToolPath("manage-bde.exe"); }

// A command line that may hold a recovery password: CreateProcessA wants it writable, and it is
// wiped when it goes.
struct CommandBuffer {
    CommandBuffer() = default;
    ~CommandBuffer() { SecureZeroMemory(text, sizeof text); }
    CommandBuffer(const CommandBuffer&) = delete;
    CommandBuffer& operator=(const CommandBuffer&) = delete;
    bool Fits(int length) const { return length > 0 && static_cast<size_t>(length) < sizeof text; }

    char text[MAX_PATH + 128] = "";
};

void Drain(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char chunk[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) || read == 0) return;
        if (output.size() < kOutputLimit) output.append(chunk, read);
    }
}

// Waits for the tool's end, at most limitMs, calling drain meanwhile. A tool still running at the
// limit is stopped, with WAIT_TIMEOUT as its code.
void WaitForTool(HANDLE process, DWORD limitMs, DWORD& exitCode, const std::function<void()>& drain)
{
    const DWORD since = GetTickCount();
    for (;;) {
        drain();
        DWORD elapsed = GetTickCount() - since;
        if (elapsed >= limitMs) {
            TerminateProcess(process, WAIT_TIMEOUT);
            WaitForSingleObject(process, 5000);
            exitCode = WAIT_TIMEOUT;
            return;
        }
        DWORD wait = limitMs - elapsed < kPollMs ? limitMs - elapsed : kPollMs;
        if (WaitForSingleObject(process, wait) == WAIT_OBJECT_0) {
            drain();
            if (!GetExitCodeProcess(process, &exitCode)) exitCode = static_cast<DWORD>(-1);
            return;
        }
    }
}

// The start and the wait run beside this thread, which meanwhile handles everything but input
// (RunWhilePumping): the hook's calls and painting go on, while a key or click meant for the
// prompt waits for its loop, so no second unlock can start inside this one.
void RunWithWaitCursor(const std::function<void()>& step)
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    ScopeExit restore([previous] { SetCursor(previous); });
    RunWhilePumping(step);
}

// Starts the tool hidden with its output into a pipe and waits for its end, at most limitMs.
// False when it could not be started.
bool RunTool(char* commandLine, DWORD limitMs, std::string& output, DWORD& exitCode)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, kPipeBuffer)) return false;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    bool started = false;
    RunWithWaitCursor([&] {
        ProcessInfo process;
        if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, process.put())) {
            return;
        }
        started = true;
        writeEnd.reset();  // the pipe reports its end once the tool's copy is closed too
        WaitForTool(process.Process(), limitMs, exitCode, [&] { Drain(readEnd.get(), output); });
    });
    return started;
}

// The tool's console screen has settled once its cursor left the top-left corner (it printed its
// banner and prompt) and stayed put for a while: it is then reading. Input written before that
// could be thrown away by a tool that empties its input buffer before it asks.
bool WaitForConsolePrompt(HANDLE screen, HANDLE process)
{
    constexpr DWORD kSettledMs = 300;
    constexpr DWORD kPromptLimitMs = 20000;
    COORD last{0, 0};
    DWORD stillSince = GetTickCount();
    const DWORD since = stillSince;
    while (GetTickCount() - since < kPromptLimitMs) {
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return false;
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!GetConsoleScreenBufferInfo(screen, &info)) return false;
        const COORD at = info.dwCursorPosition;
        if (at.X != last.X || at.Y != last.Y) {
            last = at;
            stillSince = GetTickCount();
        } else if ((at.X != 0 || at.Y != 0) && GetTickCount() - stillSince >= kSettledMs) {
            return true;
        }
    }
    return false;
}

// Key-down and key-up records for each character and a closing Enter, wiped when they go.
class TypedRecords {
public:
    TypedRecords(const wchar_t* text, size_t length) : records_(2 * (length + 1))
    {
        for (size_t i = 0; i <= length; ++i) {
            const wchar_t c = i < length ? text[i] : L'\r';
            for (int down = 0; down < 2; ++down) {
                KEY_EVENT_RECORD& key = records_[2 * i + down].Event.KeyEvent;
                records_[2 * i + down].EventType = KEY_EVENT;
                key.bKeyDown = down == 0;
                key.wRepeatCount = 1;
                key.wVirtualKeyCode = i < length ? 0 : VK_RETURN;
                key.uChar.UnicodeChar = c;
            }
        }
    }
    ~TypedRecords() { SecureZeroMemory(records_.data(), records_.size() * sizeof(INPUT_RECORD)); }
    TypedRecords(const TypedRecords&) = delete;
    TypedRecords& operator=(const TypedRecords&) = delete;
    const INPUT_RECORD* data() const { return records_.data(); }
    DWORD size() const { return static_cast<DWORD>(records_.size()); }

private:
    std::vector<INPUT_RECORD> records_;
};

bool LogConsoleFailure(const char* step)
{
    LogEvent("bitlocker", {{"console", step}, {"error", std::to_string(GetLastError())}});
    return false;
}

// Types the text and Enter into the console of the given process, as an operator at its window
// would: the text never appears on a command line, in a pipe or in a file.
bool TypeIntoConsole(HANDLE process, DWORD processId, const wchar_t* text, size_t length)
{
    // The console is there from CreateProcess on; the tool joins it as it starts.
    bool attached = false;
    for (int attempt = 0; attempt < 100 && !attached; ++attempt) {
        attached = AttachConsole(processId) != FALSE;
        // A program started from a console may hold its starter's, and one process holds one
        // console at a time; this program shows none and has no use for it.
        if (!attached && GetLastError() == ERROR_ACCESS_DENIED) {
            FreeConsole();
            continue;
        }
        if (!attached) Sleep(20);
    }
    if (!attached) return LogConsoleFailure("attach");
    ScopeExit detach([] { FreeConsole(); });
    UniqueFile input(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    UniqueFile screen(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!input || !screen) return LogConsoleFailure("open");
    if (!WaitForConsolePrompt(screen.get(), process)) return LogConsoleFailure("prompt");
    TypedRecords records(text, length);
    DWORD written = 0;
    if (!WriteConsoleInputW(input.get(), records.data(), records.size(), &written) || written != records.size()) {
        return LogConsoleFailure("write");
    }
    return true;
}

// Starts the tool with a hidden console of its own, types the text into it once it asks, and
// waits for its end, at most limitMs. False when it could not be started.
bool RunToolTyping(char* commandLine, const wchar_t* text, size_t length, DWORD limitMs, DWORD& exitCode)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    bool started = false;
    RunWithWaitCursor([&] {
        ProcessInfo process;
        if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                            &startup, process.put())) {
            return;
        }
        started = true;
        if (!TypeIntoConsole(process.Process(), process.ProcessId(), text, length)) {
            // Not asked, or the console could not be reached: the tool would wait for ever.
            TerminateProcess(process.Process(), ERROR_INVALID_HANDLE);
            WaitForSingleObject(process.Process(), 5000);
            exitCode = ERROR_INVALID_HANDLE;
            return;
        }
        WaitForTool(process.Process(), limitMs, exitCode, [] {});
    });
    return started;
}

// Runs a manage-bde command line made from the format; true on exit code 0. exitCode receives
// the code, or WAIT_TIMEOUT when the tool was stopped at the limit.
template <class... Args>
bool RunManageBde(DWORD limitMs, std::string* output, DWORD* exitCode, const char* format, Args... args)
{
    CommandBuffer command;
    int length = std::snprintf(command.text, sizeof command.text, format, ToolPath().c_str(), args...);
    std::string ignored;
    DWORD code = static_cast<DWORD>(-1);
    bool ran = command.Fits(length) && RunTool(command.text, limitMs, output ? *output : ignored, code);
    if (exitCode) *exitCode = code;
    return ran && code == 0;
}

// A folder for a quoted argument: a closing backslash would escape the quote, so a root's
// backslash is doubled ("E:\\" reads back as E:\).
std::string QuotableFolder(std::string folder)
{
    if (!folder.empty() && folder.back() == '\\') folder += '\\';
    return folder;
}

}  // namespace

bool IsManageBdePresent() { return IsExistingFile(ToolPath()); }

DriveProtectors ReadProtectors(char letter)
{
    DriveProtectors protectors;
    std::string output;
    // Asked type by type: manage-bde's exit code says whether the drive has one of that type,
    // whatever language it prints in.
    protectors.recoveryPassword = RunManageBde(kKeyIdLimitMs, &output, nullptr,
                                               "\"%s\" -protectors -get %c: -Type RecoveryPassword", letter);
    protectors.recoveryKeyId = FindFirstGuid(output);
    protectors.password = RunManageBde(kKeyIdLimitMs, nullptr, nullptr, "\"%s\" -protectors -get %c: -Type Password",
                                       letter);
    output.clear();
    if (RunManageBde(kKeyIdLimitMs, &output, nullptr, "\"%s\" -protectors -get %c: -Type ExternalKey", letter)) {
        protectors.externalKeyIds = FindAllGuids(output);
    }
    return protectors;
}

bool UnlockWithRecoveryPassword(char letter, const char* password, DWORD* exitCode)
{
    return RunManageBde(kUnlockLimitMs, nullptr, exitCode, "\"%s\" -unlock %c: -RecoveryPassword %s", letter,
                        password);
}

bool UnlockWithPassword(char letter, const wchar_t* password, size_t length, DWORD* exitCode)
{
    CommandBuffer command;
    int written = std::snprintf(command.text, sizeof command.text, "\"%s\" -unlock %c: -Password", ToolPath().c_str(),
                                letter);
    DWORD code = static_cast<DWORD>(-1);
    bool ran = command.Fits(written) && RunToolTyping(command.text, password, length, kUnlockLimitMs, code);
    if (exitCode) *exitCode = code;
    return ran && code == 0;
}

bool UnlockWithKeyFile(char letter, const std::string& folder, DWORD* exitCode)
{
    return RunManageBde(kUnlockLimitMs, nullptr, exitCode, "\"%s\" -unlock %c: -RecoveryKey \"%s\"", letter,
                        QuotableFolder(folder).c_str());
}

bool SuspendForOneRestart(char letter, DWORD* exitCode)
{
    return RunManageBde(kUnlockLimitMs, nullptr, exitCode, "\"%s\" -protectors -disable %c: -RebootCount 1", letter);
}
