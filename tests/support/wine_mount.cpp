#include "support/wine_mount.h"

#include "common/guards.h"

namespace {
struct UnixDriveRequest {
    ULONG size, type, fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset, deviceOffset, labelOffset;
};
const DWORD kDefineUnixDrive = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
}  // namespace

bool DefineDrive(char letter, UINT type, const std::string& unixPath, const std::string& unixDevice)
{
    std::string request(sizeof(UnixDriveRequest) + unixPath.size() + 1 + unixDevice.size() + 1, '\0');
    auto* drive = reinterpret_cast<UnixDriveRequest*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = type;
    drive->letter = static_cast<WCHAR>(letter | 0x20);
    if (!unixPath.empty()) {
        drive->mountPointOffset = sizeof(UnixDriveRequest);
        unixPath.copy(request.data() + sizeof(UnixDriveRequest), unixPath.size());
    }
    if (!unixDevice.empty()) {
        drive->deviceOffset = static_cast<USHORT>(sizeof(UnixDriveRequest) + unixPath.size() + 1);
        unixDevice.copy(request.data() + drive->deviceOffset, unixDevice.size());
    }
    UniqueFile manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD returned = 0;
    return manager && DeviceIoControl(manager.get(), kDefineUnixDrive, request.data(), drive->size, nullptr, 0,
                                      &returned, nullptr);
}
