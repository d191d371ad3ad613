#include "envdialog/wifi_dialog.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/wifi_client.h"
#include "envdialog/wifi_text.h"
#include "langmodule/langmodule.h"
#include "session/message_pump.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

constexpr int kPassphraseBuffer = 128;

struct WifiDialogState {
    WifiReadiness readiness = WifiReadiness::NoSupport;
    std::vector<WifiSighting> networks;
    bool busy = false;
};

// The passphrase prompt's record: the network's name in, the typed passphrase (UTF-8) out.
struct PassphraseRequest {
    std::wstring name;
    WifiSecurity security = WifiSecurity::Wpa2Personal;
    std::string passphrase;
};

WifiDialogState* StateOf(HWND dialog)
{
    return reinterpret_cast<WifiDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void SetStatus(HWND dialog, const std::wstring& text)
{
    SetItemTextWide(dialog, IDC_WIFI_STATUS, text);
    UpdateWindow(GetDlgItem(dialog, IDC_WIFI_STATUS));
}

std::wstring SecurityText(WifiSecurity security)
{
    switch (security) {
    case WifiSecurity::Open: return AnsiToWide(LoadLangStringOr(IDS_WIFI_OPEN, "Open"));
    case WifiSecurity::Wpa2Personal: return AnsiToWide(LoadLangStringOr(IDS_WIFI_WPA2, "WPA2-Personal"));
    case WifiSecurity::Wpa3Personal: return AnsiToWide(LoadLangStringOr(IDS_WIFI_WPA3, "WPA3-Personal"));
    case WifiSecurity::Enterprise:
        return AnsiToWide(LoadLangStringOr(IDS_WIFI_ENTERPRISE, "802.1X (not supported here)"));
    case WifiSecurity::Other: break;
    }
    return AnsiToWide(LoadLangStringOr(IDS_WIFI_OTHER, "Other (not supported here)"));
}

void InsertColumn(HWND list, int index, int width, const std::string& heading)
{
    const std::wstring text = AnsiToWide(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetCell(HWND list, int row, int column, const std::wstring& text)
{
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void FillList(HWND dialog, const std::vector<WifiSighting>& networks)
{
    HWND list = GetDlgItem(dialog, IDC_WIFI_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const std::string connectedMark = LoadLangStringOr(IDS_WIFI_CONNECTED_MARK, "%1 (connected)");
    for (size_t i = 0; i < networks.size(); ++i) {
        const WifiSighting& network = networks[i];
        std::wstring name = SsidDisplay(network.ssid);
        if (network.connected) name = WideMessage(connectedMark, {name});
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.lParam = static_cast<LPARAM>(i);
        item.pszText = const_cast<wchar_t*>(name.c_str());
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        SetCell(list, row, 1, std::to_wstring(network.signal) + L" %");
        SetCell(list, row, 2, SecurityText(network.security));
    }
    // The strongest network selected, so that Connect works at once.
    if (!networks.empty()) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    }
}

const WifiSighting* SelectedNetwork(HWND dialog, const WifiDialogState& state)
{
    const auto row = SendDlgItemMessageW(dialog, IDC_WIFI_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    return row >= 0 && static_cast<size_t>(row) < state.networks.size() ? &state.networks[row] : nullptr;
}

bool AnyConnected(const WifiDialogState& state)
{
    for (const WifiSighting& network : state.networks) {
        if (network.connected) return true;
    }
    return false;
}

void UpdateButtons(HWND dialog, const WifiDialogState& state)
{
    const bool ready = state.readiness == WifiReadiness::Ready && !state.busy;
    const WifiSighting* selected = SelectedNetwork(dialog, state);
    EnableWindow(GetDlgItem(dialog, IDC_WIFI_LIST), state.readiness == WifiReadiness::Ready);
    EnableWindow(GetDlgItem(dialog, IDC_WIFI_REFRESH), ready);
    EnableWindow(GetDlgItem(dialog, IDC_WIFI_CONNECT), ready && selected && !selected->connected && !selected->ssid.empty());
    EnableWindow(GetDlgItem(dialog, IDC_WIFI_DISCONNECT), ready && AnyConnected(state));
}

void Refresh(HWND dialog, WifiDialogState& state)
{
    state.busy = true;
    UpdateButtons(dialog, state);
    SetStatus(dialog, AnsiToWide(LoadLangStringOr(IDS_WIFI_SCANNING, "Searching for networks...")));
    state.networks = ListWifiNetworks(true);
    DropQueuedInput();
    state.busy = false;
    FillList(dialog, state.networks);
    SetStatus(dialog, WideMessage(LoadLangStringOr(IDS_WIFI_LISTED, "%1 networks found."),
                                  {std::to_wstring(state.networks.size())}));
    UpdateButtons(dialog, state);
}

// ---- the passphrase prompt ----

void TakePassphrase(HWND prompt, PassphraseRequest& request)
{
    wchar_t typed[kPassphraseBuffer] = L"";
    GetDlgItemTextW(prompt, IDC_WIFI_PASSPHRASE, typed, kPassphraseBuffer);
    WipeString(request.passphrase);
    request.passphrase = WideToUtf8(typed);
    SecureZeroMemory(typed, sizeof typed);
    // The edit control's own copy is overwritten in place before it goes.
    HWND edit = GetDlgItem(prompt, IDC_WIFI_PASSPHRASE);
    SetWindowTextA(edit, std::string(static_cast<size_t>(GetWindowTextLengthA(edit)), ' ').c_str());
    SetWindowTextA(edit, "");
}

INT_PTR CALLBACK PassphraseDlgProc(HWND prompt, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(prompt, DWLP_USER, lParam);
        auto& request = *reinterpret_cast<PassphraseRequest*>(lParam);
        SetItemTextWide(prompt, IDC_WIFI_PASSPHRASE_PROMPT,
                        WideMessage(LoadLangStringOr(IDS_WIFI_PASSPHRASE_FOR, "Passphrase for %1:"), {request.name}));
        SendDlgItemMessageA(prompt, IDC_WIFI_PASSPHRASE, EM_LIMITTEXT, kPassphraseBuffer - 1, 0);
        return TRUE;
    }
    auto* request = reinterpret_cast<PassphraseRequest*>(GetWindowLongPtrA(prompt, DWLP_USER));
    if (message != WM_COMMAND || !request) return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        TakePassphrase(prompt, *request);
        if (IsAcceptablePassphrase(request->passphrase, request->security)) {
            EndDialog(prompt, IDOK);
        } else {
            WipeString(request->passphrase);
            SetItemTextWide(prompt, IDC_WIFI_PASSPHRASE_PROMPT,
                            AnsiToWide(LoadLangStringOr(IDS_WIFI_PASSPHRASE_RULE,
                                                        "A passphrase has 8 to 63 characters. Type it again.")));
            SetFocus(GetDlgItem(prompt, IDC_WIFI_PASSPHRASE));
        }
        return TRUE;
    case IDCANCEL: EndDialog(prompt, IDCANCEL); return TRUE;
    }
    return FALSE;
}

// ---- commands ----

std::wstring OutcomeText(const WifiAttempt& attempt, const std::wstring& name)
{
    switch (attempt.outcome) {
    case WifiOutcome::Connected: return WideMessage(LoadLangStringOr(IDS_WIFI_CONNECTED, "Connected to %1."), {name});
    case WifiOutcome::WrongPassphrase:
        return WideMessage(LoadLangStringOr(IDS_WIFI_WRONG_KEY, "%1 did not accept the passphrase."), {name});
    case WifiOutcome::NetworkGone:
        return WideMessage(LoadLangStringOr(IDS_WIFI_GONE, "%1 is no longer in reach."), {name});
    case WifiOutcome::TimedOut:
        return WideMessage(LoadLangStringOr(IDS_WIFI_TIMED_OUT, "%1 did not answer in time."), {name});
    case WifiOutcome::Failed: break;
    }
    return WideMessage(LoadLangStringOr(IDS_WIFI_FAILED, "The connection to %1 failed (reason %2)."),
                       {name, std::to_wstring(attempt.reason)});
}

void OnConnect(HWND dialog, WifiDialogState& state)
{
    const WifiSighting* selected = SelectedNetwork(dialog, state);
    if (!selected || state.busy || selected->ssid.empty()) return;
    const WifiSighting network = *selected;
    const std::wstring name = SsidDisplay(network.ssid);
    if (!IsJoinable(network.security)) {
        LogEvent("wifi", {{"action", "connect"}, {"network", SsidText(network.ssid)},
                          {"security", SecurityName(network.security)}, {"result", "not-supported"}});
        SetStatus(dialog, WideMessage(LoadLangStringOr(IDS_WIFI_NOT_JOINABLE,
                                                       "%1 uses a kind of sign-in this program does not support."),
                                      {name}));
        return;
    }
    PassphraseRequest request{name, network.security, std::string()};
    if (NeedsPassphrase(network.security) &&
        ShowLangDialogOrBuiltIn(IDD_WIFI_PASSPHRASE, dialog, PassphraseDlgProc, reinterpret_cast<LPARAM>(&request)) != IDOK) {
        WipeString(request.passphrase);
        return;
    }
    state.busy = true;
    UpdateButtons(dialog, state);
    SetStatus(dialog, WideMessage(LoadLangStringOr(IDS_WIFI_CONNECTING, "Connecting to %1..."), {name}));
    const WifiAttempt attempt = ConnectWifi(network.ssid, network.security, request.passphrase);
    DropQueuedInput();
    state.busy = false;
    state.networks = ListWifiNetworks(false);
    FillList(dialog, state.networks);
    SetStatus(dialog, OutcomeText(attempt, name));
    UpdateButtons(dialog, state);
}

void OnDisconnect(HWND dialog, WifiDialogState& state)
{
    std::wstring name;
    for (const WifiSighting& network : state.networks) {
        if (network.connected) name = SsidDisplay(network.ssid);
    }
    if (state.busy || !DisconnectWifi()) return;
    state.networks = ListWifiNetworks(false);
    FillList(dialog, state.networks);
    SetStatus(dialog, WideMessage(LoadLangStringOr(IDS_WIFI_DISCONNECTED, "Disconnected from %1."), {name}));
    UpdateButtons(dialog, state);
}

void InitWifiDialog(HWND dialog, WifiDialogState& state)
{
    HWND list = GetDlgItem(dialog, IDC_WIFI_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(list, &client);
    const int signalWidth = client.right / 8;
    const int securityWidth = client.right * 3 / 8;
    InsertColumn(list, 0, client.right - signalWidth - securityWidth - GetSystemMetrics(SM_CXVSCROLL),
                 LoadLangStringOr(IDS_WIFI_COLUMN_NAME, "Network"));
    InsertColumn(list, 1, signalWidth, LoadLangStringOr(IDS_WIFI_COLUMN_SIGNAL, "Signal"));
    InsertColumn(list, 2, securityWidth, LoadLangStringOr(IDS_WIFI_COLUMN_SECURITY, "Security"));
    state.readiness = OpenWifi();
    switch (state.readiness) {
    case WifiReadiness::NoSupport:
        SetStatus(dialog, AnsiToWide(LoadLangStringOr(IDS_WIFI_NO_SUPPORT, "This Windows PE has no Wi-Fi support.")));
        break;
    case WifiReadiness::ServiceDown:
        SetStatus(dialog, AnsiToWide(LoadLangStringOr(IDS_WIFI_SERVICE_DOWN,
                                                      "The WLAN service of this Windows PE did not start.")));
        break;
    case WifiReadiness::NoAdapter:
        SetStatus(dialog, AnsiToWide(LoadLangStringOr(IDS_WIFI_NO_ADAPTER,
                                                      "No wireless adapter is working. One without a driver is listed "
                                                      "under Devices, with its hardware ID.")));
        break;
    case WifiReadiness::Ready:
        // The first scan once the dialog shows, so that it does not wait unseen.
        PostMessageA(dialog, WM_COMMAND, IDC_WIFI_REFRESH, 0);
        break;
    }
    UpdateButtons(dialog, state);
}

INT_PTR CALLBACK WifiDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        InitWifiDialog(dialog, *reinterpret_cast<WifiDialogState*>(lParam));
        return TRUE;
    }
    WifiDialogState* state = StateOf(dialog);
    if (!state) return FALSE;
    if (message == WM_NOTIFY) {
        const auto& header = *reinterpret_cast<NMHDR*>(lParam);
        if (header.idFrom == IDC_WIFI_LIST && header.code == LVN_ITEMCHANGED) UpdateButtons(dialog, *state);
        if (header.idFrom == IDC_WIFI_LIST && header.code == NM_DBLCLK) OnConnect(dialog, *state);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_WIFI_REFRESH:
        if (!state->busy && state->readiness == WifiReadiness::Ready) Refresh(dialog, *state);
        return TRUE;
    case IDC_WIFI_CONNECT: OnConnect(dialog, *state); return TRUE;
    case IDC_WIFI_DISCONNECT: OnDisconnect(dialog, *state); return TRUE;
    case IDOK:
    case IDCANCEL:
        if (!state->busy) EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void RunWifiDialog(HWND owner)
{
    WifiDialogState state;
    ShowLangDialogOrBuiltIn(IDD_WIFI, owner, WifiDlgProc, reinterpret_cast<LPARAM>(&state));
}
