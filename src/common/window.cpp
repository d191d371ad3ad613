#include "common/window.h"

#include "common/guards.h"
#include "common/run_log.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {

// A window that answers at all answers a setting change within this; SMTO_ABORTIFHUNG skips
// one the system already counts as hung without waiting.
constexpr UINT kSettingChangeTimeoutMs = 5000;

DWORD WINAPI RunSettingChangeBroadcast(void* context)
{
    const auto* area = static_cast<const char*>(context);
    const DWORD start = GetTickCount();
    DWORD_PTR answer = 0;
    const bool sent = SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(area),
                                          SMTO_ABORTIFHUNG, kSettingChangeTimeoutMs, &answer) != 0;
    LogEvent("broadcast", {{"area", area ? area : "(none)"}, {"result", sent ? "sent" : "timed-out"},
                           {"ms", std::to_string(GetTickCount() - start)}});
    return 0;
}

}  // namespace

bool BroadcastSettingChange(const char* area)
{
    UniqueHandle thread(CreateThread(nullptr, 0, RunSettingChangeBroadcast, const_cast<char*>(area), 0, nullptr));
    if (!thread) {
        LogEvent("broadcast", {{"area", area ? area : "(none)"}, {"result", "failed"},
                               {"error", SystemErrorText(GetLastError())}});
    }
    return static_cast<bool>(thread);
}

int RectWidth(const RECT& rect) { return rect.right - rect.left; }
int RectHeight(const RECT& rect) { return rect.bottom - rect.top; }

int ClientWidth(HWND window)
{
    RECT rect{};
    GetClientRect(window, &rect);
    return RectWidth(rect);
}

int WindowWidth(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return RectWidth(rect);
}

int WindowHeight(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return RectHeight(rect);
}

void CentreOnScreen(HWND window)
{
    // Integer division truncates toward zero, as the placement rule wants for oversized windows.
    int x = (GetSystemMetrics(SM_CXSCREEN) - WindowWidth(window)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - WindowHeight(window)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOOWNERZORDER);
}

bool IsControlShown(HWND dialog, int control)
{
    return (GetWindowLongPtrA(GetDlgItem(dialog, control), GWL_STYLE) & WS_VISIBLE) != 0;
}

POINT ControlPosition(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    POINT corner{rect.left, rect.top};
    ScreenToClient(GetParent(control), &corner);
    return corner;
}

RECT ControlRect(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool EnsureCommonControls(DWORD classes)
{
    using InitExProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    // Looked up by name once: very old common-controls libraries lack the Ex entry point.
    static InitExProc initEx = [] {
        HMODULE comctl = GetModuleHandleA("comctl32.dll");
        if (!comctl) comctl = LoadLibraryA("comctl32.dll");
        return comctl ? reinterpret_cast<InitExProc>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")))
                      : nullptr;
    }();

    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof init;
    init.dwICC = classes;
    if (initEx && initEx(&init)) return true;
    InitCommonControls();
    return false;
}

int ScaleForDpi(int pixels)
{
    // The system DPI is fixed for the session of a system-aware program: read once.
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return MulDiv(pixels, dpi, 96);
}

std::string DialogItemText(HWND dialog, int control)
{
    HWND item = GetDlgItem(dialog, control);
    std::string text(static_cast<size_t>(std::max(0, GetWindowTextLengthA(item))) + 1, '\0');
    text.resize(static_cast<size_t>(std::max(0, GetWindowTextA(item, text.data(), static_cast<int>(text.size())))));
    return text;
}
