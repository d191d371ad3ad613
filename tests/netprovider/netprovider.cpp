// A network provider for tests only, registered the documented way (NetworkProvider\Order and
// the service's NetworkProvider key), so WNetAddConnection2A reaches it as it would reach the
// SMB redirector. It appends each call to the file TARN_TEST_NP_LOG names: the drive, the share
// and the user as they arrived, and of the password only a hash, so a test can see that it came
// without any file holding it. It answers with the error code in TARN_TEST_NP_ANSWER (0 when unset).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kSpecVersion = 0x01, kNetType = 0x02, kConnection = 0x06, kStart = 0x0C;
constexpr DWORD kSpecVersion51 = 0x00050001;
constexpr DWORD kNetTypeTest = 0x00FE0000;
constexpr DWORD kAddConnection = 0x01, kCancelConnection = 0x02, kAddConnection3 = 0x20;

std::string Utf8(const wchar_t* text)
{
    if (!text) return "(null)";
    char buffer[512] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

// FNV-1a over the password's UTF-16 units: enough to tell that the typed password arrived.
std::string PasswordHash(const wchar_t* password)
{
    if (!password) return "none";
    unsigned long long hash = 1469598103934665603ull;
    for (const wchar_t* c = password; *c; ++c) {
        hash ^= static_cast<unsigned short>(*c);
        hash *= 1099511628211ull;
    }
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

void Record(const std::string& line)
{
    wchar_t path[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"TARN_TEST_NP_LOG", path, MAX_PATH)) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

DWORD Answer()
{
    wchar_t text[32] = L"";
    if (!GetEnvironmentVariableW(L"TARN_TEST_NP_ANSWER", text, 32)) return NO_ERROR;
    return static_cast<DWORD>(wcstoul(text, nullptr, 10));
}

}  // namespace

extern "C" {

DWORD WINAPI NPGetCaps(DWORD index)
{
    switch (index) {
    case kSpecVersion: return kSpecVersion51;
    case kNetType: return kNetTypeTest;
    case kConnection: return kAddConnection | kCancelConnection | kAddConnection3;
    case kStart: return 1;
    }
    return 0;
}

DWORD WINAPI NPAddConnection3(HWND, NETRESOURCEW* resource, wchar_t* password, wchar_t* user, DWORD)
{
    const DWORD answer = Answer();
    Record("add|" + Utf8(resource ? resource->lpLocalName : nullptr) + "|" +
           Utf8(resource ? resource->lpRemoteName : nullptr) + "|" + Utf8(user) + "|" + PasswordHash(password) + "|" +
           std::to_string(answer));
    return answer;
}

DWORD WINAPI NPAddConnection(NETRESOURCEW* resource, wchar_t* password, wchar_t* user)
{
    return NPAddConnection3(nullptr, resource, password, user, 0);
}

DWORD WINAPI NPCancelConnection(wchar_t* name, BOOL force)
{
    Record("cancel|" + Utf8(name) + "|" + (force ? "force" : "gentle"));
    return NO_ERROR;
}

}  // extern "C"
