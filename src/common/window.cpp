#include "common/window.h"

#include <commctrl.h>

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
