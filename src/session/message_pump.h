// Keeping the program's thread at its messages during work that takes seconds: its windows
// (the scan dialog, a dialog that started the work) go on painting and answering the platform.
#pragma once

#include <windows.h>

#include <functional>

// Handles every message waiting for this thread, input included: for work done outside any
// dialog's own loop (the scan behind the modeless scan dialog). Among them is the scan dialog's
// painting; and under Wine the
// physical key state (GetAsyncKeyState) follows a key only once some thread has taken its
// message. Cheap to call in a tight loop: it looks at the queue at most every few milliseconds.
// A quit message is put back for the message loop that owns it.
void PumpPendingMessages();

// Runs one step that cannot be split (a single platform call that may take seconds) on a helper
// thread and handles this thread's messages until the step returns: sent and posted
// messages, timers and painting, but not input, which stays queued for the dialog that owns it,
// so no command of a dialog can run inside a step that one of its commands started. An exception the
// step throws is thrown again here. The step must not touch this thread's windows by sending them
// messages and waiting for an answer other than through the platform's own calls.
void RunWhilePumping(const std::function<void()>& step);

// Takes the keys and clicks waiting for this thread out of its queue unread. They were typed
// while a step ran that held the input back (see RunWhilePumping) and were meant for a window
// that was busy then: handled afterwards they would answer whatever comes next (a message box,
// the password dialog) before the operator has read it.
void DropQueuedInput();

// A step a window's command started that may take seconds (a network connection): run as
// RunWhilePumping runs it, the window disabled and the wait cursor shown meanwhile, and the input
// typed during it dropped afterwards, so that a second press cannot start it again.
void RunBusy(HWND window, const std::function<void()>& step);
