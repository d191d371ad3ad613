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
