// Drives that BitLocker keeps locked: their files cannot be read, so the scan would pass them by
// without a word. They are listed instead, so the operator can unlock them.
#pragma once

// True when the drive's root lists nothing and its first sector carries BitLocker's mark.
// Reading the sector needs administrator rights, which Windows PE gives; without them the
// drive simply does not count as locked.
bool IsLockedVolume(char letter);
