#include "shellctl/chords.h"

// The modifiers are asked first, on every event, as the chord table reads: Ctrl and Alt, then
// Ctrl and Shift, at most four questions per event. Asking on every event also keeps the key
// state the platform hands out fresh; Wine answers from a cached copy for a short while, and a
// copy taken only when Del arrives can miss modifiers pressed just before.
HotKeyChord MatchChord(unsigned vkCode, unsigned flags, bool (*isDown)(unsigned vk))
{
    if (isDown(kVkControl) && isDown(kVkMenu) && vkCode == kVkDelete && flags < 100) return HotKeyChord::CtrlAltDel;
    if (isDown(kVkControl) && isDown(kVkShift) && vkCode == kVkEscape && flags < 100) return HotKeyChord::CtrlShiftEsc;
    return HotKeyChord::None;
}
