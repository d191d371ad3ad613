// The PE header reader over arbitrary bytes: it never reads past them, and a machine it names is
// always backed by "MZ", an e_lfanew inside the bytes and "PE\0\0" at that offset.
#include "catalogues/pe_header.h"

#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = BytesAsText(data, size);
    const ImageMachine machine = ImageMachineOf(bytes);
    const std::optional<uint32_t> at = PeSignatureOffset(bytes);
    Require(at.has_value() == (size >= 0x40 && bytes.compare(0, 2, "MZ") == 0), "the DOS header is read when it is there");
    if (machine == ImageMachine::Unknown) return 0;
    Require(at && uint64_t{*at} + 6 <= size, "a named machine lies within the bytes");
    Require(bytes.compare(*at, 4, std::string("PE\0\0", 4)) == 0, "a named machine follows the signature");
    Require(MachineAtSignature(bytes.substr(*at, 6)) == machine, "six bytes at the signature say the same");
    return 0;
}
