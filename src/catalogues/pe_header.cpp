#include "catalogues/pe_header.h"

namespace {

constexpr size_t kLfanewOffset = 0x3C;
constexpr std::string_view kSignature("PE\0\0", 4);

uint32_t LittleEndian(std::string_view bytes, size_t at, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

}  // namespace

std::optional<uint32_t> PeSignatureOffset(std::string_view head)
{
    if (head.size() < kLfanewOffset + 4 || head.substr(0, 2) != "MZ") return std::nullopt;
    return LittleEndian(head, kLfanewOffset, 4);
}

ImageMachine MachineAtSignature(std::string_view fromSignature)
{
    if (fromSignature.size() < kSignature.size() + 2 || fromSignature.substr(0, kSignature.size()) != kSignature) {
        return ImageMachine::Unknown;
    }
    switch (LittleEndian(fromSignature, kSignature.size(), 2)) {
    case 0x014C: return ImageMachine::X86;
    case 0x8664: return ImageMachine::X64;
    case 0xAA64: return ImageMachine::Arm64;
    default: return ImageMachine::Unknown;
    }
}

ImageMachine ImageMachineOf(std::string_view head)
{
    std::optional<uint32_t> at = PeSignatureOffset(head);
    if (!at || *at >= head.size()) return ImageMachine::Unknown;
    return MachineAtSignature(head.substr(*at));
}
