// Drives modal dialogs and message boxes of the test's own thread, step by step, from a thread
// timer that fires inside their message loops. Each step gets the thread's active window and
// returns true once done; a step that never succeeds ends the dialog with kDriverTimeout so a
// test fails instead of hanging.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

constexpr INT_PTR kDriverTimeout = -99;

using DriverStep = std::function<bool(HWND active)>;

class DialogDriver {
public:
    explicit DialogDriver(std::vector<DriverStep> steps);
    ~DialogDriver();
    bool Finished() const;
    // Message boxes met by the ExpectBox steps, as "caption|text|icon" (icon: error, warning, other, none).
    std::vector<std::string> boxes;

private:
    UINT_PTR timer_ = 0;
};

// Steps.
DriverStep TypeInto(int control, const std::string& text);  // sets the text; the edit sends EN_CHANGE
DriverStep Click(int control);                              // a WM_COMMAND as a button click sends
DriverStep ExpectBox(const std::string& text);              // a message box with this text: record, press OK
DriverStep Check(const std::function<void(HWND dialog)>& inspect);  // runs assertions on the dialog
DriverStep UntilIdle();  // waits while the dialog is disabled for work running beside it (RunBusy)

// The text of a message box (its static control 0xFFFF); empty when window is no message box.
std::string MessageBoxText(HWND window);
