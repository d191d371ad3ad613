// One key event for SendInput as a keyboard sends it: with its scan code, and Del as the
// extended key it is. Shared by the hot-key tests and the benchmark's chord.
#pragma once

#include <windows.h>

inline INPUT KeyInput(WORD vk, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (vk == VK_DELETE ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}
