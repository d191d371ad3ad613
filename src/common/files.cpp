#include "common/files.h"

#include "common/guards.h"

#include <windows.h>

std::string ExecutablePath()
{
    // MAX_PATH is not a limit for the module path: grow until the name fits.
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::string();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string ExecutableFolder()
{
    std::string path = ExecutablePath();
    return path.substr(0, path.find_last_of('\\') + 1);
}

namespace {
// No path of the platform is longer. Wine wraps a longer ANSI name at 64 KB and may then report
// another file, so such a name is answered here.
constexpr size_t kMaxPathChars = 32767;
}  // namespace

bool IsExistingFile(const std::string& path)
{
    if (path.size() >= kMaxPathChars) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::string& path)
{
    if (path.size() >= kMaxPathChars) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<FileStamp> StampOfFile(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.size() >= kMaxPathChars || !GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.Size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp.LastWrite =
        (static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return stamp;
}

std::optional<std::string> ReadWholeFile(const std::string& path, size_t maxBytes)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;

    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return std::nullopt;
    }

    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < content.size()) {
        DWORD chunk = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 20));
        if (!ReadFile(file.get(), content.data() + done, want, &chunk, nullptr)) return std::nullopt;
        if (chunk == 0) break;  // the file shrank while being read: keep what is there
        done += chunk;
    }
    content.resize(done);
    return content;
}
