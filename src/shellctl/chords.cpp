#include "shellctl/chords.h"

HotKeyChord MatchChord(unsigned vkCode, unsigned flags, bool (*isDown)(unsigned vk))
{
    // Most events are neither Del nor Esc: they cost two comparisons and no key-state query.
    if ((vkCode != kVkDelete && vkCode != kVkEscape) || flags >= 100) return HotKeyChord::None;
    if (vkCode == kVkDelete && isDown(kVkControl) && isDown(kVkMenu)) return HotKeyChord::CtrlAltDel;
    if (vkCode == kVkEscape && isDown(kVkControl) && isDown(kVkShift)) return HotKeyChord::CtrlShiftEsc;
    return HotKeyChord::None;
}
