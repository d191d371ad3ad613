#include "envdialog/keypad.h"

#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/window.h"

namespace {

// In the order they are laid out, three to a row; the ids follow it from IDC_UNLOCK_KEYPAD_FIRST.
constexpr char kKeys[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '\b', '0', '-'};
constexpr int kColumns = 3;
constexpr int kRows = 4;
static_assert(IDC_UNLOCK_KEYPAD_LAST - IDC_UNLOCK_KEYPAD_FIRST + 1 == sizeof kKeys, "one id per key");

// 9 mm at the display's pixels per inch: a fingertip's width.
int KeySize(HWND dialog)
{
    WindowDc dc(dialog);
    const int dpi = dc ? GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
    return MulDiv(dpi > 0 ? dpi : 96, 90, 254);
}

}  // namespace

void AddKeypad(HWND dialog, int topId)
{
    const int key = KeySize(dialog);
    RECT unit{0, 0, 4, 4};
    MapDialogRect(dialog, &unit);
    const int gap = unit.right;  // 4 dialog units between keys and from the edge
    RECT client{};
    GetClientRect(dialog, &client);
    HWND top = GetDlgItem(dialog, topId);
    const int y0 = top ? ControlRect(top).top : gap;
    const int x0 = client.right;
    const int width = kColumns * key + kColumns * gap;
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    for (int i = 0; i < kColumns * kRows; ++i) {
        const char label[] = {kKeys[i] == '\b' ? '<' : kKeys[i], '\0'};
        HWND button = CreateWindowExA(0, "BUTTON", label, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                      x0 + (i % kColumns) * (key + gap), y0 + (i / kColumns) * (key + gap), key, key,
                                      dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_UNLOCK_KEYPAD_FIRST + i)),
                                      GetModuleHandleA(nullptr), nullptr);
        if (button && font) SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    RECT window{};
    GetWindowRect(dialog, &window);
    const int bottom = y0 + kRows * key + (kRows - 1) * gap + gap;
    const int grow = bottom > client.bottom ? bottom - client.bottom : 0;
    SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left + width, window.bottom - window.top + grow,
                 SWP_NOMOVE | SWP_NOZORDER);
}

bool OnKeypadCommand(HWND dialog, int control, int editId)
{
    if (control < IDC_UNLOCK_KEYPAD_FIRST || control > IDC_UNLOCK_KEYPAD_LAST) return false;
    HWND edit = GetDlgItem(dialog, editId);
    // The entry takes the key where its caret is, as from the keyboard; the focus goes back to it
    // so the next key lands there too.
    SetFocus(edit);
    SendMessageA(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(kKeys[control - IDC_UNLOCK_KEYPAD_FIRST])),
                 0);
    return true;
}
