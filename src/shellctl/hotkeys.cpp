#include "shellctl/hotkeys.h"

#include "common/run_log.h"
#include "shellctl/chords.h"
#include "shellctl/launch.h"
#include "shellctl/message_pump.h"
#include "shellctl/shared_state.h"

#include <shellapi.h>

namespace {

// Installed once and kept until the process ends; the platform removes it then.
HHOOK g_hook = nullptr;
// Receives the chords the hook found. A window rather than the thread: a message posted to the
// thread itself would be lost in every modal loop (dialog, message box, folder browser), which
// dispatches only what has a window to go to.
HWND g_chordWindow = nullptr;
constexpr UINT kChordMessage = WM_APP + 1;
const char kChordWindowClass[] = "TarnLogonChords";

// The state at this moment, not the event's: either left or right modifier counts.
bool IsKeyDown(unsigned vk) { return (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000) != 0; }

void StartSetting(HWND owner, const char* chord, const std::string& setting)
{
    // The whole expanded setting is the file; a setting with arguments is not split. The shell
    // may take seconds to find a program on a CD, and the hook must go on answering meanwhile.
    const std::string program = ExpandCommand(setting);
    bool started = false;
    DWORD error = 0;
    RunWhilePumping([owner, &program, &started, &error] {
        HINSTANCE result = ShellExecuteA(owner, nullptr, program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        started = reinterpret_cast<INT_PTR>(result) > 32;
        error = GetLastError();
    });
    LogEvent("hotkey", {{"chord", chord}, {"program", program}, {"result", started ? "started" : "failed"},
                        {started ? "" : "error", started ? "" : SystemErrorText(error)}});
}

LRESULT CALLBACK ChordWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kChordMessage) return DefWindowProcA(window, message, wParam, lParam);
    switch (static_cast<HotKeyChord>(wParam)) {
    case HotKeyChord::CtrlAltDel: StartCadApplication(GetDesktopWindow()); break;
    case HotKeyChord::CtrlShiftEsc: StartCseApplication(GetDesktopWindow()); break;
    case HotKeyChord::None: break;
    }
    return 0;
}

HWND CreateChordWindow()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ChordWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kChordWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly when the class is there from an earlier call
    return CreateWindowExA(0, kChordWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance,
                           nullptr);
}

}  // namespace

void InstallHotKeys()
{
    if (!g_chordWindow) g_chordWindow = CreateChordWindow();
    g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, HotKeyProc, GetModuleHandleA(nullptr), 0);
}

// Decides and returns at once: the platform waits for the hook before any window of the desktop
// gets the key, and drops a hook that is slow. Starting a program can take seconds from a CD, so
// the chord's program starts from the message loop instead.
LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        HotKeyChord chord = MatchChord(event.vkCode, event.flags, IsKeyDown);
        if (chord != HotKeyChord::None) PostMessageA(g_chordWindow, kChordMessage, static_cast<WPARAM>(chord), 0);
    }
    // Other programs' hooks (a layout switcher started from Run, say) see every key as well.
    return CallNextHookEx(g_hook, nCode, wParam, lParam);
}

void StartCadApplication(HWND owner) { StartSetting(owner, "Ctrl+Alt+Del", Shared().Settings.CADApplication); }

void StartCseApplication(HWND owner) { StartSetting(owner, "Ctrl+Shift+Esc", Shared().Settings.CSEApplication); }
