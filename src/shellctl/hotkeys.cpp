#include "shellctl/hotkeys.h"

#include "common/run_log.h"
#include "shellctl/chords.h"
#include "shellctl/launch.h"
#include "shellctl/shared_state.h"

#include <shellapi.h>

namespace {

// Installed once and kept until the process ends; the platform removes it then.
HHOOK g_hook = nullptr;

// The state at this moment, not the event's: either left or right modifier counts.
bool IsKeyDown(unsigned vk) { return (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000) != 0; }

void StartSetting(HWND owner, const char* chord, const std::string& setting)
{
    // The whole expanded setting is the file; a setting with arguments is not split.
    std::string program = ExpandCommand(setting);
    HINSTANCE result = ShellExecuteA(owner, nullptr, program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    bool started = reinterpret_cast<INT_PTR>(result) > 32;
    DWORD error = GetLastError();
    LogEvent("hotkey", {{"chord", chord}, {"program", program}, {"result", started ? "started" : "failed"},
                        {started ? "" : "error", started ? "" : SystemErrorText(error)}});
}

}  // namespace

void InstallHotKeys()
{
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, HotKeyProc, GetModuleHandleA(nullptr), 0);
}

LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode != HC_ACTION) return CallNextHookEx(g_hook, nCode, wParam, lParam);
    const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    switch (MatchChord(event.vkCode, event.flags, IsKeyDown)) {
    case HotKeyChord::CtrlAltDel: StartCadApplication(GetDesktopWindow()); break;
    case HotKeyChord::CtrlShiftEsc: StartCseApplication(GetDesktopWindow()); break;
    case HotKeyChord::None: break;
    }
    return 0;
}

void StartCadApplication(HWND owner) { StartSetting(owner, "Ctrl+Alt+Del", Shared().Settings.CADApplication); }

void StartCseApplication(HWND owner) { StartSetting(owner, "Ctrl+Shift+Esc", Shared().Settings.CSEApplication); }
