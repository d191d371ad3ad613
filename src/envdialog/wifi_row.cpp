#include "envdialog/wifi_row.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/window.h"
#include "envdialog/network_status.h"
#include "envdialog/wifi_text.h"
#include "langmodule/langmodule.h"

namespace {

constexpr int kButtonWidthUnits = 45;
constexpr int kGapUnits = 4;

}  // namespace

void AddWifiButton(HWND dialog)
{
    // Beside the row's leftmost button: Settings where the module has it (or it was added), St&art otherwise.
    HWND neighbour = GetDlgItem(dialog, IDC_ENV_NETWORK_SETTINGS);
    if (!neighbour) neighbour = GetDlgItem(dialog, IDC_ENV_NETWORK_START);
    HWND status = GetDlgItem(dialog, IDC_ENV_NETWORK_STATUS);
    if (GetDlgItem(dialog, IDC_ENV_WIFI) || !neighbour || !status) return;
    RECT units{0, 0, kButtonWidthUnits, kGapUnits};
    MapDialogRect(dialog, &units);
    const RECT neighbourRect = ControlRect(neighbour);
    const int left = neighbourRect.left - units.bottom - units.right;
    const std::string text = LoadLangStringOr(IDS_WIFI_BUTTON, "W&i-Fi...");
    HWND button = CreateWindowExA(0, "BUTTON", text.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, left,
                                  neighbourRect.top, units.right, RectHeight(neighbourRect), dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_ENV_WIFI)), GetModuleHandleA(nullptr),
                                  nullptr);
    if (!button) return;
    SendMessageA(button, WM_SETFONT, SendMessageA(dialog, WM_GETFONT, 0, 0), FALSE);
    SetWindowPos(button, status, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);  // after the status in tab order
    const RECT statusRect = ControlRect(status);
    SetWindowPos(status, nullptr, 0, 0, std::max(0, static_cast<int>(left - units.bottom - statusRect.left)),
                 RectHeight(statusRect), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LogEvent("langmodule", {{"dialog", std::to_string(IDD_ENVIRONMENT)}, {"added", std::to_string(IDC_ENV_WIFI)}});
}

void ShowNetworkText(HWND dialog, const NetworkStatus& status)
{
    if (status.wifiName.empty()) {
        SetDlgItemTextA(dialog, IDC_ENV_NETWORK_STATUS, NetworkStatusText(status).c_str());
        return;
    }
    const std::wstring name = Utf8ToWide(status.wifiName);
    const std::wstring text =
        status.state == NetworkState::Connected
            ? WideMessage(LoadLangStringOr(IDS_WIFI_ROW_CONNECTED, "Wi-Fi %1: %2"), {name, AnsiToWide(status.address)})
            : WideMessage(LoadLangStringOr(IDS_WIFI_ROW_WAITING, "Wi-Fi %1: waiting for an address"), {name});
    SetItemTextWide(dialog, IDC_ENV_NETWORK_STATUS, text);
}
