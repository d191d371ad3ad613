// What the machine's Secure Boot databases trust, decided without platform calls: where the
// certificates lie in the bytes of the UEFI variables db (what the firmware may start) and dbx
// (what it refuses), and whether Microsoft's Windows CAs are among them. Both come from firmware
// of any make and age (and may be damaged), so none of their bytes is trusted: every size is
// checked against what was read before anything is used.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// db and dbx are rows of EFI_SIGNATURE_LISTs. Each one: the SignatureType GUID (16 bytes), then the
// 32-bit little-endian SignatureListSize (the whole list), SignatureHeaderSize and SignatureSize,
// then a header of SignatureHeaderSize bytes, then entries of SignatureSize bytes each: the
// SignatureOwner GUID (16 bytes) and the signature's data.
constexpr size_t kSignatureListHeaderBytes = 28;
constexpr size_t kSignatureOwnerBytes = 16;

// Where a part of one entry's data lies in the bytes.
struct ByteRange {
    size_t offset = 0;
    size_t size = 0;
};

// dbx may also revoke a certificate by the SHA-256, SHA-384 or SHA-512 hash of its DER
// TBSCertificate (EFI_CERT_X509_SHA256_GUID, _SHA384_GUID, _SHA512_GUID): each entry's data is
// the hash, then the EFI_TIME of the revocation.
constexpr size_t kRevocationTimeBytes = 16;

struct SignatureListWalk {
    std::vector<ByteRange> certificates;  // EFI_CERT_X509_GUID entries' DER, in db's order, never overlapping
    std::vector<ByteRange> tbsHashes;     // the hash entries' hashes without their time, in order
    size_t lists = 0;                     // lists walked whole
    // Empty when every byte belongs to a sound list. Otherwise why the walk stopped at the first
    // list that is empty, cut off, larger than what is left of the bytes, or whose header or
    // entry sizes do not fit it or its type: the lists after it cannot be found, so what the
    // variable holds beyond the certificates and hashes listed is not known.
    std::string problem;
};

SignatureListWalk WalkSignatureLists(std::string_view db);

// The hashes the walk found in the variable's bytes, as lower-case hexadecimal.
std::vector<std::string> TbsHashTexts(std::string_view variable, const SignatureListWalk& walk);

// A CA as Microsoft documents it: the subject's common name and the SHA-1 thumbprint of the
// certificate (40 lower-case hexadecimal digits), with the hashes of its TBSCertificate by which
// dbx may revoke it (lower-case hexadecimal; empty for a CA that has none recorded).
struct KnownCa {
    std::string_view commonName;
    std::string_view sha1;
    std::string_view tbsSha256;
    std::string_view tbsSha384;
    std::string_view tbsSha512;
};

extern const KnownCa kWindowsUefiCa2023;
extern const KnownCa kWindowsProductionPca2011;

// A certificate found in db, as the platform decoded it. An empty sha1 means undecodable.
struct DbCertificate {
    std::string commonName;
    std::string sha1;  // lower-case hexadecimal
};

// Present only for the CA's own certificate, the name and the thumbprint both. NameOnly is a
// certificate that carries the CA's name with another thumbprint: some other certificate, which
// boots nothing that the real CA signed.
enum class CaPresence { Absent, Present, NameOnly };

CaPresence FindCa(const std::vector<DbCertificate>& certificates, const KnownCa& ca);

// The certificates found in db or dbx, and whether the walk reached the variable's end. A variable
// the firmware does not have is an empty, complete list.
struct CertificateList {
    std::vector<DbCertificate> certificates;
    bool complete = true;
    std::vector<std::string> tbsHashes;  // as TbsHashTexts gives them
};

// The run log's word for what the firmware makes of the CA: "yes" (db holds it), "no",
// "other-thumbprint" (only a certificate with its name and another thumbprint), "revoked" (db holds
// it and dbx, the list of what the firmware refuses, holds the certificate or a hash of its
// TBSCertificate: dbx wins), and "unknown" where the part of db or dbx that could not be read may
// change the answer.
std::string CaTrustText(const CertificateList& db, const CertificateList& dbx, const KnownCa& ca);
