// The processor a Windows image file is built for, from the Machine field of its PE header.
// The bytes come from a disk in unknown state, so none of them is trusted: every offset is
// checked against what was read.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class ImageMachine { Unknown, X86, X64, Arm64 };

// "PE\0\0" and the Machine field: what MachineAtSignature needs from the signature on.
constexpr unsigned kPeSignatureAndMachineBytes = 6;

// Where the DOS header of an image says its "PE\0\0" signature is (e_lfanew, at 0x3C): nothing
// when head, the file's first bytes, does not start with "MZ" or ends before that field.
std::optional<uint32_t> PeSignatureOffset(std::string_view head);

// The machine named by the bytes from the signature on: "PE\0\0", then the 16-bit Machine field.
// Unknown for anything else, and for a machine other than i386, AMD64 and ARM64.
ImageMachine MachineAtSignature(std::string_view fromSignature);

// Both steps over the file's first bytes; Unknown when the signature lies beyond them.
ImageMachine ImageMachineOf(std::string_view head);
