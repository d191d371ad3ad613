#include "password/password_store.h"

#include "common/errors.h"
#include "common/files.h"
#include "common/guards.h"
#include "common/registry.h"
#include "common/run_log.h"
#include "password/password_hash.h"

namespace {

[[noreturn]] void RaiseCannotWrite(const std::string& path, DWORD error)
{
    throw FileError("Cannot create file \"" + path + "\". " + SystemErrorText(error));
}

}  // namespace

StoredPassword ReadStoredPassword()
{
    StoredPassword stored;
    // Only a key or value that is not there means "no password". A key that cannot be opened or
    // a value that cannot be read (access denied, a damaged hive) raises, as a value of the wrong
    // type does: a configured password must never turn into none. Reading needs no more than read
    // access, so a caller that may read the key but not change it still gets the password.
    LONG status = ERROR_SUCCESS;
    UniqueKey key = OpenRegKey(kPasswordKey, KEY_READ, status);
    if (status == ERROR_FILE_NOT_FOUND) return stored;
    if (!key) throw RegistryError("Failed to get data for '" + std::string(kPasswordValue) + "'");

    // A PassHash beside a PassKey is not even read: a damaged one must not lock out the owner of
    // the key, and a readable one must not open the door to what its weak hash lets through.
    if (std::optional<std::vector<uint8_t>> bytes = ReadRegBinaryIfPresent(key.get(), kPassKeyValue)) {
        stored.Key = ParsePassKey(bytes->data(), bytes->size());
        if (!stored.Key) throw RegistryError("Invalid data for '" + std::string(kPassKeyValue) + "'");
        return stored;
    }
    stored.Hash = ReadRegDwordIfPresent(key.get(), kPasswordValue).value_or(0);
    return stored;
}

std::string PasswordFilePath() { return ExecutableFolder() + "tarn_password.txt"; }

void WritePasswordFile(const std::optional<TPassKey>& key)
{
    std::string path = PasswordFilePath();
    // Without a key, the password was empty: that means no password, and the legacy file says so.
    std::string text = key ? PassKeyFileText(*key) : PasswordFileText(std::string(), 0);
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseCannotWrite(path, GetLastError());
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        RaiseCannotWrite(path, GetLastError());
    }
    if (written != text.size()) RaiseCannotWrite(path, ERROR_DISK_FULL);
}
