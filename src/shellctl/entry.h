// Start-up order and the shell loop.
#pragma once

// One pass of the shell loop: the environment dialog, then the shell chosen in it (or the one
// in force) until it ends. Whatever a pass acquires is released before it returns, so the loop
// can run for as long as the machine does; a shutdown choice ends the program inside it.
// Tells whether the shell started, and gives its exit code when asked.
bool RunShellPass(unsigned long* exitCode = nullptr);

// The whole program: start-up, then the shell loop, which never returns. In set-password mode
// only the dialog that sets a new password runs.
[[noreturn]] void RunLogonShell(bool setPasswordMode);
