#include "support/test_support.h"

#include "common/files.h"
#include "common/text.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <atomic>
#include <thread>

namespace {

std::string CurrentTestName()
{
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
}

void CreateFolders(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
}

}  // namespace

CaseFolder::CaseFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // The serial keeps two folders of one test apart when both are made within one tick (a test's
    // folder and a helper's scratch folder): the second would otherwise remove the first's tree.
    static std::atomic<unsigned> serial{0};
    path_ = std::string(temp) + "tarn-tests\\" + CurrentTestName() + "-" + std::to_string(GetCurrentProcessId()) +
            "-" + std::to_string(GetTickCount()) + "-" + std::to_string(++serial) + "\\";
    RemoveTree(path_);
    CreateFolders(path_.substr(0, path_.size() - 1));
}

CaseFolder::~CaseFolder() { RemoveTree(path_); }

std::string CaseFolder::File(const std::string& relative) const
{
    std::string full = path_ + relative;
    size_t slash = full.find_last_of('\\');
    CreateFolders(full.substr(0, slash));
    return full;
}

std::string BinFolder() { return ExecutableFolder(); }

void WriteBytes(const std::string& path, const std::string& bytes)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << "cannot create " << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

std::string ReadBytes(const std::string& path) { return ReadWholeFile(path, 256u << 20).value_or(std::string()); }

void SetLastWriteDay(const std::string& path, WORD year, WORD month, WORD day)
{
    SYSTEMTIME time{year, month, 0, day, 0, 0, 0, 0};
    FILETIME written{};
    UniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(SystemTimeToFileTime(&time, &written) && SetFileTime(file.get(), nullptr, nullptr, &written)) << path;
}

void CopyOrFail(const std::string& from, const std::string& to)
{
    ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to << " error " << GetLastError();
}

void RemoveTree(const std::string& folder)
{
    std::string base = folder;
    if (!base.empty() && base.back() != '\\') base += '\\';
    WIN32_FIND_DATAA entry;
    UniqueFind find(FindFirstFileA((base + "*").c_str(), &entry));
    if (find) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = base + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find.get(), &entry));
    }
    find.reset();
    RemoveDirectoryA(base.substr(0, base.size() - 1).c_str());
}

std::vector<std::string> ReadLines(const std::string& path) { return SplitLines(ReadBytes(path)); }

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

namespace {

// A copy of this process's environment with the given variables set; sorted, as Windows expects.
std::string EnvironmentBlock(const std::map<std::string, std::string>& overrides)
{
    std::map<std::string, std::string> variables;
    char* block = GetEnvironmentStringsA();
    for (const char* p = block; *p; p += strlen(p) + 1) {
        std::string entry = p;
        size_t equals = entry.find('=', 1);  // names like "=C:" start with "="
        if (equals == std::string::npos) continue;
        variables[UpperAscii(entry.substr(0, equals))] = entry;
    }
    FreeEnvironmentStringsA(block);
    for (const auto& [name, value] : overrides) variables[UpperAscii(name)] = name + "=" + value;

    std::string result;
    for (const auto& entry : variables) result += entry.second + '\0';
    return result + '\0';
}

}  // namespace

ChildProcess::ChildProcess(const std::string& commandLine, const std::map<std::string, std::string>& environment,
                           const std::string& currentFolder)
{
    std::string command = commandLine;
    std::string block = EnvironmentBlock(environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, block.data(),
                       currentFolder.empty() ? nullptr : currentFolder.c_str(), &startup, &info)) {
        CloseHandle(info.hThread);
        process_.reset(info.hProcess);
        id_ = info.dwProcessId;
    }
}

ChildProcess::~ChildProcess() { Terminate(); }

DWORD ChildProcess::WaitForExit(DWORD timeoutMs)
{
    if (!process_) return STILL_ACTIVE;
    if (WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::Terminate()
{
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 99);
        WaitForSingleObject(process_.get(), 5000);
    }
}

namespace {
BOOL CALLBACK CollectStaticText(HWND child, LPARAM param)
{
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (UpperAscii(className) == "STATIC") {
        char text[4096] = "";
        GetWindowTextA(child, text, sizeof text);
        auto* all = reinterpret_cast<std::string*>(param);
        if (!all->empty() && text[0]) *all += "\n";
        *all += text;
    }
    return TRUE;
}
}  // namespace

std::string DialogText(HWND dialog)
{
    std::string all;
    EnumChildWindows(dialog, CollectStaticText, reinterpret_cast<LPARAM>(&all));
    return all;
}

std::chrono::milliseconds ProcessCpuTime(DWORD processId)
{
    // Per-thread times: under Wine, GetProcessTimes of another process can be stale.
    unsigned long long total100ns = 0;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (snapshot && Thread32First(snapshot.get(), &entry)) {
        do {
            if (entry.th32OwnerProcessID != processId) continue;
            UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
            FILETIME created, exited, kernel, user;
            if (thread && GetThreadTimes(thread.get(), &created, &exited, &kernel, &user)) {
                auto value = [](const FILETIME& t) {
                    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
                };
                total100ns += value(kernel) + value(user);
            }
        } while (Thread32Next(snapshot.get(), &entry));
    }
    return std::chrono::milliseconds(total100ns / 10000);
}
