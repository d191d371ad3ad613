#include "common/run_log.h"

#include "common/guards.h"

#include <vector>

namespace {

enum class LogState { Pending, Open, Off };

struct RunLog {
    LogState state = LogState::Pending;
    UniqueFile file;
    std::string path;
    std::vector<std::string> pending;
};
RunLog g_log;
// The hot keys' programs log from threads of their own.
SRWLOCK g_logLock = SRWLOCK_INIT;

class LogLock {
public:
    LogLock() { AcquireSRWLockExclusive(&g_logLock); }
    ~LogLock() { ReleaseSRWLockExclusive(&g_logLock); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
};

// Far more than start-up logs before the log is started; a test process that never starts it
// must not grow without bound.
constexpr size_t kMaxPendingLines = 64;
constexpr ULONGLONG kRotateBytes = 1u << 20;
constexpr size_t kMaxPathChars = 32767;

LogTime LocalNow()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

// One call per line: with append-only access each write lands whole at the end of the file, so
// the lines of two runs sharing a log never mix within a line. After a failed write (a full or
// pulled medium) the log is given up rather than tried again for every later event.
void WriteLine(const std::string& line)
{
    DWORD written = 0;
    if (!WriteFile(g_log.file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
        written != line.size()) {
        g_log.file.reset();
        g_log.state = LogState::Off;
    }
}

void RotateIfLarge(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return;
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    // When the rename fails (another run holds the log without sharing deletion, a read-only
    // medium) this run appends to the large log: losing its lines would be worse.
    if (size >= kRotateBytes) MoveFileExA(path.c_str(), (path + ".old").c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

void StartRunLog(const std::string& path)
{
    LogLock lock;
    std::vector<std::string> pending;
    pending.swap(g_log.pending);
    g_log.state = LogState::Off;
    if (path.empty() || path.size() >= kMaxPathChars) return;

    // A floppy or card drive without a medium must not stop the boot in a system error box.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    RotateIfLarge(path);
    g_log.file.reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    SetErrorMode(oldMode);
    if (!g_log.file) return;
    g_log.state = LogState::Open;
    g_log.path = path;
    for (const std::string& line : pending) {
        if (g_log.state == LogState::Open) WriteLine(line);
    }
}

std::string RunLogFilePath()
{
    LogLock lock;
    return g_log.state == LogState::Open ? g_log.path : std::string();
}

void LogEvent(std::string_view event, std::initializer_list<LogField> fields)
{
    std::string line = FormatLogLine(LocalNow(), event, fields);
    LogLock lock;
    if (g_log.state == LogState::Off) return;
    if (g_log.state == LogState::Open) {
        WriteLine(line);
    } else if (g_log.pending.size() < kMaxPendingLines) {
        g_log.pending.push_back(std::move(line));
    }
}

std::string SystemErrorText(DWORD error)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = length && text ? std::string(text, length) : "System error " + std::to_string(error);
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    return reason;
}

int ShowLoggedMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    LogEvent("error", {{"caption", caption}, {"text", text}});
    return MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}
