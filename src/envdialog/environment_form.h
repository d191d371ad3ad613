// The environment dialog's two forms: the long one, as the template (and the controls the program
// added) laid it out, and the short one without the keyboard, time-zone, display and network rows.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

// The long form as laid out when the dialog opened: the short form is computed from it, and the
// long form put back from it.
struct LongFormLayout {
    std::vector<std::pair<HWND, POINT>> Corners;  // every child with its top-left corner
    int Height = 0;                               // the dialog's window height
};

// Read once, as the dialog opens, before either form is chosen.
LongFormLayout RecordLongForm(HWND dialog);

// Hides or shows the long form's rows, moves the controls that stay, resizes and centres the
// dialog, and records the form chosen (LessLogonMode) for the next pass.
void SwitchForm(HWND dialog, const LongFormLayout& longForm, bool shortForm);

// Which form the dialog shows: the long one exactly while its keyboard label is visible.
bool IsLongForm(HWND dialog);
