#include "catalogues/offline_hive.h"

#include "common/run_log.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr uint32_t kPageBytes = 4096;
// A lookup reads a few dozen cells, mostly near each other; a megabyte of pages holds them all.
constexpr size_t kMaxPages = 256;

void LogRefusal(const std::string& path, const char* result, const std::string& reason)
{
    LogEvent("hive", {{"file", path}, {"result", result}, {"reason", reason}});
}

bool ReadAt(HANDLE file, uint64_t offset, uint32_t count, char* into)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    return ReadFile(file, into, count, &got, &at) && got == count;
}

const std::string* Page(OfflineHive& hive, uint64_t number)
{
    auto known = hive.Pages.find(number);
    if (known != hive.Pages.end()) return &known->second;
    const uint64_t offset = number * kPageBytes;
    std::string page(static_cast<size_t>(std::min<uint64_t>(kPageBytes, hive.Size - offset)), '\0');
    if (!ReadAt(hive.File.get(), offset, static_cast<uint32_t>(page.size()), page.data())) return nullptr;
    if (hive.Pages.size() >= kMaxPages) hive.Pages.clear();
    return &(hive.Pages[number] = std::move(page));
}

// Small reads go through whole pages kept for the next cell; a large value is read at once.
bool ReadHiveBytes(OfflineHive& hive, uint64_t offset, uint32_t count, char* into)
{
    if (offset > hive.Size || hive.Size - offset < count) return false;
    if (count > 16 * kPageBytes) return ReadAt(hive.File.get(), offset, count, into);
    while (count > 0) {
        const std::string* page = Page(hive, offset / kPageBytes);
        if (!page) return false;
        const uint32_t from = static_cast<uint32_t>(offset % kPageBytes);
        const uint32_t part = std::min<uint32_t>(count, static_cast<uint32_t>(page->size()) - from);
        std::memcpy(into, page->data() + from, part);
        into += part;
        offset += part;
        count -= part;
    }
    return true;
}

HiveSource SourceOf(OfflineHive& hive)
{
    return HiveSource{hive.Size, [&hive](uint64_t offset, uint32_t count, char* into) {
                          return ReadHiveBytes(hive, offset, count, into);
                      }};
}

std::string AnsiOf(const std::u16string& text)
{
    if (std::optional<std::string> ascii = AsciiText(text)) return *ascii;
    auto wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string ansi(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, ansi.data(), bytes, nullptr, nullptr);
    return ansi;
}

}  // namespace

std::optional<OfflineHive> OpenOfflineHive(const std::string& path)
{
    OfflineHive hive;
    hive.Path = path;
    // Read access and nothing else; every kind of sharing, so that neither a program holding the
    // file nor this read stands in the other's way.
    hive.File.reset(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!hive.File || !GetFileSizeEx(hive.File.get(), &size)) {
        const DWORD error = GetLastError();
        LogRefusal(path, "cannot-open", "error " + std::to_string(error) + ": " + SystemErrorText(error));
        return std::nullopt;
    }
    hive.Size = static_cast<uint64_t>(size.QuadPart);
    std::string problem;
    std::optional<HiveBaseBlock> base = ReadHiveBaseBlock(SourceOf(hive), problem);
    if (!base) {
        LogRefusal(path, "unreadable", problem);
        return std::nullopt;
    }
    hive.Base = *base;
    if (base->IsDirty()) {
        LogEvent("hive", {{"file", path},
                          {"note", "sequence numbers " + std::to_string(base->PrimarySequence) + " and " +
                                       std::to_string(base->SecondarySequence) +
                                       " differ: read from the primary file, without the changes its .LOG files hold"}});
    }
    return hive;
}

HiveKeyValues ReadOfflineHiveKey(OfflineHive& hive, const std::string& keyPath, const std::vector<std::string>& names)
{
    HiveKeyValues read = ReadHiveKeyValues(SourceOf(hive), hive.Base, keyPath, names);
    if (read.Result == HiveKeyResult::NoKey) LogRefusal(hive.Path, "no-key", keyPath);
    if (read.Result == HiveKeyResult::Unreadable) LogRefusal(hive.Path, "unreadable", read.Problem + " (" + keyPath + ")");
    return read;
}

std::string HiveTextOrEmpty(const std::map<std::string, HiveValue>& values, const std::string& name)
{
    auto value = values.find(name);
    if (value == values.end()) return std::string();
    std::optional<std::u16string> text = HiveValueText(value->second);
    return text ? AnsiOf(*text) : std::string();
}

std::optional<uint64_t> HiveNumberOrNothing(const std::map<std::string, HiveValue>& values, const std::string& name)
{
    auto value = values.find(name);
    return value == values.end() ? std::nullopt : HiveValueNumber(value->second);
}
