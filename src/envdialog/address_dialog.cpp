#include "envdialog/address_dialog.h"

#include "common/resource_ids.h"
#include "common/window.h"
#include "common/run_log.h"
#include "envdialog/network_address.h"
#include "envdialog/network_proxy.h"
#include "envdialog/proxy_rules.h"
#include "envdialog/network_texts.h"
#include "langmodule/langmodule.h"

#include <vector>

namespace {

constexpr int kFieldBuffer = 64;
const int kFixedFields[] = {IDC_ADDRESS_ADDRESS, IDC_ADDRESS_PREFIX, IDC_ADDRESS_GATEWAY, IDC_ADDRESS_DNS1,
                            IDC_ADDRESS_DNS2};

struct AddressDialogState {
    std::vector<NetworkAdapter> Adapters;
};

AddressDialogState* StateOf(HWND dialog)
{
    return reinterpret_cast<AddressDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}


const NetworkAdapter* SelectedAdapter(HWND dialog, const AddressDialogState& state)
{
    const auto index = SendDlgItemMessageA(dialog, IDC_ADDRESS_ADAPTER, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<size_t>(index) >= state.Adapters.size()) return nullptr;
    return &state.Adapters[static_cast<size_t>(index)];
}

void EnableFixedFields(HWND dialog)
{
    const bool fixed = IsDlgButtonChecked(dialog, IDC_ADDRESS_FIXED) == BST_CHECKED;
    for (int control : kFixedFields) EnableWindow(GetDlgItem(dialog, control), fixed);
}

void ShowAdapter(HWND dialog, const NetworkAdapter& adapter)
{
    const std::string state =
        NetworkText(IDS_ADDRESS_STATE, {adapter.Mac, NetworkText(adapter.Dhcp ? IDS_ADDRESS_DHCP : IDS_ADDRESS_FIXED),
                                        adapter.Address.empty() ? NetworkText(IDS_ADDRESS_NONE) : adapter.Address});
    SetDlgItemTextA(dialog, IDC_ADDRESS_STATE, state.c_str());
    CheckRadioButton(dialog, IDC_ADDRESS_AUTOMATIC, IDC_ADDRESS_FIXED,
                     adapter.Dhcp ? IDC_ADDRESS_AUTOMATIC : IDC_ADDRESS_FIXED);
    // A fixed adapter shows what it has, so that Apply without a change keeps it.
    const bool fixed = !adapter.Dhcp && !adapter.Address.empty();
    SetDlgItemTextA(dialog, IDC_ADDRESS_ADDRESS, fixed ? adapter.Address.c_str() : "");
    SetDlgItemTextA(dialog, IDC_ADDRESS_PREFIX, fixed ? std::to_string(adapter.PrefixLength).c_str() : "");
    SetDlgItemTextA(dialog, IDC_ADDRESS_GATEWAY, fixed ? adapter.Gateway.c_str() : "");
    SetDlgItemTextA(dialog, IDC_ADDRESS_DNS1, fixed && !adapter.Dns.empty() ? adapter.Dns[0].c_str() : "");
    SetDlgItemTextA(dialog, IDC_ADDRESS_DNS2, fixed && adapter.Dns.size() > 1 ? adapter.Dns[1].c_str() : "");
    EnableFixedFields(dialog);
}

void InitAddressDialog(HWND dialog, AddressDialogState& state)
{
    for (const NetworkAdapter& adapter : state.Adapters) {
        SendDlgItemMessageA(dialog, IDC_ADDRESS_ADAPTER, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(adapter.Name.c_str()));
    }
    for (int control : kFixedFields) SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, kFieldBuffer - 1, 0);
    SetDlgItemTextA(dialog, IDC_ADDRESS_PROXY, CurrentProxy().Server.c_str());
    SetDlgItemTextA(dialog, IDC_ADDRESS_BYPASS, CurrentProxy().Bypass.c_str());
    SendDlgItemMessageA(dialog, IDC_ADDRESS_ADAPTER, CB_SETCURSEL, 0, 0);
    ShowAdapter(dialog, state.Adapters.front());
}

// The field to correct for each refusal.
int FieldOf(AddressProblem problem)
{
    switch (problem) {
    case AddressProblem::BadPrefix: return IDC_ADDRESS_PREFIX;
    case AddressProblem::BadGateway:
    case AddressProblem::GatewayOutside:
    case AddressProblem::GatewayIsNetwork:
    case AddressProblem::GatewayIsBroadcast:
    case AddressProblem::GatewayIsAddress: return IDC_ADDRESS_GATEWAY;
    case AddressProblem::BadDns1: return IDC_ADDRESS_DNS1;
    case AddressProblem::BadDns2: return IDC_ADDRESS_DNS2;
    default: return IDC_ADDRESS_ADDRESS;
    }
}

void ShowAddressMessage(HWND dialog, const std::string& text, UINT icon)
{
    ShowLoggedMessageBox(dialog, text, NetworkText(IDS_ADDRESS_CAPTION), MB_OK | icon);
}

// True when the adapter took the settings.
bool ReportApplied(HWND dialog, const NetworkAdapter& adapter, const std::string& mode, const ApplyResult& result)
{
    LogEvent("address", {{"adapter", adapter.Name}, {"mac", adapter.Mac}, {"mode", mode},
                         {"result", result.FailedStep.empty() ? "ok" : result.FailedStep + ": " + SystemErrorText(result.Error)},
                         {"dns", result.DnsNotSupported ? "no-call" : "set"}});
    if (!result.FailedStep.empty()) {
        std::string text = NetworkText(IDS_ADDRESS_FAILED, {adapter.Name, result.FailedStep, std::to_string(result.Error),
                                                             SystemErrorText(result.Error)});
        if (result.FellBackToDhcp) text += "\r\n\r\n" + NetworkText(IDS_ADDRESS_FELL_BACK);
        ShowAddressMessage(dialog, text, MB_ICONERROR);
        return false;
    }
    if (result.DnsNotSupported) ShowAddressMessage(dialog, NetworkText(IDS_ADDRESS_NO_DNS_CALL), MB_ICONINFORMATION);
    return true;
}

struct ProxyFields {
    std::string Server, Bypass;
    bool Changed() const { return Server != CurrentProxy().Server || Bypass != CurrentProxy().Bypass; }
};

// The proxy fields, whole; false (and told) when a changed server is malformed.
bool ReadProxyFields(HWND dialog, ProxyFields& proxy)
{
    proxy = {DialogItemText(dialog, IDC_ADDRESS_PROXY), DialogItemText(dialog, IDC_ADDRESS_BYPASS)};
    if (!proxy.Changed() || proxy.Server.empty() || IsProxyServer(proxy.Server)) return true;
    ShowAddressMessage(dialog, NetworkText(IDS_PROXY_BAD), MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, IDC_ADDRESS_PROXY));
    return false;
}

void ApplyProxyFields(HWND dialog, const ProxyFields& proxy)
{
    if (proxy.Changed() && ApplyProxy(proxy.Server, proxy.Bypass) == ProxyResult::NoWinHttp) {
        ShowAddressMessage(dialog, NetworkText(IDS_PROXY_NO_WINHTTP), MB_ICONINFORMATION);
    }
}

// Whether the fields hold what the fixed adapter has now: then only the proxy may change.
bool SameAsNow(const NetworkAdapter& adapter, const StaticAddress& checked)
{
    std::vector<std::string> dns;
    for (uint32_t server : checked.Dns) {
        if (server) dns.push_back(Ipv4Text(server));
    }
    return !adapter.Dhcp && adapter.Address == Ipv4Text(checked.Address) && static_cast<int>(adapter.PrefixLength) == checked.PrefixLength &&
           adapter.Gateway == (checked.Gateway ? Ipv4Text(checked.Gateway) : std::string()) && adapter.Dns == dns;
}

// Every field is checked before anything changes: a refused address leaves the proxy as it was.
void OnApply(HWND dialog, const AddressDialogState& state)
{
    const NetworkAdapter* adapter = SelectedAdapter(dialog, state);
    ProxyFields proxy;
    if (!adapter || !ReadProxyFields(dialog, proxy)) return;
    if (IsDlgButtonChecked(dialog, IDC_ADDRESS_FIXED) != BST_CHECKED) {
        ApplyProxyFields(dialog, proxy);
        if (ReportApplied(dialog, *adapter, "dhcp", ApplyAutomaticAddress(*adapter))) EndDialog(dialog, IDOK);
        return;
    }
    const AddressInput input{DialogItemText(dialog, IDC_ADDRESS_ADDRESS), DialogItemText(dialog, IDC_ADDRESS_PREFIX),
                             DialogItemText(dialog, IDC_ADDRESS_GATEWAY), DialogItemText(dialog, IDC_ADDRESS_DNS1),
                             DialogItemText(dialog, IDC_ADDRESS_DNS2)};
    StaticAddress checked;
    const AddressProblem problem = CheckStaticAddress(input, checked);
    if (problem != AddressProblem::None) {
        ShowAddressMessage(dialog, AddressProblemText(problem, input), MB_ICONWARNING);
        HWND field = GetDlgItem(dialog, FieldOf(problem));
        SetFocus(field);
        SendMessageA(field, EM_SETSEL, 0, -1);
        return;
    }
    ApplyProxyFields(dialog, proxy);
    if (SameAsNow(*adapter, checked)) {
        EndDialog(dialog, IDOK);
        return;
    }
    const std::string mode = Ipv4Text(checked.Address) + "/" + std::to_string(checked.PrefixLength) + " gw " +
                             (checked.Gateway ? Ipv4Text(checked.Gateway) : "-");
    if (ReportApplied(dialog, *adapter, mode, ApplyFixedAddress(*adapter, checked))) EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK AddressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        InitAddressDialog(dialog, *reinterpret_cast<AddressDialogState*>(lParam));
        return TRUE;
    }
    AddressDialogState* state = StateOf(dialog);
    if (message != WM_COMMAND || !state) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_ADDRESS_ADAPTER:
        if (HIWORD(wParam) == CBN_SELCHANGE) {
            if (const NetworkAdapter* adapter = SelectedAdapter(dialog, *state)) ShowAdapter(dialog, *adapter);
        }
        return TRUE;
    case IDC_ADDRESS_AUTOMATIC:
    case IDC_ADDRESS_FIXED: EnableFixedFields(dialog); return TRUE;
    case IDOK: OnApply(dialog, *state); return TRUE;
    case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
    }
    return FALSE;
}

}  // namespace

std::string AddressProblemText(AddressProblem problem, const AddressInput& input)
{
    uint32_t address = 0;
    ParseIpv4(input.Address, address);
    const std::string subnet =
        Ipv4Text(address & PrefixMask(ParsePrefixLength(input.Prefix))) + "/" + std::to_string(ParsePrefixLength(input.Prefix));
    switch (problem) {
    case AddressProblem::None: return std::string();
    case AddressProblem::BadAddress: return NetworkText(IDS_ADDRESS_BAD_ADDRESS);
    case AddressProblem::BadPrefix: return NetworkText(IDS_ADDRESS_BAD_PREFIX);
    case AddressProblem::AddressIsNetwork: return NetworkText(IDS_ADDRESS_IS_NETWORK, {input.Address});
    case AddressProblem::AddressIsBroadcast: return NetworkText(IDS_ADDRESS_IS_BROADCAST, {input.Address});
    case AddressProblem::BadGateway: return NetworkText(IDS_GATEWAY_BAD);
    case AddressProblem::GatewayOutside: return NetworkText(IDS_GATEWAY_OUTSIDE, {input.Gateway, subnet});
    case AddressProblem::GatewayIsNetwork: return NetworkText(IDS_GATEWAY_IS_NETWORK, {input.Gateway});
    case AddressProblem::GatewayIsBroadcast: return NetworkText(IDS_GATEWAY_IS_BROADCAST, {input.Gateway});
    case AddressProblem::GatewayIsAddress: return NetworkText(IDS_GATEWAY_IS_ADDRESS, {input.Gateway});
    case AddressProblem::BadDns1: return NetworkText(IDS_DNS1_BAD);
    case AddressProblem::BadDns2: break;
    }
    return NetworkText(IDS_DNS2_BAD);
}

void RunAddressDialog(HWND owner)
{
    AddressDialogState state;
    state.Adapters = ConfigurableAdapters();
    if (state.Adapters.empty()) {
        ShowAddressMessage(owner, NetworkText(IDS_ADDRESS_NO_ADAPTER), MB_ICONINFORMATION);
        return;
    }
    ShowLangDialogOrBuiltIn(IDD_NET_ADDRESS, owner, AddressDlgProc, reinterpret_cast<LPARAM>(&state));
}
