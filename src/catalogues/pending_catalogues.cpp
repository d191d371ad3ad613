// Keyboard layouts, time zones and display modes arrive with their own changes. Until then
// their lists stay empty, nothing is current and the apply buttons do nothing.
#include "catalogues/display_modes.h"
#include "catalogues/layouts.h"
#include "catalogues/timezones.h"

void BuildLayoutList() {}
int FindCurrentLayout() { return -1; }
void ApplyLayout(int) {}

void BuildTimeZoneList() {}
int FindCurrentTimeZone() { return -1; }
void ApplyTimeZone(int) {}

void BuildDisplayModeList() {}
int FindCurrentDisplayMode() { return -1; }
void ApplyDisplayModeAt(int) {}
