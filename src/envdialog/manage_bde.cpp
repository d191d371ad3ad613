#include "envdialog/manage_bde.h"

#include "catalogues/bitlocker_rules.h"
#include "common/files.h"
#include "common/guards.h"
#include "session/launch.h"
#include "session/message_pump.h"
#include "session/pe_tools.h"

#include <cstdio>

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

// Starts the tool hidden with its output into a pipe and waits for its end, at most limitMs.
// False when it could not be started. A tool still running at the limit is stopped, with
// WAIT_TIMEOUT as its code.
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
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    ScopeExit restore([previous] { SetCursor(previous); });
    bool started = false;
    // The start and the wait run beside this thread, which meanwhile handles everything but
    // input (RunWhilePumping): the hook's calls and painting go on, while a key or click meant
    // for the prompt waits for its loop, so no second unlock can start inside this one.
    RunWhilePumping([&] {
        ProcessInfo process;
        if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, process.put())) {
            return;
        }
        started = true;
        writeEnd.reset();  // the pipe reports its end once the tool's copy is closed too
        const DWORD since = GetTickCount();
        for (;;) {
            Drain(readEnd.get(), output);
            DWORD elapsed = GetTickCount() - since;
            if (elapsed >= limitMs) {
                TerminateProcess(process.Process(), WAIT_TIMEOUT);
                WaitForSingleObject(process.Process(), 5000);
                exitCode = WAIT_TIMEOUT;
                return;
            }
            DWORD wait = limitMs - elapsed < kPollMs ? limitMs - elapsed : kPollMs;
            if (WaitForSingleObject(process.Process(), wait) == WAIT_OBJECT_0) {
                Drain(readEnd.get(), output);
                if (!GetExitCodeProcess(process.Process(), &exitCode)) exitCode = static_cast<DWORD>(-1);
                return;
            }
        }
    });
    return started;
}

}  // namespace

bool IsManageBdePresent() { return IsExistingFile(ToolPath()); }

std::string ReadRecoveryKeyId(char letter)
{
    CommandBuffer command;
    int length = std::snprintf(command.text, sizeof command.text, "\"%s\" -protectors -get %c: -Type RecoveryPassword",
                               ToolPath().c_str(), letter);
    std::string output;
    DWORD exitCode = 0;
    if (!command.Fits(length) || !RunTool(command.text, kKeyIdLimitMs, output, exitCode)) return std::string();
    return FindFirstGuid(output);
}

bool UnlockWithRecoveryPassword(char letter, const char* password, DWORD* exitCode)
{
    CommandBuffer command;
    int length = std::snprintf(command.text, sizeof command.text, "\"%s\" -unlock %c: -RecoveryPassword %s",
                               ToolPath().c_str(), letter, password);
    std::string output;
    DWORD code = static_cast<DWORD>(-1);
    bool ran = command.Fits(length) && RunTool(command.text, kUnlockLimitMs, output, code);
    if (exitCode) *exitCode = code;
    return ran && code == 0;
}
