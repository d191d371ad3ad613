// How an installation is named in the target list and the folder browser: its product name as
// the installed Windows itself would give it, then its service pack or feature update, then its
// processor family. Plain text in, text out; the registry and the kernel file are read elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Texts of the installation's Microsoft\Windows NT\CurrentVersion key; a missing value, or one
// that is no text, is empty.
struct InstallationValues {
    std::string ProductName;
    std::string CsdVersion;
    std::string CurrentBuildNumber;
    std::string CurrentBuild;
    std::string DisplayVersion;
    std::string ReleaseId;
};

// "Name Version (arch)", each part with its blank only when it is there:
//  - Name is ProductName, but Windows 11 keeps "Windows 10" there, so from build 22000 on a
//    leading "Windows 10" (the whole name, or followed by a blank) reads "Windows 11". The build
//    is CurrentBuildNumber, or CurrentBuild when that is empty, and counts only as plain digits.
//  - Version is the first non-empty one of CSDVersion ("Service Pack 3", up to Windows 7),
//    DisplayVersion ("23H2") and ReleaseId ("1909", Windows 10 before 20H2).
//  - arch is the processor word, empty when the kernel did not tell.
std::string DescribeInstallation(const InstallationValues& values, const std::string& arch);

// The key of the control set an offline SYSTEM hive's Select\Current names: 1 is
// "ControlSet001". Nothing for 0 or a number past 999, which name no control set Windows writes.
std::optional<std::string> ControlSetKeyName(uint32_t current);

// A volume's size as Explorer gives it, in units of 1,024: one decimal below ten units ("1.8 TB",
// "9.5 GB"), whole units from ten on ("237 GB"), rounded half up, and the next unit once the
// rounded figure reaches 1,024 ("1.0 TB", never "1024 GB"). Below one KB the bytes: "512 B".
std::string VolumeSizeText(uint64_t bytes, char decimalPoint);

// The Volume column's text: the label, the size and the mark ("hibernated"), those that are
// there, each after a comma and a blank but the first; empty text when none is.
std::string VolumeText(const std::string& label, std::optional<uint64_t> bytes, char decimalPoint,
                       const std::string& mark = std::string());

// Whether the first bytes of a volume's hiberfil.sys hold a hibernation image that Windows will
// resume from: "HIBR" (Windows 8 and later, also after a shutdown with Fast Startup) or "hibr"
// (earlier). Once resumed, Windows zeroes the signature or, after a failed resume, writes "wake".
constexpr size_t kHibernationSignatureBytes = 4;
bool IsHibernationImage(std::string_view head);
