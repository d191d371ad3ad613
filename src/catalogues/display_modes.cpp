#include "catalogues/display_modes.h"

// Being written: until then the list stays empty and nothing is applied.
void BuildDisplayModeList() {}
int FindCurrentDisplayMode() { return -1; }
void ApplyDisplayModeAt(int) {}
