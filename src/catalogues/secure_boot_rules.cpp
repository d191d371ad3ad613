#include "catalogues/secure_boot_rules.h"

#include "common/text.h"

#include <cstdint>

namespace {

// EFI_CERT_X509_GUID {a5c059a1-94e4-4aa7-87b5-ab155c2bf072} as db stores it: the first three
// fields little-endian, the last eight bytes as written.
constexpr std::string_view kX509Type("\xa1\x59\xc0\xa5\xe4\x94\xa7\x4a\x87\xb5\xab\x15\x5c\x2b\xf0\x72", 16);

struct TbsHashType {
    std::string_view guid;
    size_t hashBytes;
};

// EFI_CERT_X509_SHA256_GUID {3bd2a492-96c0-4079-b420-fcf98ef103ed}, EFI_CERT_X509_SHA384_GUID
// {7076876e-80c2-4ee6-aad2-28b349a6865b} and EFI_CERT_X509_SHA512_GUID
// {446dbf63-2502-4cda-bcfa-2465d2b0fe9d}, stored as above.
constexpr TbsHashType kTbsHashTypes[] = {
    {std::string_view("\x92\xa4\xd2\x3b\xc0\x96\x79\x40\xb4\x20\xfc\xf9\x8e\xf1\x03\xed", 16), 32},
    {std::string_view("\x6e\x87\x76\x70\xc2\x80\xe6\x4e\xaa\xd2\x28\xb3\x49\xa6\x86\x5b", 16), 48},
    {std::string_view("\x63\xbf\x6d\x44\x02\x25\xda\x4c\xbc\xfa\x24\x65\xd2\xb0\xfe\x9d", 16), 64},
};

// The size of a hash entry's hash for a list of that type, 0 for other types.
size_t TbsHashBytes(std::string_view type)
{
    for (const TbsHashType& hashType : kTbsHashTypes) {
        if (type == hashType.guid) return hashType.hashBytes;
    }
    return 0;
}

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
    // A hash entry of another size cannot be read as the firmware reads it: where its hash ends
    // and what it revokes are not known.
    const size_t hashBytes = TbsHashBytes(rest.substr(0, kX509Type.size()));
    if (hashBytes != 0 && entrySize != kSignatureOwnerBytes + hashBytes + kRevocationTimeBytes) {
        return "a signature list's entries are not of the size its hash type gives them";
    }
    return std::string();
}

// Any entry counts, whatever its time of revocation: from that time on the firmware refuses what
// the CA signs, and whether an older, time-stamped signature still passes is the firmware's to weigh.
bool IsRevokedByHash(const std::vector<std::string>& tbsHashes, const KnownCa& ca)
{
    for (const std::string& hash : tbsHashes) {
        if (hash == ca.tbsSha256 || hash == ca.tbsSha384 || hash == ca.tbsSha512) return true;
    }
    return false;
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
        const std::string_view type = rest.substr(0, kX509Type.size());
        const size_t hashBytes = TbsHashBytes(type);
        for (size_t entry = at + kSignatureListHeaderBytes + headerSize; entry < at + listSize; entry += entrySize) {
            const size_t data = entry + kSignatureOwnerBytes;
            if (type == kX509Type) walk.certificates.push_back({data, entrySize - kSignatureOwnerBytes});
            if (hashBytes != 0) walk.tbsHashes.push_back({data, hashBytes});
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
//
// The hashes of their TBSCertificates were computed from the certificates with those thumbprints
// (the DER files Microsoft publishes, MicWinProPCA2011_2011-10-19.crt and "windows uefi ca
// 2023.crt"; sha1sum of each gives the thumbprint above): the TBSCertificate is the first element
// of the certificate's outer SEQUENCE, cut out with
// `openssl asn1parse -inform DER -in CA.der -strparse 4 -noout -out CA.tbs` (963 bytes for the
// 2011 CA, 918 for the 2023 one), then `openssl dgst -sha256` (-sha384, -sha512) of CA.tbs;
// python3-cryptography's tbs_certificate_bytes gives the same.
const KnownCa kWindowsUefiCa2023{
    "Windows UEFI CA 2023", "45a0fa32604773c82433c3b7d59e7466b3ac0c67",
    "81f29e98d32c6e606766cad3d83879a74c777e89ba8a9811cc8a81778dd629f8",
    "7eef31a2b0ad47d44fb46260530776af862e7a1907d38c6ebde2a7e2fc505d0e3fc00546c7c0898b762de1a44b37d009",
    "83f9d976538eaf25bf3d3047386c161731a6a68a6fec3f9a29b6f568e1422de9a67dce1e56f60b8e15b7b7dee98eb111"
    "47de2870bafee367130030ed2b6e2120"};
const KnownCa kWindowsProductionPca2011{
    "Microsoft Windows Production PCA 2011", "580a6f4cc4e4b669b9ebdc1b2b3e087b80d0678d",
    "4e80be107c860de896384b3eff50504dc2d76ac7151df3102a4450637a032146",
    "4f9a02c3eac5e83c38074d54c0bf270e03a1d668e0001c9812c509eb08a19075ee778a7630e65598e4608fc66e2d1c66",
    "a82e1bc811266ea32ff8a3041f6f2c905ed065fb36b3a6f7f0c166ecc101fbf694308b4fe41404b8098eb63987a3d096"
    "8f8f7acf4fc685f153bfbdefbaf0a951"};

std::vector<std::string> TbsHashTexts(std::string_view variable, const SignatureListWalk& walk)
{
    std::vector<std::string> texts;
    for (const ByteRange& range : walk.tbsHashes) texts.push_back(LowerHex(variable.substr(range.offset, range.size)));
    return texts;
}

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
        if (FindCa(dbx.certificates, ca) == CaPresence::Present || IsRevokedByHash(dbx.tbsHashes, ca)) return "revoked";
        return dbx.complete ? "yes" : "unknown";
    case CaPresence::NameOnly: return db.complete ? "other-thumbprint" : "unknown";
    case CaPresence::Absent: return db.complete ? "no" : "unknown";
    }
    return "unknown";
}
