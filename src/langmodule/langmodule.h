// The language module: the resource library beside the executable that supplies the dialog
// templates, the strings, the shutdown dialog and the shutdown itself. The executable holds
// none of these, so a site can ship its own translation by naming it in LangModuleName=.
#pragma once

#include <windows.h>

#include <string>

// The module's handle, loaded from the executable's folder on first use and kept until the
// process ends; null while it cannot be loaded (every later use tries again).
HMODULE LoadLangModule();

// The string with the given id, cut to 1023 characters; empty when the id or the module is missing.
std::string LoadLangString(UINT id);
// The same, but fallback when the module lacks the string: for strings added after modules that
// sites built themselves were made.
std::string LoadLangStringOr(UINT id, const char* fallback);

// An error box: the message, a blank line and the module's hint, under the module's error
// caption. True when it was confirmed with OK.
bool ShowErrorBox(HWND owner, const std::string& message);

// A modal dialog from one of the module's templates; -1 when there is no module or the
// dialog cannot be created. An error the procedure throws ends the dialog and is thrown again
// here (common/callback_boundary.h), never through the platform's frames.
INT_PTR ShowLangDialog(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter);

// The same, from the program's own resources when the module lacks the template (or there is no
// module): for templates added after modules that sites built themselves were made.
INT_PTR ShowLangDialogOrBuiltIn(UINT templateId, HWND owner, DLGPROC procedure, LPARAM parameter);

// Gives a dialog made from a module's template the controls added to that template after
// modules built for 1.5 were made, those it lacks: below its controls, in the program's English
// texts, the dialog grown to fit and centred again. For WM_INITDIALOG, before the dialog
// arranges its controls.
void AddMissingControls(HWND dialog, UINT templateId);

// A modeless dialog without a dialog procedure, from one of the module's templates; null when
// there is no module or the dialog cannot be created (logged once per template and run).
HWND CreateLangDialog(UINT templateId, HWND owner);

// True when %WinDir%\setupldr.bin exists: the machine was booted from a Windows setup medium.
// The shutdown dialog is told so.
bool IsSetupLoaderPresent();

// Hands over to the module's shutdown dialog. True when the program is to end: quit was chosen
// (a quit message is queued), or a shutdown or restart is under way (the owner is hidden first).
// False when the operator cancelled, or the module lacks one of its three entry points.
bool RunShutdownChoice(HWND owner, bool setupLoader);
