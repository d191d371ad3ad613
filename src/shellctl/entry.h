// Start-up order and the shell loop.
#pragma once

// One pass of the shell loop: the environment dialog, then the shell chosen in it (or the one
// in force) until it ends. Whatever a pass acquires is released before it returns, so the loop
// can run for as long as the machine does; a shutdown choice ends the program inside it.
// A shell that cannot be started is reported in an error box naming the system's error, and the
// pass returns once the operator has closed it. Tells whether the shell started (when not, the
// start's error is the thread's last error), and gives its exit code when asked.
bool RunShellPass(unsigned long* exitCode = nullptr);

// The whole program: start-up, then the shell loop, which never returns. In set-password mode
// only the dialog that sets a new password runs.
[[noreturn]] void RunLogonShell(bool setPasswordMode);
