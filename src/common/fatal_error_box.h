// The last resort for errors that nothing catches.
#pragma once

// Runs body. An exception escaping it is shown in a task-modal "Application Error" box that
// names the error and its message; then the process ends with exit code 1.
int RunGuarded(int (*body)());
