// Ctrl+Alt+Del and Ctrl+Shift+Esc, caught by a low-level keyboard hook on the program's thread.
#pragma once

void InstallHotKeys();
