// Window geometry helpers and common-controls initialisation shared by the dialogs.
#pragma once

#include <windows.h>

#include <string>

int RectWidth(const RECT& rect);
int RectHeight(const RECT& rect);
int ClientWidth(HWND window);   // width of the client rectangle
int WindowWidth(HWND window);   // width of the screen rectangle, frame included
int WindowHeight(HWND window);  // height of the screen rectangle, frame included

// Moves the window, without resizing it, to the middle of the primary screen. A window larger
// than the screen gets a negative position.
void CentreOnScreen(HWND window);

// Whether a control of the dialog is shown, by its own WS_VISIBLE style: unlike IsWindowVisible,
// the answer does not depend on whether the dialog itself is on screen yet. The dialogs tell
// their mode or form by such a control.
bool IsControlShown(HWND dialog, int control);

// A control's top-left corner in its parent's client coordinates.
POINT ControlPosition(HWND control);
// A control's whole rectangle in its parent's client coordinates.
RECT ControlRect(HWND control);

// The text of a dialog's control, whole whatever its length.
std::string DialogItemText(HWND dialog, int control);

// Tells every top-level window of the desktop that a setting changed (WM_SETTINGCHANGE with
// area as lParam: "Environment", or null for the time zone), from a thread of its own, and
// returns at once. A broadcast gives each window the whole time-out in turn, so one sent from
// the dialog's thread could hold it for seconds per slow window; the thread logs the outcome.
// area must outlive the call: a string literal. False when the thread could not be started
// (logged, and nothing sent).
bool BroadcastSettingChange(const char* area);

// Registers the common-control classes. Falls back to InitCommonControls when
// InitCommonControlsEx is missing or fails; the result tells whether the Ex call succeeded.
bool EnsureCommonControls(DWORD classes);

constexpr LONG MakeLong(LONG low, LONG high)
{
    return static_cast<LONG>((static_cast<unsigned long>(low) & 0xFFFFu) |
                             ((static_cast<unsigned long>(high) & 0xFFFFu) << 16));
}
constexpr unsigned HiWord(unsigned long value) { return static_cast<unsigned>((value & 0xFFFFFFFFu) >> 16); }

// Pixels laid out for 96 DPI, scaled to the system DPI: the program declares itself DPI aware,
// so the dialog manager scales templates, and every pixel constant the code adds must follow.
int ScaleForDpi(int pixels);
