#include "session/message_pump.h"

#include "common/guards.h"

#include <windows.h>

#include <exception>

namespace {

// Often enough that the scan dialog paints and answers at once, and long
// enough that a loop over 100,000 folders does not pay a look at the queue for each one.
constexpr DWORD kPumpIntervalMs = 20;

// Everything but input, for steps started from a dialog: keys and clicks go to the dialog once
// its own loop runs again.
constexpr UINT kAllButInput = PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE | PM_QS_PAINT;
constexpr DWORD kWakeAllButInput = QS_SENDMESSAGE | QS_POSTMESSAGE | QS_TIMER | QS_PAINT;

DWORD g_lastPump = 0;

// Dispatches the waiting messages. A quit message is taken out and noted, and the caller posts
// it again once it stops pumping: posted at once, it would come straight back to this loop.
void DispatchWaiting(UINT kinds, bool& quit, int& quitCode)
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | kinds)) {
        if (message.message == WM_QUIT) {
            quit = true;
            quitCode = static_cast<int>(message.wParam);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

struct Step {
    const std::function<void()>* work;
    std::exception_ptr error;
};

DWORD WINAPI RunStep(void* context)
{
    Step& step = *static_cast<Step*>(context);
    try {
        (*step.work)();
    } catch (...) {
        step.error = std::current_exception();
    }
    return 0;
}

}  // namespace

void PumpPendingMessages()
{
    DWORD now = GetTickCount();
    if (now - g_lastPump < kPumpIntervalMs) return;
    g_lastPump = now;
    bool quit = false;
    int quitCode = 0;
    DispatchWaiting(0, quit, quitCode);  // 0: every kind
    if (quit) PostQuitMessage(quitCode);
}

void RunWhilePumping(const std::function<void()>& work)
{
    Step step{&work, nullptr};
    UniqueHandle thread(CreateThread(nullptr, 0, RunStep, &step, 0, nullptr));
    if (!thread) {
        work();  // no thread to spare: the step runs here, as it would without a thread
        return;
    }
    HANDLE done = thread.get();
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        // Only new messages wake the wait, so input left queued does not turn it into a busy loop.
        DWORD woken = MsgWaitForMultipleObjectsEx(1, &done, INFINITE, kWakeAllButInput, 0);
        if (woken != WAIT_OBJECT_0 + 1) break;  // the step ended (or the wait failed: nothing to pump for)
        DispatchWaiting(kAllButInput, quit, quitCode);
    }
    WaitForSingleObject(done, INFINITE);
    if (quit) PostQuitMessage(quitCode);
    if (step.error) std::rethrow_exception(step.error);
}

void DropQueuedInput()
{
    MSG dropped;
    while (PeekMessageA(&dropped, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {}
    while (PeekMessageA(&dropped, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {}
}

void RunBusy(HWND window, const std::function<void()>& step)
{
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EnableWindow(window, FALSE);
    ScopeExit restore([&] {
        DropQueuedInput();
        EnableWindow(window, TRUE);
        SetCursor(previous);
    });
    RunWhilePumping(step);
}
