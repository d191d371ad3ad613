// The environment dialog's watch for drives that come or go while it is open: a volume's
// broadcast, or a change of the drive letters in use, starts a new pass once things have
// settled, so that the list shows the drives as they are.
#pragma once

#include <windows.h>

// The drive letters in use when the pass's scan began: a letter that comes or goes after that is
// a volume the pass has not seen, whether or not its broadcast reached the dialog.
struct DriveWatch {
    DWORD Letters = 0;
};

// Starts and stops the watch's timers on the dialog.
void StartDriveWatch(HWND dialog);
void StopDriveWatch(HWND dialog);

// WM_DEVICECHANGE: a volume that came or went is logged with its drives and waited on for a
// moment. False for the events the dialog leaves alone.
bool OnDeviceChange(HWND dialog, WPARAM event, LPARAM data);

// WM_TIMER: true when the dialog is to end for a new pass; another timer's message does nothing.
bool OnDriveWatchTimer(HWND dialog, UINT_PTR timer, DriveWatch& watch);
