// A stand-in cfgmgr32.dll for the tests: Wine reports no problem code for any device, so a test
// that needs devices without a driver copies this beside tarn_logon.exe and starts it with
// a DllOverrides entry for the program (Wine's AppDefaults). It exports only what the program imports from cfgmgr32. Each
// device instance named in TARN_DEVNODE_PROBLEMS ("<instance id>=<problem>;...") has that
// problem; every other is started. Never shipped.
#include <windows.h>

#include <string>

// cfgmgr32.h declares the two as imports; this DLL defines them.
using CONFIGRET = DWORD;
using DEVINST = DWORD;
constexpr CONFIGRET CR_SUCCESS = 0;
constexpr ULONG DN_DRIVER_LOADED = 0x2, DN_STARTED = 0x8, DN_HAS_PROBLEM = 0x400;
constexpr size_t MAX_DEVICE_ID_LEN = 200;

namespace {

using GetDeviceIdFn = CONFIGRET(WINAPI*)(DEVINST, PSTR, ULONG, ULONG);

// The device's instance ID from Wine's SetupAPI, which keeps the devices cfgmgr32 would ask.
std::string InstanceId(DEVINST device)
{
    static HMODULE setupapi = LoadLibraryA("setupapi.dll");
    auto get = reinterpret_cast<GetDeviceIdFn>(reinterpret_cast<void*>(GetProcAddress(setupapi, "CM_Get_Device_IDA")));
    char id[MAX_DEVICE_ID_LEN + 1] = "";
    if (!get || get(device, id, sizeof id, 0) != CR_SUCCESS) return std::string();
    return CharUpperA(id);
}

}  // namespace

extern "C" CONFIGRET WINAPI CM_Get_DevNode_Status(PULONG status, PULONG problem, DEVINST device, ULONG)
{
    char list[4096] = "";
    GetEnvironmentVariableA("TARN_DEVNODE_PROBLEMS", list, sizeof list);
    const std::string problems = std::string(";") + CharUpperA(list) + ";";
    const std::string key = ";" + InstanceId(device) + "=";
    const size_t at = problems.find(key);

    *status = DN_DRIVER_LOADED | DN_STARTED;
    *problem = 0;
    if (at != std::string::npos) {
        *status = DN_HAS_PROBLEM;
        *problem = std::stoul(problems.substr(at + key.size()));
    }
    return CR_SUCCESS;
}

// The program imports it under the name cfgmgr32.h gives it.
extern "C" DWORD WINAPI CMP_WaitNoPendingInstallEvents(DWORD) { return WAIT_OBJECT_0; }
