#include "envdialog/network_wait.h"

#include "common/resource_ids.h"
#include "common/run_log.h"
#include "envdialog/network_address.h"
#include "envdialog/network_status.h"
#include "envdialog/network_texts.h"
#include "langmodule/langmodule.h"

#include <windows.h>

#include <string>

namespace {

constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 500;

struct WaitState {
    DWORD start = 0;
    unsigned seconds = 0;
};

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
        ShowState(box, *reinterpret_cast<WaitState*>(lParam));
        SetTimer(box, kPollTimer, kPollMs, nullptr);
        return TRUE;
    }
    auto* state = reinterpret_cast<WaitState*>(GetWindowLongPtrA(box, DWLP_USER));
    if (!state) return FALSE;
    switch (message) {
    case WM_TIMER: OnPoll(box, *state); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) EndDialog(box, static_cast<INT_PTR>(NetworkWaitEnd::Skipped));
        return TRUE;
    case WM_DESTROY: KillTimer(box, kPollTimer); return FALSE;
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
