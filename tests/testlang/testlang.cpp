// Entry points of the test language module. They record each call, with whether the owner
// window was visible at that moment, to the file named by TARN_TESTLANG_LOG; ShowShutdownDlg
// returns the number in TARN_TESTLANG_RESULT. Nothing is ever shut down.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

HWND g_owner = nullptr;

std::string Variable(const char* name)
{
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Record(const std::string& line)
{
    std::string path = Variable("TARN_TESTLANG_LOG");
    if (path.empty()) return;
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = line + " owner_visible=" + (IsWindowVisible(g_owner) ? "1" : "0") + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" {

DWORD WINAPI ShowShutdownDlg(HWND owner, DWORD setupLoader)
{
    g_owner = owner;
    Record("ShowShutdownDlg flag=" + std::to_string(setupLoader));
    return std::strtoul(Variable("TARN_TESTLANG_RESULT").c_str(), nullptr, 0);
}

void WINAPI InitShutdown() { Record("InitShutdown"); }

#ifndef TESTLANG_WITHOUT_SHUTDOWN_SYSTEM
void WINAPI ShutdownSystem(DWORD code) { Record("ShutdownSystem code=" + std::to_string(code)); }
#endif
}
