#include "catalogues/device_rules.h"

#include "common/text.h"

namespace {

constexpr unsigned long kStarted = 0x00000008;     // DN_STARTED
constexpr unsigned long kHasProblem = 0x00000400;  // DN_HAS_PROBLEM

// CM_PROB_ codes. Not configured (1), reinstall (18) and failed install (28) are what Windows PE
// shows for hardware whose driver the image lacks.
constexpr unsigned long kNoDriverProblems[] = {0x01, 0x12, 0x1C};
// Failed start, failed add, driver entry failed, prior unload failed, load failed, service key
// invalid, legacy service without devices, failed post start, driver blocked, unsigned driver.
constexpr unsigned long kFailedStartProblems[] = {0x0A, 0x1F, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2B, 0x30, 0x34};
// Disabled, hardware disabled, disabled service.
constexpr unsigned long kDisabledProblems[] = {0x16, 0x1D, 0x20};

constexpr std::string_view kControllerClasses[] = {
    "{4D36E97B-E325-11CE-BFC1-08002BE10318}",  // SCSIAdapter: SCSI, RAID, NVMe
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}",  // HDC: IDE, ATA, AHCI
    "{4D36E972-E325-11CE-BFC1-08002BE10318}",  // Net
    "{A0A588A4-C46F-4B37-B7EA-C82FE89870C6}",  // SDHost
};

template <size_t N>
bool IsIn(const unsigned long (&codes)[N], unsigned long problem)
{
    for (unsigned long code : codes) {
        if (code == problem) return true;
    }
    return false;
}

}  // namespace

DeviceState ClassifyDevice(bool statusRead, unsigned long status, unsigned long problem)
{
    if (!statusRead) return DeviceState::Unknown;
    // The problem number means something only while the flag says there is one.
    if (status & kHasProblem) {
        if (IsIn(kNoDriverProblems, problem)) return DeviceState::NoDriver;
        if (IsIn(kFailedStartProblems, problem)) return DeviceState::FailedStart;
        if (IsIn(kDisabledProblems, problem)) return DeviceState::Disabled;
        return DeviceState::Problem;
    }
    return status & kStarted ? DeviceState::Working : DeviceState::NotStarted;
}

bool IsControllerClass(std::string_view classGuid)
{
    const std::string upper = UpperAscii(classGuid);
    for (std::string_view known : kControllerClasses) {
        if (upper == known) return true;
    }
    return false;
}

bool IsListedDevice(DeviceState state, std::string_view classGuid)
{
    return (state != DeviceState::Working && state != DeviceState::Unknown) || IsControllerClass(classGuid);
}

std::vector<std::string> SplitMultiString(std::string_view bytes)
{
    std::vector<std::string> strings;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == start) break;
        if (end == std::string_view::npos) end = bytes.size();
        strings.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}
