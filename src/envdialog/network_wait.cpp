#include "envdialog/network_wait.h"

// First: the socket headers must come before windows.h.
#include "envdialog/adapter_addresses.h"

#include <netioapi.h>

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/network_address.h"
#include "envdialog/network_status.h"
#include "envdialog/network_texts.h"
#include "langmodule/langmodule.h"

#include <string>

namespace {

// The countdown's tick: the seconds shown change once a second, and each tick looks at the
// adapters too, for a system whose address changes are not announced.
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 1000;
// Posted by the IP Helper's notification thread when an address comes or goes.
constexpr UINT WM_ADDRESS_CHANGED = WM_APP + 1;

struct WaitState {
    DWORD start = 0;
    unsigned seconds = 0;
    HANDLE notification = nullptr;
};

using NotifyAddressProc = DWORD(WINAPI*)(ADDRESS_FAMILY, PUNICAST_IPADDRESS_CHANGE_CALLBACK, PVOID, BOOLEAN, HANDLE*);
using CancelNotifyProc = DWORD(WINAPI*)(HANDLE);

FARPROC IpHelperCall(const char* name)
{
    HMODULE module = GetModuleHandleA("iphlpapi.dll");
    return module ? GetProcAddress(module, name) : nullptr;
}

// Runs on a thread of the IP Helper's; the box looks at the adapters on its own thread.
void CALLBACK OnAddressChange(PVOID box, PMIB_UNICASTIPADDRESS_ROW, MIB_NOTIFICATION_TYPE)
{
    PostMessageA(static_cast<HWND>(box), WM_ADDRESS_CHANGED, 0, 0);
}

// Asks to be told of new addresses, so that the box ends the moment DHCP answers. Looked up:
// where the call is missing, the countdown's tick still finds the address.
void WatchAddresses(HWND box, WaitState& state)
{
    auto notify = reinterpret_cast<NotifyAddressProc>(reinterpret_cast<void*>(IpHelperCall("NotifyUnicastIpAddressChange")));
    if (notify && notify(AF_INET, OnAddressChange, box, FALSE, &state.notification) != NO_ERROR) {
        state.notification = nullptr;
    }
}

// Returns once no callback runs any more (it must not be called from the callback itself), so
// none posts to a box that is gone.
void StopWatchingAddresses(WaitState& state)
{
    if (!state.notification) return;
    auto cancel = reinterpret_cast<CancelNotifyProc>(reinterpret_cast<void*>(IpHelperCall("CancelMibChangeNotify2")));
    if (cancel) cancel(state.notification);
    state.notification = nullptr;
}

unsigned SecondsLeft(const WaitState& state)
{
    const DWORD waited = (GetTickCount() - state.start) / 1000;
    return waited >= state.seconds ? 0 : state.seconds - static_cast<unsigned>(waited);
}

// One line per adapter: its name and address, or the row's word for no address yet.
std::string AdaptersText()
{
    std::string text;
    for (const NetworkAdapter& adapter : ConfigurableAdapters()) {
        text += adapter.Name + ": " + (adapter.Address.empty() ? NetworkText(IDS_ADDRESS_NONE) : adapter.Address) + "\n";
    }
    return text.empty() ? NetworkText(IDS_WAIT_NO_ADAPTER) : text;
}

void ShowState(HWND box, const WaitState& state)
{
    SetDlgItemTextA(box, IDC_WAIT_REMAINING, NetworkText(IDS_WAIT_REMAINING, {std::to_string(SecondsLeft(state))}).c_str());
    SetDlgItemTextA(box, IDC_WAIT_ADAPTERS, AdaptersText().c_str());
}

void OnPoll(HWND box, const WaitState& state)
{
    if (CurrentNetworkStatus().state == NetworkState::Connected) {
        EndDialog(box, static_cast<INT_PTR>(NetworkWaitEnd::Connected));
    } else if (SecondsLeft(state) == 0) {
        EndDialog(box, static_cast<INT_PTR>(NetworkWaitEnd::TimedOut));
    } else {
        ShowState(box, state);
    }
}

INT_PTR CALLBACK WaitDlgProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(box, DWLP_USER, lParam);
        auto& state = *reinterpret_cast<WaitState*>(lParam);
        ShowState(box, state);
        WatchAddresses(box, state);
        SetTimer(box, kTickTimer, kTickMs, nullptr);
        return TRUE;
    }
    auto* state = reinterpret_cast<WaitState*>(GetWindowLongPtrA(box, DWLP_USER));
    if (!state) return FALSE;
    switch (message) {
    case WM_TIMER:
    case WM_ADDRESS_CHANGED: OnPoll(box, *state); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) EndDialog(box, static_cast<INT_PTR>(NetworkWaitEnd::Skipped));
        return TRUE;
    case WM_DESTROY:
        KillTimer(box, kTickTimer);
        StopWatchingAddresses(*state);
        return FALSE;
    }
    return FALSE;
}

const char* EndName(NetworkWaitEnd end)
{
    switch (end) {
    case NetworkWaitEnd::NotNeeded: return "not-needed";
    case NetworkWaitEnd::Connected: return "connected";
    case NetworkWaitEnd::TimedOut: return "timed-out";
    case NetworkWaitEnd::Skipped: break;
    }
    return "skipped";
}

}  // namespace

NetworkWaitEnd ShowNetworkWaitBox(unsigned seconds)
{
    WaitState state{GetTickCount(), seconds};
    LogEvent("wait", {{"action", "start"}, {"seconds", std::to_string(seconds)}});
    const INT_PTR result = ShowLangDialogOrBuiltIn(IDD_NET_WAIT, nullptr, WaitDlgProc, reinterpret_cast<LPARAM>(&state));
    // A box that cannot be shown (-1) waits no more than a skipped one.
    const NetworkWaitEnd end = result == static_cast<INT_PTR>(NetworkWaitEnd::Connected)  ? NetworkWaitEnd::Connected
                               : result == static_cast<INT_PTR>(NetworkWaitEnd::TimedOut) ? NetworkWaitEnd::TimedOut
                                                                                           : NetworkWaitEnd::Skipped;
    LogEvent("wait", {{"action", "end"}, {"end", EndName(end)},
                      {"waited-ms", std::to_string(GetTickCount() - state.start)},
                      {"address", CurrentNetworkStatus().address}});
    return end;
}

NetworkWaitEnd WaitForNetworkAddress(unsigned seconds)
{
    if (seconds == 0) return NetworkWaitEnd::NotNeeded;
    const NetworkStatus status = CurrentNetworkStatus();
    if (status.state == NetworkState::Connected) {
        LogEvent("wait", {{"action", "start"}, {"seconds", std::to_string(seconds)}, {"end", "not-needed"},
                          {"address", status.address}});
        return NetworkWaitEnd::NotNeeded;
    }
    return ShowNetworkWaitBox(seconds);
}
