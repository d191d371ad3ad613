#include "catalogues/firmware.h"
#include "catalogues/signature_lists.h"
#include "common/guards.h"
#include "common/privileges.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace signature_lists;

namespace {

// A self-signed test certificate with the real CA's name (CN=Windows UEFI CA 2023,
// O=Microsoft Corporation, C=US) and a key of its own (P-256), made with python3-cryptography.
const std::string kTestCa2023(
    "\x30\x82\x01\x9b\x30\x82\x01\x41\xa0\x03\x02\x01\x02\x02\x02\x20\x23\x30\x0a\x06\x08\x2a\x86\x48\xce\x3d\x04\x03\x02\x30\x4c\x31\x0b\x30\x09\x06\x03\x55\x04\x06\x13\x02\x55\x53\x31\x1e\x30\x1c"
    "\x06\x03\x55\x04\x0a\x0c\x15\x4d\x69\x63\x72\x6f\x73\x6f\x66\x74\x20\x43\x6f\x72\x70\x6f\x72\x61\x74\x69\x6f\x6e\x31\x1d\x30\x1b\x06\x03\x55\x04\x03\x0c\x14\x57\x69\x6e\x64\x6f\x77\x73\x20\x55"
    "\x45\x46\x49\x20\x43\x41\x20\x32\x30\x32\x33\x30\x1e\x17\x0d\x32\x33\x30\x36\x31\x33\x30\x30\x30\x30\x30\x30\x5a\x17\x0d\x33\x35\x30\x36\x31\x33\x30\x30\x30\x30\x30\x30\x5a\x30\x4c\x31\x0b\x30"
    "\x09\x06\x03\x55\x04\x06\x13\x02\x55\x53\x31\x1e\x30\x1c\x06\x03\x55\x04\x0a\x0c\x15\x4d\x69\x63\x72\x6f\x73\x6f\x66\x74\x20\x43\x6f\x72\x70\x6f\x72\x61\x74\x69\x6f\x6e\x31\x1d\x30\x1b\x06\x03"
    "\x55\x04\x03\x0c\x14\x57\x69\x6e\x64\x6f\x77\x73\x20\x55\x45\x46\x49\x20\x43\x41\x20\x32\x30\x32\x33\x30\x59\x30\x13\x06\x07\x2a\x86\x48\xce\x3d\x02\x01\x06\x08\x2a\x86\x48\xce\x3d\x03\x01\x07"
    "\x03\x42\x00\x04\xb3\x67\x8c\xa7\x0f\x35\x27\xfc\xe0\x37\xcd\x1f\x8c\x81\x84\xd1\x25\xd7\xec\x7c\xd3\x6c\x47\xe3\x64\x2d\x21\x91\xba\x7c\x28\x31\x94\x1e\xb2\x7f\xb7\x7f\x70\x7b\x88\xef\x61\x96"
    "\xf0\xea\xde\xa4\x42\xf3\xee\x5c\x38\xc9\x91\xef\x17\x17\x08\x93\xfd\x82\xa2\xb2\xa3\x13\x30\x11\x30\x0f\x06\x03\x55\x1d\x13\x01\x01\xff\x04\x05\x30\x03\x01\x01\xff\x30\x0a\x06\x08\x2a\x86\x48"
    "\xce\x3d\x04\x03\x02\x03\x48\x00\x30\x45\x02\x21\x00\x94\x1f\x53\x2d\xcf\xc8\xa4\x1d\x24\x67\x7d\xb8\xc3\x1c\x37\x5c\x97\x00\x64\x35\x84\x48\x7d\xc7\x8b\x05\xc0\xdb\x28\x9f\x6f\xb1\x02\x20\x74"
    "\xe9\x4a\x1f\xbd\x77\x36\x15\x4c\xa5\xb2\xed\xaa\x8e\xd1\x80\x11\x11\x4e\xbf\x16\xa5\x7c\xcf\x17\x6c\xc0\x35\xa1\xc3\x87\xa2",
    415);
// Its SHA-1, as sha1sum gives it for the DER file.
constexpr const char* kTestCa2023Sha1 = "eac0fd53a2190fbfbc116378e335e95aa3af3358";

bool IsPrivilegeEnabled(const char* name)
{
    LUID luid{};
    UniqueHandle token;
    if (!LookupPrivilegeValueA(nullptr, name, &luid) || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    std::string buffer(4096, '\0');
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) return false;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
        if (entry.Luid.LowPart == luid.LowPart && entry.Luid.HighPart == luid.HighPart) {
            return (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    return false;
}

}  // namespace

// The certificate from db's bytes to its name and thumbprint through crypt32, with the real CA's
// table (another thumbprint: not the CA) and with a table that names this certificate.
TEST(ReadDbCertificatesTest, NamesEachCertificateByCommonNameAndThumbprintAndTellsAnImpostor)
{
    const std::string db = List(kSha256Type, {std::string(32, '\x5a')}) + List(kX509Type, {kTestCa2023}) +
                           List(kX509Type, {"not a certificate"});
    const DbCertificates contents = ReadDbCertificates(db);
    EXPECT_EQ(contents.walk.problem, "");
    ASSERT_EQ(contents.certificates.size(), 2u);
    EXPECT_EQ(contents.certificates[0].commonName, "Windows UEFI CA 2023");
    EXPECT_EQ(contents.certificates[0].sha1, kTestCa2023Sha1);
    EXPECT_EQ(contents.certificates[1].sha1, "") << "undecodable, and no crash";

    EXPECT_EQ(FindCa(contents.certificates, kWindowsUefiCa2023), CaPresence::NameOnly) << "the name, not the CA";
    EXPECT_EQ(FindCa(contents.certificates, KnownCa{"Windows UEFI CA 2023", kTestCa2023Sha1, {}, {}, {}}), CaPresence::Present);
    EXPECT_EQ(FindCa(contents.certificates, kWindowsProductionPca2011), CaPresence::Absent);
}

// The firmware's privilege is enabled only while the variables are read, and a privilege that was
// enabled before stays enabled.
TEST(ScopedPrivilegeTest, PutsTheTokenBackAsItFoundIt)
{
    ASSERT_FALSE(IsPrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME)) << "disabled in a new process's token";
    {
        ScopedPrivilege outer(SE_SYSTEM_ENVIRONMENT_NAME);
        ASSERT_EQ(outer.Result(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_TRUE(IsPrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME));
        { ScopedPrivilege inner(SE_SYSTEM_ENVIRONMENT_NAME); }
        EXPECT_TRUE(IsPrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME)) << "the inner scope found it enabled";
    }
    EXPECT_FALSE(IsPrivilegeEnabled(SE_SYSTEM_ENVIRONMENT_NAME));
    EXPECT_NE(ScopedPrivilege("SeNoSuchPrivilege").Result(), static_cast<DWORD>(ERROR_SUCCESS));
}
