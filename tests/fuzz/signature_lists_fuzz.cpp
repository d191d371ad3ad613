// The walk over db's and dbx's signature lists on arbitrary bytes: every certificate and every
// certificate hash it yields lies within them, behind an owner GUID, in order and apart from the
// others of its kind, a hash with its time of revocation; and the walk always ends.
// signature_lists.dict gives the fuzzer the types' GUIDs.
#include "catalogues/secure_boot_rules.h"

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string db = BytesAsText(data, size);
    const SignatureListWalk walk = WalkSignatureLists(db);
    size_t earliest = kSignatureListHeaderBytes + kSignatureOwnerBytes;
    for (const ByteRange& range : walk.certificates) {
        Require(range.size > 0, "a certificate has data");
        Require(range.offset >= earliest, "an owner GUID, and before the first a list header, comes before each certificate");
        Require(range.offset <= size && range.size <= size - range.offset, "a certificate lies within db");
        earliest = range.offset + range.size + kSignatureOwnerBytes;
    }
    earliest = kSignatureListHeaderBytes + kSignatureOwnerBytes;
    for (const ByteRange& range : walk.tbsHashes) {
        Require(range.size == 32 || range.size == 48 || range.size == 64, "a certificate hash is SHA-256, SHA-384 or SHA-512");
        Require(range.offset >= earliest, "an owner GUID, and before the first a list header, comes before each hash");
        Require(range.offset <= size && range.size + kRevocationTimeBytes <= size - range.offset,
                "a certificate hash and its time of revocation lie within dbx");
        earliest = range.offset + range.size + kRevocationTimeBytes + kSignatureOwnerBytes;
    }
    const std::vector<std::string> hashTexts = TbsHashTexts(db, walk);
    for (size_t i = 0; i < hashTexts.size(); ++i) {
        Require(hashTexts[i].size() == 2 * walk.tbsHashes[i].size, "each hash is written as two digits a byte");
    }
    Require(walk.lists * kSignatureListHeaderBytes <= size, "each list walked has its header in db");
    Require(walk.problem.empty() || walk.lists * kSignatureListHeaderBytes < size, "a problem lies beyond the lists walked");
    Require(!walk.problem.empty() || size == 0 || walk.lists > 0, "bytes that are not a list are a problem");
    return 0;
}
