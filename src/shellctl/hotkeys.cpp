#include "shellctl/hotkeys.h"

#include "common/command_mask.h"
#include "common/errors.h"
#include "common/fatal_error_box.h"
#include "common/guards.h"
#include "common/run_log.h"
#include "password/password_store.h"
#include "shellctl/chords.h"
#include "session/launch.h"
#include "session/shared_state.h"

#include <shellapi.h>

#include <atomic>
#include <exception>
#include <memory>
#include <string>

namespace {

// Messages to the hook's thread; it has no window, and no modal loop ever runs on it to lose them.
constexpr UINT kStartMessage = WM_APP + 1;  // wParam: the chord

// Written once by the hook's thread before the hook can be called and before it lets
// InstallHotKeys go on; read there and, after that, by InstallHotKeys.
HHOOK g_hook = nullptr;
bool g_tried = false;
std::atomic<bool> g_logonAccepted{false};

// A chord's program: the setting as the settings file gives it. A press hands a copy to the
// thread that starts it.
struct ChordProgram {
    const char* chord;
    std::string setting;
};
// Copied when the hook is installed, before its thread starts; read-only afterwards.
ChordProgram g_programs[2] = {{"Ctrl+Alt+Del", {}}, {"Ctrl+Shift+Esc", {}}};

// The keys as the hook's own events tell them, generic and left/right codes apart. The hook
// sees every key event in order, before it changes the key state, so this is the state the chord
// is pressed in. The platform's key state alone is not enough: LowLevelKeyboardProc's page says
// GetAsyncKeyState cannot tell the state inside the hook, and under Wine it did not show injected
// Ctrl and Alt pressed 80 ms before Del while one of the program's own dialogs had the focus.
// Only the hook's thread touches it.
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

void StartProgram(const ChordProgram& start)
{
    // The whole expanded setting is the file; a setting with arguments is not split. The shell
    // opens a shortcut, a console or a script as the operator would by a double click.
    // SEE_MASK_NOASYNC (SHELLEXECUTEINFO): a launch the shell finishes on a thread of its own is
    // lost when the calling thread ends first, as this one does right after.
    const std::string program = ExpandCommand(start.setting);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpFile = program.c_str();
    info.nShow = SW_SHOWNORMAL;
    bool started = ShellExecuteExA(&info) != FALSE;
    DWORD error = started ? 0 : GetLastError();
    LogEvent("hotkey", {{"chord", start.chord}, {"program", MaskCommandCredentials(program)},
                        {"result", started ? "started" : "failed"},
                        {started ? "" : "error", started ? "" : SystemErrorText(error)}});
}

// One thread per press: a program that takes seconds to start (from a CD, a failing disk) holds
// up neither the hook nor the other chord's program. The shell's functions need COM in a
// single-threaded apartment on the calling thread.
DWORD WINAPI RunProgramStart(void* context)
{
    try {
        std::unique_ptr<ChordProgram> start(static_cast<ChordProgram*>(context));
        ComApartment com;
        StartProgram(*start);
    } catch (...) {
        EndWithFatalError(std::current_exception());
    }
    return 0;
}

// Nothing here may wait on a disk, the run log included: the hook's next call waits for this.
// A thread that cannot be created leaves the press without effect.
void StartOnItsOwnThread(HotKeyChord chord)
{
    auto start = std::make_unique<ChordProgram>(g_programs[chord == HotKeyChord::CtrlAltDel ? 0 : 1]);
    UniqueHandle thread(CreateThread(nullptr, 0, RunProgramStart, start.get(), 0, nullptr));
    if (thread) start.release();
}

struct HookStart {
    HANDLE ready;
    DWORD hookError = 0;  // SetWindowsHookEx's, written before ready is set
};

DWORD WINAPI RunHookThread(void* context)
{
    try {
        auto& request = *static_cast<HookStart*>(context);
        MSG message;
        // The queue exists before the hook can post to it.
        PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
        g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, HotKeyProc, GetModuleHandleA(nullptr), 0);
        if (!g_hook) request.hookError = GetLastError();
        SetEvent(request.ready);  // the request is gone from here on
        if (!g_hook) return 0;
        // The hook is called only while this thread retrieves messages.
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd) {
                DispatchMessageA(&message);
            } else if (message.message == kStartMessage) {
                StartOnItsOwnThread(static_cast<HotKeyChord>(message.wParam));
            }
        }
    } catch (...) {
        EndWithFatalError(std::current_exception());
    }
    return 0;
}

// True: hold the event back. Nothing here allocates or throws, so no error can reach the
// platform's frames (the 32-bit build cannot unwind through them); noexcept makes one that a
// later change brings in end the program at once instead.
bool Decide(const KBDLLHOOKSTRUCT& event) noexcept
{
    HotKeyChord chord = MatchChord(event.vkCode, event.flags, IsKeyDown);
    // A held key repeats its key-down; only the first one after a release is a press.
    bool repeated = IsTracked(event.vkCode);
    TrackKey(event);
    if (chord == HotKeyChord::None) return false;
    if (!g_logonAccepted.load()) {
        // Windows' own logon process starts the task manager on Ctrl+Shift+Esc, and its "Run new
        // task" is a shell past the password. Ctrl+Alt+Del is the secure attention sequence,
        // which no hook sees early enough to hold back; it only starts nothing here.
        return chord == HotKeyChord::CtrlShiftEsc;
    }
    if (!repeated) PostThreadMessageA(GetCurrentThreadId(), kStartMessage, static_cast<WPARAM>(chord), 0);
    return false;
}

// The password is read again, afresh, by the logon; a stored value that cannot be read counts
// as a password, since the logon then fails closed.
bool IsPasswordConfigured()
{
    try {
        return ReadStoredPassword().IsSet();
    } catch (const AppError&) {
        return true;
    }
}

// Without the hook no chord starts a program; before a configured password, Ctrl+Shift+Esc is
// then also no longer held back from Windows' own logon process and its task manager.
void LogInstallFailure(const char* step, DWORD error)
{
    const bool password = IsPasswordConfigured();
    LogEvent("hotkey", {{"action", "install"}, {"result", "failed"}, {"step", step}, {"error", SystemErrorText(error)},
                        {password ? "safeguard" : "", "MISSING: Ctrl+Shift+Esc is not held back before the password"}});
}

}  // namespace

void InstallHotKeys()
{
    if (g_tried) return;
    g_tried = true;
    g_programs[0].setting = Shared().Settings.CADApplication;
    g_programs[1].setting = Shared().Settings.CSEApplication;
    UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
        LogInstallFailure("CreateEvent", GetLastError());
        return;
    }
    HookStart request{ready.get()};
    UniqueHandle thread(CreateThread(nullptr, 0, RunHookThread, &request, 0, nullptr));
    if (!thread) {
        LogInstallFailure("CreateThread", GetLastError());
        return;
    }
    // It runs for a moment per key event; ahead of the busy ones, its answer is never late.
    SetThreadPriority(thread.get(), THREAD_PRIORITY_HIGHEST);
    // Until the hook is in place, or the thread gave up without it.
    HANDLE either[] = {ready.get(), thread.get()};
    WaitForMultipleObjects(2, either, FALSE, INFINITE);
    if (!g_hook) LogInstallFailure("SetWindowsHookEx", request.hookError);
}

void SetLogonAccepted() { g_logonAccepted.store(true); }

// Returns at once; before the logon it holds back Ctrl+Shift+Esc, afterwards nothing.
LRESULT CALLBACK HotKeyProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION && Decide(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam))) return 1;
    // Other programs' hooks (a layout switcher started from Run, say) see every key as well.
    return CallNextHookEx(g_hook, nCode, wParam, lParam);
}
