#include "catalogues/installation_rules.h"

namespace {

constexpr unsigned long kFirstWindows11Build = 22000;
// Any longer run of digits is a build past every real one; the cap keeps the sum from overflowing.
constexpr unsigned long kBuildCap = 1000000000;

bool IsBuildAtLeast(const std::string& build, unsigned long least)
{
    if (build.empty()) return false;
    unsigned long value = 0;
    for (char c : build) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > kBuildCap) value = kBuildCap;
    }
    return value >= least;
}

std::string ProductNameOf(const InstallationValues& values)
{
    static const std::string kOld = "Windows 10";
    const std::string& build = values.CurrentBuildNumber.empty() ? values.CurrentBuild : values.CurrentBuildNumber;
    std::string name = values.ProductName;
    const bool namesWindows10 =
        name.compare(0, kOld.size(), kOld) == 0 && (name.size() == kOld.size() || name[kOld.size()] == ' ');
    if (namesWindows10 && IsBuildAtLeast(build, kFirstWindows11Build)) name.replace(0, kOld.size(), "Windows 11");
    return name;
}

const std::string& VersionOf(const InstallationValues& values)
{
    if (!values.CsdVersion.empty()) return values.CsdVersion;
    if (!values.DisplayVersion.empty()) return values.DisplayVersion;
    return values.ReleaseId;
}

void Append(std::string& text, const std::string& part)
{
    if (part.empty()) return;
    if (!text.empty()) text += ' ';
    text += part;
}

}  // namespace

std::string DescribeInstallation(const InstallationValues& values, const std::string& arch)
{
    std::string description = ProductNameOf(values);
    Append(description, VersionOf(values));
    if (!arch.empty()) Append(description, "(" + arch + ")");
    return description;
}

std::optional<std::string> ControlSetKeyName(uint32_t current)
{
    if (current == 0 || current > 999) return std::nullopt;
    std::string digits = std::to_string(current);
    return "ControlSet" + std::string(3 - digits.size(), '0') + digits;
}

std::string VolumeSizeText(uint64_t bytes, char decimalPoint)
{
    static const char* const kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB", "EB"};
    constexpr int kLastUnit = 6;
    int unit = 0;
    while (unit < kLastUnit && bytes >> (10 * (unit + 1)) != 0) ++unit;
    for (;;) {
        const uint64_t size = uint64_t{1} << (10 * unit);
        const uint64_t whole = bytes / size;
        const uint64_t rest = bytes % size;
        const std::string name = std::string(" ") + kUnits[unit];
        if (unit == 0) return std::to_string(whole) + name;
        // rest * 10 stays below 10 * 2^60, and whole is below 1,024 here (16 in exabytes).
        if (whole < 10) {
            const uint64_t tenths = whole * 10 + (rest * 10 + size / 2) / size;
            if (tenths < 100) return std::to_string(tenths / 10) + decimalPoint + std::to_string(tenths % 10) + name;
        }
        const uint64_t rounded = whole + (rest >= size - rest ? 1 : 0);
        if (rounded >= 1024 && unit < kLastUnit) {
            ++unit;
            continue;
        }
        return std::to_string(rounded) + name;
    }
}

std::string VolumeText(const std::string& label, std::optional<uint64_t> bytes, char decimalPoint,
                       const std::string& mark)
{
    std::string text;
    for (const std::string& part : {label, bytes ? VolumeSizeText(*bytes, decimalPoint) : std::string(), mark}) {
        if (part.empty()) continue;
        if (!text.empty()) text += ", ";
        text += part;
    }
    return text;
}

bool IsHibernationImage(std::string_view head)
{
    const std::string_view signature = head.substr(0, kHibernationSignatureBytes);
    return signature == "HIBR" || signature == "hibr";
}
