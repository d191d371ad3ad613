#include "shellctl/hotkeys.h"

// The system hot keys arrive with their own change; until then no hook is installed.
void InstallHotKeys() {}
