// The last resort for errors that nothing catches.
#pragma once

#include <exception>

// Runs body. An exception escaping it is shown in a task-modal "Application Error" box that
// names the error and its message; then the process ends with exit code 1.
int RunGuarded(int (*body)());

// The same box for an error caught on a thread of the program's own, or at the boundary of a
// platform callback that has no caller of the program's to hand it to; then the process ends
// with exit code 1. Safe from any thread.
[[noreturn]] void EndWithFatalError(std::exception_ptr error);
