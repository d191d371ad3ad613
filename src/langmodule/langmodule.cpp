#include "langmodule/langmodule.h"

#include "common/callback_boundary.h"

#include "common/files.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "langmodule/langmodule_testing.h"
#include "shellctl/launch.h"
#include "shellctl/shared_state.h"

namespace {

using ShowShutdownDlgProc = DWORD(WINAPI*)(HWND owner, DWORD setupLoader);
using InitShutdownProc = void(WINAPI*)();
using ShutdownSystemProc = void(WINAPI*)(DWORD code);

// The module is loaded once and never freed: its dialogs and strings are used until the end.
struct LangModule {
    HMODULE handle = nullptr;
    ShowShutdownDlgProc showShutdownDlg = nullptr;
    InitShutdownProc initShutdown = nullptr;
    ShutdownSystemProc shutdownSystem = nullptr;
};
LangModule g_module;
// A module that cannot be loaded is tried again at every use; the log tells it once.
bool g_loadFailureLogged = false;

constexpr int kStringBufferSize = 1024;
constexpr unsigned kQuitCode = 0;
constexpr unsigned kLastShutdownCode = 6;

template <class Proc>
Proc EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The entry points the module lacks, by name; empty when it has all three.
std::string MissingEntryPoints()
{
    std::string missing;
    if (!g_module.showShutdownDlg) missing += ",ShowShutdownDlg";
    if (!g_module.initShutdown) missing += ",InitShutdown";
    if (!g_module.shutdownSystem) missing += ",ShutdownSystem";
    return missing.empty() ? "none" : missing.substr(1);
}

}  // namespace

HMODULE LoadLangModule()
{
    if (g_module.handle) return g_module.handle;

    std::string path = ExecutableFolder() + Shared().Settings.LangModuleName;
    // A broken or half-copied module must fail quietly, not stop the boot in a system error box.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, 0);
    DWORD loadError = GetLastError();
    SetErrorMode(oldMode);
    if (!module) {
        if (!g_loadFailureLogged) {
            LogEvent("langmodule", {{"name", path}, {"result", IsExistingFile(path) ? "unloadable" : "missing"},
                                    {"error", SystemErrorText(loadError)}});
        }
        g_loadFailureLogged = true;
        return nullptr;
    }

    g_module.handle = module;
    g_module.showShutdownDlg = EntryPoint<ShowShutdownDlgProc>(module, "ShowShutdownDlg");
    g_module.initShutdown = EntryPoint<InitShutdownProc>(module, "InitShutdown");
    g_module.shutdownSystem = EntryPoint<ShutdownSystemProc>(module, "ShutdownSystem");
    LogEvent("langmodule", {{"name", path}, {"result", "loaded"}, {"lacks", MissingEntryPoints()}});
    return module;
}

void ForgetLangModule()
{
    g_module = LangModule();
    g_loadFailureLogged = false;
}

std::string LoadLangString(UINT id)
{
    HMODULE module = LoadLangModule();
    if (!module) return std::string();
    char buffer[kStringBufferSize];
    int length = LoadStringA(module, id, buffer, kStringBufferSize);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}

std::string LoadLangStringOr(UINT id, const char* fallback)
{
    std::string text = LoadLangString(id);
    return text.empty() ? std::string(fallback) : text;
}

bool ShowErrorBox(HWND owner, const std::string& message)
{
    std::string text = message + "\r\n\r\n" + LoadLangString(IDS_ERROR_HINT);
    std::string caption = LoadLangString(IDS_ERROR_CAPTION);
    return ShowLoggedMessageBox(owner, text, caption, MB_OK | MB_ICONERROR) == IDOK;
}

INT_PTR ShowLangDialog(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    HMODULE module = LoadLangModule();
    if (!module) return -1;
    return GuardedDialogBox(module, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
}

INT_PTR ShowLangDialogOrBuiltIn(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    HMODULE module = LoadLangModule();
    if (!module || !FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5))) {  // RT_DIALOG
        module = GetModuleHandleA(nullptr);
    }
    return GuardedDialogBox(module, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
}

HWND CreateLangDialog(UINT templateId, HWND owner)
{
    HMODULE module = LoadLangModule();
    if (!module) return nullptr;
    return CreateDialogParamA(module, MAKEINTRESOURCEA(templateId), owner, nullptr, 0);
}

bool IsSetupLoaderPresent() { return IsExistingFile(ExpandCommand("%WinDir%\\setupldr.bin")); }

bool RunShutdownChoice(HWND owner, bool setupLoader)
{
    LoadLangModule();
    // A module without all three entry points cannot shut down properly; offering a choice it
    // cannot carry out would be worse than treating the request as cancelled.
    if (!g_module.showShutdownDlg || !g_module.initShutdown || !g_module.shutdownSystem) {
        LogEvent("shutdown", {{"result", "unavailable"}, {"lacks", MissingEntryPoints()}});
        return false;
    }

    unsigned choice = g_module.showShutdownDlg(owner, setupLoader ? 1 : 0) & 0xFF;
    LogEvent("shutdown", {{"code", std::to_string(choice)}});
    if (choice == kQuitCode) {
        PostMessageA(nullptr, WM_QUIT, 0, 0);
        return true;
    }
    if (choice > kLastShutdownCode) return false;

    if (Shared().Settings.ShutdownEmulate) g_module.initShutdown();
    ShowWindow(owner, SW_HIDE);
    g_module.shutdownSystem(choice);
    return true;
}
