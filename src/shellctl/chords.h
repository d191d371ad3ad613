// Which system chord a keyboard event completes. No platform calls: the modifier state is asked
// through isDown, at most four times per event.
#pragma once

enum class HotKeyChord { None, CtrlAltDel, CtrlShiftEsc };

constexpr unsigned kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12, kVkEscape = 0x1B, kVkDelete = 0x2E;

// flags: the event's flags; key-up events carry 0x80 and so never complete a chord, every other
// combination of flag bits stays below 100. Ctrl+Alt+Del is tested first.
HotKeyChord MatchChord(unsigned vkCode, unsigned flags, bool (*isDown)(unsigned vk));
