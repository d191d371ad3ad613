#include "session/on_screen_keyboard.h"

#include "common/files.h"
#include "common/guards.h"
#include "common/run_log.h"
#include "session/pe_tools.h"

namespace {

std::string KeyboardPath() { return SystemToolPath("osk.exe"); }

}  // namespace

void AddOnScreenKeyboardButton(HWND dialog, int id, const std::string& text)
{
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!ok || GetDlgItem(dialog, id) || !IsExistingFile(KeyboardPath())) return;
    RECT place{};
    GetWindowRect(ok, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    RECT unit{7, 0, 90, 0};  // the dialog's left margin and the button's width, in dialog units
    MapDialogRect(dialog, &unit);
    const int width = unit.right < place.left - 2 * unit.left ? unit.right : place.left - 2 * unit.left;
    HWND button = CreateWindowExA(0, "BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  unit.left, place.top, width, place.bottom - place.top, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    if (button) SendMessageA(button, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), FALSE);
}

bool StartOnScreenKeyboard()
{
    std::string command = "\"" + KeyboardPath() + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    ProcessInfo process;
    const bool started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                        process.put()) != FALSE;
    LogEvent("keyboard", {{"osk", started ? "started" : "failed"},
                          {"error", started ? "0" : std::to_string(GetLastError())}});
    return started;
}
