#include "catalogues/firmware.h"

#include "common/guards.h"
#include "common/privileges.h"
#include "common/program.h"
#include "common/run_log.h"
#include "common/text.h"

#include <windows.h>
#include <wincrypt.h>

#include <optional>
#include <string>

namespace {

constexpr const char* kGlobalVariableGuid = "{8BE4DF61-93CA-11D2-AA0D-00E098032B8C}";    // EFI_GLOBAL_VARIABLE
constexpr const char* kSecurityDatabaseGuid = "{D719B2CB-3D3A-4596-A3BC-DAD00E67656F}";  // EFI_IMAGE_SECURITY_DATABASE_GUID

// db holds a few kilobytes on the machines seen. The call does not tell how large a variable is,
// so one that does not fit gets one more try with a buffer of the limit, and beyond that is not read.
constexpr DWORD kDbFirstTryBytes = 64 * 1024;
constexpr DWORD kDbLimitBytes = 1024 * 1024;

// FIRMWARE_TYPE's values; the program is built for Windows 7, whose headers lack the type.
constexpr int kFirmwareTypeBios = 1;
constexpr int kFirmwareTypeUefi = 2;

struct FirmwareLine {
    std::string type = "unknown";
    std::string secureBoot = "unknown";
    std::string db = "unknown";
    std::string dbx = "unknown";
    std::string certificates;  // how many db holds, empty unless db was read
    size_t undecodable = 0;    // of them, how many crypt32 could not decode
    std::string ca2023 = "unknown";
    std::string pca2011 = "unknown";
    std::string reason;  // the first thing that left a value unknown
    DWORD error = ERROR_SUCCESS;

    void Fail(std::string why, DWORD code = ERROR_SUCCESS)
    {
        if (!reason.empty()) return;
        reason = std::move(why);
        error = code;
    }
};

// GetFirmwareType came with Windows 8. Before it there is the test that
// GetFirmwareEnvironmentVariableA's documentation gives: on BIOS firmware any variable fails with
// ERROR_INVALID_FUNCTION, on UEFI with another error. Wine answers that test as BIOS firmware
// would, on any machine, so there nothing is concluded from it.
std::string FirmwareType(FirmwareLine& line)
{
    if (IsWine()) {
        line.Fail("Wine does not read the firmware");
        return "unknown";
    }
    using GetFirmwareTypeProc = BOOL(WINAPI*)(int*);
    auto getType = reinterpret_cast<GetFirmwareTypeProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFirmwareType")));
    if (getType) {
        int type = 0;
        if (getType(&type) && type == kFirmwareTypeUefi) return "UEFI";
        if (type == kFirmwareTypeBios) return "BIOS";
        line.Fail("GetFirmwareType does not know the firmware");
        return "unknown";
    }
    char ignored = 0;
    if (GetFirmwareEnvironmentVariableA("", "{00000000-0000-0000-0000-000000000000}", &ignored, sizeof ignored) == 0 &&
        GetLastError() == ERROR_INVALID_FUNCTION) {
        return "BIOS";
    }
    return "UEFI";
}

// The variable's bytes, or nothing with the error of the last try.
std::optional<std::string> ReadVariable(const char* name, const char* guid, DWORD firstTry, DWORD limit, DWORD& error)
{
    for (DWORD size = firstTry;; size = limit) {
        std::string bytes(size, '\0');
        SetLastError(ERROR_SUCCESS);
        const DWORD read = GetFirmwareEnvironmentVariableA(name, guid, bytes.data(), size);
        error = GetLastError();
        if (read != 0 || error == ERROR_SUCCESS) {
            bytes.resize(read);
            return bytes;
        }
        if ((error != ERROR_INSUFFICIENT_BUFFER && error != ERROR_MORE_DATA) || size >= limit) return std::nullopt;
    }
}

void ReadSecureBoot(FirmwareLine& line)
{
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> value = ReadVariable("SecureBoot", kGlobalVariableGuid, 4, 4, error);
    if (value && *value == std::string(1, '\1')) {
        line.secureBoot = "on";
    } else if (value && *value == std::string(1, '\0')) {
        line.secureBoot = "off";
    } else if (!value && error == ERROR_ENVVAR_NOT_FOUND) {
        // Firmware from before Secure Boot (UEFI 2.3.1) has no such variable.
        line.secureBoot = "unsupported";
    } else {
        line.Fail(value ? "SecureBoot holds neither 0 nor 1" : "SecureBoot cannot be read", error);
    }
}

// One of the signature databases (db or dbx): its state for the line, and its certificates.
CertificateList ReadDatabase(const char* name, std::string& state, FirmwareLine& line)
{
    CertificateList list;
    DWORD error = ERROR_SUCCESS;
    const std::optional<std::string> bytes = ReadVariable(name, kSecurityDatabaseGuid, kDbFirstTryBytes, kDbLimitBytes, error);
    if (!bytes && error == ERROR_ENVVAR_NOT_FOUND) {
        state = "absent";
        return list;
    }
    if (!bytes) {
        state = "unreadable";
        const bool tooLarge = error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA;
        line.Fail(std::string(name) + (tooLarge ? " is larger than 1 MB" : " cannot be read"), error);
        list.complete = false;
        return list;
    }
    const DbCertificates contents = ReadDbCertificates(*bytes);
    list.certificates = contents.certificates;
    list.tbsHashes = TbsHashTexts(*bytes, contents.walk);
    list.complete = contents.walk.problem.empty();
    state = list.complete ? "read" : "malformed";
    if (!list.complete) line.Fail(std::string(name) + ": " + contents.walk.problem);
    return list;
}

// db lists what the firmware may start; dbx what it refuses although db trusts it, a certificate
// by itself or by a hash of its TBSCertificate. The last step of Microsoft's mitigations for
// CVE-2023-24932 revokes the 2011 CA that way, so db alone would report a machine that refuses
// every 2011-signed boot manager as trusting them.
void ReadDatabases(FirmwareLine& line)
{
    const CertificateList db = ReadDatabase("db", line.db, line);
    const CertificateList dbx = ReadDatabase("dbx", line.dbx, line);
    if (line.db == "read" || line.db == "malformed") {
        for (const DbCertificate& certificate : db.certificates) line.undecodable += certificate.sha1.empty() ? 1 : 0;
        line.certificates = std::to_string(db.certificates.size());
    }
    line.ca2023 = CaTrustText(db, dbx, kWindowsUefiCa2023);
    line.pca2011 = CaTrustText(db, dbx, kWindowsProductionPca2011);
}

DbCertificate DecodeCertificate(std::string_view der)
{
    DbCertificate certificate;
    UniqueCertificate context(CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
    if (!context) return certificate;
    // The common name alone: the simple display name would fall back to the organisation or
    // the e-mail address, and a certificate without a common name is no CA of the table.
    void* commonName = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD length = CertGetNameStringA(context.get(), CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
    std::string name(length, '\0');
    CertGetNameStringA(context.get(), CERT_NAME_ATTR_TYPE, 0, commonName, name.data(), length);
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    certificate.commonName = name;
    BYTE hash[20];
    DWORD hashSize = sizeof hash;
    if (CertGetCertificateContextProperty(context.get(), CERT_SHA1_HASH_PROP_ID, hash, &hashSize)) {
        certificate.sha1 = LowerHex(std::string_view(reinterpret_cast<const char*>(hash), hashSize));
    }
    return certificate;
}

}  // namespace

DbCertificates ReadDbCertificates(std::string_view db)
{
    DbCertificates contents{WalkSignatureLists(db), {}};
    for (const ByteRange& range : contents.walk.certificates) {
        contents.certificates.push_back(DecodeCertificate(db.substr(range.offset, range.size)));
    }
    return contents;
}

void LogFirmware()
{
    FirmwareLine line;
    line.type = FirmwareType(line);
    if (line.type == "BIOS") line.Fail("BIOS firmware has no Secure Boot");
    if (line.type == "UEFI") {
        ScopedPrivilege privilege(SE_SYSTEM_ENVIRONMENT_NAME);
        if (privilege.Result() == ERROR_SUCCESS) {
            ReadSecureBoot(line);
            ReadDatabases(line);
        } else {
            line.Fail("the system environment privilege is not held", privilege.Result());
        }
    }
    LogEvent("firmware", {{"type", line.type},
                          {"secure-boot", line.secureBoot},
                          {"db", line.db},
                          {line.certificates.empty() ? "" : "certificates", line.certificates},
                          {line.undecodable == 0 ? "" : "undecodable", std::to_string(line.undecodable)},
                          {"dbx", line.dbx},
                          {"windows-uefi-ca-2023", line.ca2023},
                          {"windows-pca-2011", line.pca2011},
                          {line.reason.empty() ? "" : "reason", line.reason},
                          {line.error == ERROR_SUCCESS ? "" : "error", std::to_string(line.error)}});
}
