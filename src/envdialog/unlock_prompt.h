// The prompt for the recovery key of a drive that BitLocker keeps locked (template 2900).
#pragma once

#include <windows.h>

// Asks for the drive's recovery key and unlocks the drive with manage-bde. True once the drive
// is unlocked; false when the operator cancelled, or the image lacks the tool (the operator is
// told which optional components it needs, and no prompt opens).
bool RunUnlockPrompt(HWND owner, char letter);
