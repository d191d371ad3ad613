// Drives that BitLocker keeps locked: their files cannot be read, so the scan would pass them by
// without a word. They are listed instead, so the operator can unlock them.
#pragma once

// True when the drive's root lists nothing and its first sector carries BitLocker's mark, or when
// its first sector is a BitLocker To Go header whose metadata block is where it says (whatever
// the root shows: without BitLocker in the image, a To Go volume's root is its discovery volume).
// Reading the sector needs administrator rights, which Windows PE gives; without them the
// drive simply does not count as locked.
bool IsLockedVolume(char letter);
