#include "shellctl/hotkeys.h"

#include "shellctl/chords.h"
#include "shellctl/launch.h"
#include "shellctl/shared_state.h"

#include <shellapi.h>

namespace {

// Installed once and kept until the process ends; the platform removes it then.
HHOOK g_hook = nullptr;

// The keys as the hook's own events tell them, generic and left/right codes apart. The hook
// sees every key event in order, before it changes the key state, so this is the state the chord
// is pressed in. Asking GetAsyncKeyState alone is not enough: Wine answers a key it last saw up
// from a copy up to 50 ms old when the key went down in another process (a chord injected or
// typed quickly then starts nothing).
bool g_keyDown[256] = {};

void TrackKey(const KBDLLHOOKSTRUCT& event)
{
    if (event.vkCode >= 256) return;
    g_keyDown[event.vkCode] = (event.flags & LLKHF_UP) == 0;
}

bool IsTracked(unsigned vk) { return vk < 256 && g_keyDown[vk]; }

// Either side counts. A modifier already held when the hook was installed is known only to the
// platform's key state.
bool IsKeyDown(unsigned vk)
{
    unsigned left = vk == kVkControl ? VK_LCONTROL : vk == kVkMenu ? VK_LMENU : VK_LSHIFT;
    if (IsTracked(vk) || IsTracked(left) || IsTracked(left + 1)) return true;
    return (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000) != 0;
}

void StartSetting(HWND owner, const std::string& setting)
{
    // The whole expanded setting is the file; a setting with arguments is not split.
    ShellExecuteA(owner, nullptr, ExpandCommand(setting).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
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
    HotKeyChord chord = MatchChord(event.vkCode, event.flags, IsKeyDown);
    TrackKey(event);
    switch (chord) {
    case HotKeyChord::CtrlAltDel: StartCadApplication(GetDesktopWindow()); break;
    case HotKeyChord::CtrlShiftEsc: StartCseApplication(GetDesktopWindow()); break;
    case HotKeyChord::None: break;
    }
    return 0;
}

void StartCadApplication(HWND owner) { StartSetting(owner, Shared().Settings.CADApplication); }

void StartCseApplication(HWND owner) { StartSetting(owner, Shared().Settings.CSEApplication); }
