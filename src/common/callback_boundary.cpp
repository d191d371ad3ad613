#include "common/callback_boundary.h"

#include <utility>

namespace {

thread_local std::exception_ptr t_held;

// The real procedure of a guarded dialog, found through a window property: DWLP_USER is the
// procedure's own. Until the property is set (the messages before WM_INITDIALOG), the dialog
// being created on this thread is the one in t_creating.
const char kProcedureProperty[] = "TarnDialogProcedure";

struct GuardedDialog {
    DLGPROC procedure;
    LPARAM parameter;
};
thread_local GuardedDialog* t_creating = nullptr;

INT_PTR CALLBACK GuardedProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* guarded = static_cast<GuardedDialog*>(GetPropA(dialog, kProcedureProperty));
    if (!guarded && t_creating) {
        guarded = std::exchange(t_creating, nullptr);
        SetPropA(dialog, kProcedureProperty, guarded);
    }
    if (message == WM_NCDESTROY) RemovePropA(dialog, kProcedureProperty);
    if (!guarded || !guarded->procedure) return FALSE;
    if (message == WM_INITDIALOG) lParam = guarded->parameter;
    // After an error the dialog only ends: none of its code runs on a state the error broke.
    if (IsCallbackErrorHeld()) return FALSE;
    try {
        return guarded->procedure(dialog, message, wParam, lParam);
    } catch (...) {
        HoldCallbackError(std::current_exception());
        EndDialog(dialog, -1);
        return TRUE;
    }
}

template <class Show>
INT_PTR RunGuardedDialog(DLGPROC procedure, LPARAM parameter, Show show)
{
    GuardedDialog guarded{procedure, parameter};
    GuardedDialog* outer = std::exchange(t_creating, &guarded);
    INT_PTR result = show(reinterpret_cast<LPARAM>(&guarded));
    t_creating = outer;
    RethrowCallbackError();
    return result;
}

}  // namespace

void HoldCallbackError(std::exception_ptr error)
{
    if (!t_held) t_held = std::move(error);
}

bool IsCallbackErrorHeld() { return static_cast<bool>(t_held); }

void RethrowCallbackError()
{
    if (t_held) std::rethrow_exception(std::exchange(t_held, nullptr));
}

INT_PTR GuardedDialogBox(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    return RunGuardedDialog(procedure, parameter, [&](LPARAM) {
        return DialogBoxParamA(instance, templateName, owner, GuardedProcedure, 0);
    });
}

INT_PTR GuardedDialogBoxIndirect(HINSTANCE instance, LPCDLGTEMPLATEA dialogTemplate, HWND owner, DLGPROC procedure,
                                 LPARAM parameter)
{
    return RunGuardedDialog(procedure, parameter, [&](LPARAM) {
        return DialogBoxIndirectParamA(instance, dialogTemplate, owner, GuardedProcedure, 0);
    });
}
