#include "common/registry.h"

#include "common/errors.h"

namespace {

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

[[noreturn]] void RaiseInvalidType(const std::string& name)
{
    throw RegistryError("Invalid data type for " + Quoted(name));
}
[[noreturn]] void RaiseGetFailed(const std::string& name)
{
    throw RegistryError("Failed to get data for " + Quoted(name));
}
[[noreturn]] void RaiseSetFailed(const std::string& name)
{
    throw RegistryError("Failed to set data for " + Quoted(name));
}

// Splits "\A\B" into the root and "A\B"; a relative path stays below parent.
HKEY ResolveParent(HKEY parent, std::string& path)
{
    if (!path.empty() && path[0] == '\\') {
        path.erase(0, std::min(path.find_first_not_of('\\'), path.size()));
        return HKEY_LOCAL_MACHINE;
    }
    return parent ? parent : HKEY_LOCAL_MACHINE;
}

// The 32-bit build on 64-bit Windows would otherwise see HKLM\Software through WOW6432Node: no
// stored password there, and other autorun keys, layouts and time zones than the system uses.
// 32-bit Windows ignores the flag, and it is the 64-bit build's own view.
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// Stored strings need not carry their terminator, and the text ends at the first zero.
std::string TextUpToZero(const char* bytes, size_t size)
{
    std::string text(bytes, size);
    size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

// One query into a small buffer, which gives type and text together for nearly every value:
// under Wine each query is a round trip to the server, and the catalogues read hundreds of
// values per pass. rc is ERROR_MORE_DATA (with the type) for a longer value.
struct ShortValue {
    LONG rc;
    DWORD type;
    std::string text;  // when rc is ERROR_SUCCESS
};

ShortValue QueryShortValue(HKEY key, const std::string& name)
{
    char buffer[256];
    DWORD size = sizeof buffer;
    ShortValue value{ERROR_SUCCESS, REG_NONE, std::string()};
    value.rc = RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size);
    if (value.rc == ERROR_SUCCESS) value.text = TextUpToZero(buffer, std::min<size_t>(size, sizeof buffer));
    return value;
}

void WriteValue(HKEY key, const std::string& name, DWORD type, const void* data, DWORD size)
{
    if (RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS) {
        RaiseSetFailed(name);
    }
}

void WriteText(HKEY key, const std::string& name, DWORD type, const std::string& value)
{
    WriteValue(key, name, type, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

}  // namespace

UniqueKey OpenRegKey(const std::string& path, REGSAM access) { return OpenRegKey(nullptr, path, access); }

UniqueKey OpenRegKey(HKEY parent, const std::string& path, REGSAM access)
{
    LONG status = ERROR_SUCCESS;
    return OpenRegKey(parent, path, access, status);
}

UniqueKey OpenRegKey(const std::string& path, REGSAM access, LONG& status)
{
    return OpenRegKey(nullptr, path, access, status);
}

UniqueKey OpenRegKey(HKEY parent, const std::string& path, REGSAM access, LONG& status)
{
    std::string subPath = path;
    HKEY base = ResolveParent(parent, subPath);
    UniqueKey key;
    status = RegOpenKeyExA(base, subPath.c_str(), 0, access | kNativeView, key.put());
    if (status != ERROR_SUCCESS) key.reset();
    return key;
}

UniqueKey CreateRegKey(const std::string& path, REGSAM access)
{
    std::string subPath = path;
    HKEY base = ResolveParent(nullptr, subPath);
    UniqueKey key;
    if (RegCreateKeyExA(base, subPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | kNativeView, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

bool RegValueExists(HKEY key, const std::string& name)
{
    return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string ReadRegString(HKEY key, const std::string& name)
{
    ShortValue first = QueryShortValue(key, name);
    if (first.rc == ERROR_FILE_NOT_FOUND) return std::string();
    if (first.rc != ERROR_SUCCESS && first.rc != ERROR_MORE_DATA) RaiseGetFailed(name);
    if (!IsStringType(first.type)) RaiseInvalidType(name);
    if (first.rc == ERROR_SUCCESS) return first.text;

    // A long value: its size first, then the text. It may change size between the two
    // queries; try again while it grows.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return std::string();
        if (rc != ERROR_SUCCESS) RaiseGetFailed(name);
        if (!IsStringType(type)) RaiseInvalidType(name);

        std::string text(size, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc == ERROR_FILE_NOT_FOUND) return std::string();
        if (rc != ERROR_SUCCESS) RaiseGetFailed(name);
        if (!IsStringType(type)) RaiseInvalidType(name);
        return TextUpToZero(text.data(), std::min<size_t>(got, text.size()));
    }
    RaiseGetFailed(name);
}

std::optional<std::string> ReadRegTextIfString(HKEY key, const std::string& name)
{
    ShortValue first = QueryShortValue(key, name);
    if (first.rc != ERROR_SUCCESS && first.rc != ERROR_MORE_DATA) return std::nullopt;
    if (!IsStringType(first.type)) return std::nullopt;
    if (first.rc == ERROR_SUCCESS) return first.text;
    try {
        return ReadRegString(key, name);
    } catch (const RegistryError&) {
        return std::nullopt;  // changed under our feet
    }
}

std::string ReadRegStringOrEmpty(HKEY key, const std::string& name)
{
    return ReadRegTextIfString(key, name).value_or(std::string());
}

uint32_t ReadRegDword(HKEY key, const std::string& name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) RaiseGetFailed(name);
    if (type != REG_DWORD || size != sizeof(DWORD)) RaiseInvalidType(name);
    DWORD value = 0;
    size = sizeof value;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
        RaiseGetFailed(name);
    }
    if (type != REG_DWORD || size != sizeof(DWORD)) RaiseInvalidType(name);
    return value;
}

std::optional<uint32_t> ReadRegDwordIfPresent(HKEY key, const std::string& name)
{
    if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    return ReadRegDword(key, name);
}

std::optional<std::vector<uint8_t>> ReadRegBinaryIfPresent(HKEY key, const std::string& name)
{
    // The value may change size between the two queries; try again while it grows.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (rc != ERROR_SUCCESS) RaiseGetFailed(name);
        if (type != REG_BINARY) RaiseInvalidType(name);

        std::vector<uint8_t> bytes(size);
        DWORD got = size;
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, bytes.data(), &got);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
        if (rc != ERROR_SUCCESS) RaiseGetFailed(name);
        if (type != REG_BINARY) RaiseInvalidType(name);
        bytes.resize(std::min<size_t>(got, bytes.size()));
        return bytes;
    }
    RaiseGetFailed(name);
}

void WriteRegString(HKEY key, const std::string& name, const std::string& value)
{
    WriteText(key, name, REG_SZ, value);
}

void WriteRegExpandString(HKEY key, const std::string& name, const std::string& value)
{
    WriteText(key, name, REG_EXPAND_SZ, value);
}

void WriteRegDword(HKEY key, const std::string& name, uint32_t value)
{
    DWORD data = value;
    WriteValue(key, name, REG_DWORD, &data, sizeof data);
}

void WriteRegBinary(HKEY key, const std::string& name, const std::string& bytes)
{
    WriteValue(key, name, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size()));
}

bool DeleteRegValue(HKEY key, const std::string& name)
{
    return RegDeleteValueA(key, name.c_str()) == ERROR_SUCCESS;
}

bool DeleteRegKey(HKEY parent, const std::string& name)
{
    return RegDeleteKeyExA(parent, name.c_str(), kNativeView, 0) == ERROR_SUCCESS;
}

bool DeleteRegTree(const std::string& path)
{
    std::string subPath = path;
    HKEY base = ResolveParent(nullptr, subPath);
    if (subPath.empty()) return false;  // never the whole root
    // RegDeleteTreeA takes no view, so it empties the key opened in the right view, and the key
    // itself goes through the call that does take one.
    {
        UniqueKey key = OpenRegKey(path, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE);
        if (!key || RegDeleteTreeA(key.get(), nullptr) != ERROR_SUCCESS) return false;
    }
    return DeleteRegKey(base, subPath);
}

namespace {

// Names by index, into a buffer sized from the longest name the key reports. The platform counts
// it in UTF-16 units, and in a double-byte code page each can take two bytes: a fixed 256 bytes
// would end a list at a name of 128 such characters. A longer name added meanwhile grows it.
template <class Enumerate>
std::vector<std::string> EnumerateNames(DWORD longest, Enumerate enumerate)
{
    std::vector<std::string> names;
    std::string buffer(longest * 2 + 1, '\0');
    for (DWORD index = 0;;) {
        DWORD length = static_cast<DWORD>(buffer.size());
        LONG rc = enumerate(index, buffer.data(), &length);
        if (rc == ERROR_MORE_DATA) {
            buffer.resize(buffer.size() * 2 + 256);
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), length);
        ++index;
    }
    return names;
}

}  // namespace

std::vector<std::string> RegValueNames(HKEY key)
{
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return EnumerateNames(longest, [key](DWORD index, char* name, DWORD* length) {
        return RegEnumValueA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::string> RegSubKeyNames(HKEY key)
{
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return EnumerateNames(longest, [key](DWORD index, char* name, DWORD* length) {
        return RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}
