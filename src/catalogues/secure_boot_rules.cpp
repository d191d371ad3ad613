#include "catalogues/secure_boot_rules.h"

#include <cstdint>

namespace {

// EFI_CERT_X509_GUID {a5c059a1-94e4-4aa7-87b5-ab155c2bf072} as db stores it: the first three
// fields little-endian, the last eight bytes as written.
constexpr std::string_view kX509Type("\xa1\x59\xc0\xa5\xe4\x94\xa7\x4a\x87\xb5\xab\x15\x5c\x2b\xf0\x72", 16);

uint32_t LittleEndian32(std::string_view bytes, size_t at)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// Why the list at the start of rest cannot be used; empty when it can. Sizes are compared as
// 64-bit numbers, so no sum of 32-bit fields can wrap around into a list that seems to fit.
std::string ListProblem(std::string_view rest, uint64_t listSize, uint64_t headerSize, uint64_t entrySize)
{
    if (listSize < kSignatureListHeaderBytes) return "a signature list is shorter than its own header";
    if (listSize > rest.size()) return "a signature list runs past the end of the variable";
    const uint64_t body = listSize - kSignatureListHeaderBytes;
    if (headerSize > body) return "a signature list's header runs past the list";
    if (entrySize <= kSignatureOwnerBytes) return "a signature list's entries are too small for an owner and data";
    if (body == headerSize) return "a signature list holds no entries";
    if ((body - headerSize) % entrySize != 0) return "a signature list does not hold whole entries";
    return std::string();
}

}  // namespace

SignatureListWalk WalkSignatureLists(std::string_view db)
{
    SignatureListWalk walk;
    size_t at = 0;
    while (at < db.size()) {
        const std::string_view rest = db.substr(at);
        if (rest.size() < kSignatureListHeaderBytes) {
            walk.problem = "a signature list's header is cut off";
            break;
        }
        const uint32_t listSize = LittleEndian32(rest, 16);
        const uint32_t headerSize = LittleEndian32(rest, 20);
        const uint32_t entrySize = LittleEndian32(rest, 24);
        walk.problem = ListProblem(rest, listSize, headerSize, entrySize);
        if (!walk.problem.empty()) break;
        if (rest.substr(0, kX509Type.size()) == kX509Type) {
            for (size_t entry = at + kSignatureListHeaderBytes + headerSize; entry < at + listSize; entry += entrySize) {
                walk.certificates.push_back({entry + kSignatureOwnerBytes, entrySize - kSignatureOwnerBytes});
            }
        }
        at += listSize;
        ++walk.lists;
    }
    return walk;
}

// Microsoft's thumbprints for both, from "Windows Secure Boot Key Creation and Management
// Guidance" (learn.microsoft.com/windows-hardware/manufacture/desktop/
// windows-secure-boot-key-creation-and-management-guidance, also KB5066426), the list of the
// certificates db holds: "Microsoft Windows Production PCA 2011, SHA-1 Cert Hash 58 0a 6f 4c
// c4 e4 b6 69 b9 eb dc 1b 2b 3e 08 7b 80 d0 67 8d" and "Windows UEFI CA 2023, SHA-1 Cert Hash
// 45 a0 fa 32 60 47 73 c8 24 33 c3 b7 d5 9e 74 66 b3 ac 0c 67".
const KnownCa kWindowsUefiCa2023{"Windows UEFI CA 2023", "45a0fa32604773c82433c3b7d59e7466b3ac0c67"};
const KnownCa kWindowsProductionPca2011{"Microsoft Windows Production PCA 2011", "580a6f4cc4e4b669b9ebdc1b2b3e087b80d0678d"};

CaPresence FindCa(const std::vector<DbCertificate>& certificates, const KnownCa& ca)
{
    CaPresence found = CaPresence::Absent;
    for (const DbCertificate& certificate : certificates) {
        if (certificate.commonName != ca.commonName) continue;
        if (certificate.sha1 == ca.sha1) return CaPresence::Present;
        found = CaPresence::NameOnly;
    }
    return found;
}

std::string CaTrustText(const CertificateList& db, const CertificateList& dbx, const KnownCa& ca)
{
    switch (FindCa(db.certificates, ca)) {
    case CaPresence::Present:
        if (FindCa(dbx.certificates, ca) == CaPresence::Present) return "revoked";
        return dbx.complete ? "yes" : "unknown";
    case CaPresence::NameOnly: return db.complete ? "other-thumbprint" : "unknown";
    case CaPresence::Absent: return db.complete ? "no" : "unknown";
    }
    return "unknown";
}
