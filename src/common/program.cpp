#include "common/program.h"

#include <windows.h>

bool IsWindowsNT()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void EndProgram() { ExitProcess(0); }
