// Errors never unwind through the platform's frames. A window or dialog procedure, the folder
// browser's callback and every enumeration callback are called from inside user32 or shell32,
// whose frames the 32-bit build's DWARF-2 unwinder cannot pass on Windows: an exception crossing
// them ends the process without the last-resort box (and Windows PE restarts). So each callback
// catches at its boundary and holds the error; the code that called into the platform throws it
// again once the call returns, and RunGuarded shows it as any other.
#pragma once

#include <windows.h>

#include <exception>

// Holds the error of a callback for this thread; the first one held wins until it is rethrown.
void HoldCallbackError(std::exception_ptr error);
// True while an error is held: a callback then does nothing more, its caller is about to unwind.
bool IsCallbackErrorHeld();
// Throws the held error, if any, and forgets it.
void RethrowCallbackError();

// Runs body inside a callback; an exception is held and onError returned instead.
template <class Result, class Body>
Result AtCallbackBoundary(Result onError, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        HoldCallbackError(std::current_exception());
        return onError;
    }
}

// DialogBoxParamA and DialogBoxIndirectParamA with the procedure wrapped: an error in it ends
// the dialog, and is thrown again here once the dialog is gone.
INT_PTR GuardedDialogBox(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM parameter);
INT_PTR GuardedDialogBoxIndirect(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner, DLGPROC procedure,
                                 LPARAM parameter);
