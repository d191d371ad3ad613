// The walk over db's signature lists on arbitrary bytes: every certificate it yields lies within
// them, behind an owner GUID, in order and apart from the others; and the walk always ends.
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
    Require(walk.lists * kSignatureListHeaderBytes <= size, "each list walked has its header in db");
    Require(walk.problem.empty() || walk.lists * kSignatureListHeaderBytes < size, "a problem lies beyond the lists walked");
    Require(!walk.problem.empty() || size == 0 || walk.lists > 0, "bytes that are not a list are a problem");
    return 0;
}
