// WaitForNetwork=: after OK, a small box waits until an adapter has a usable address (as the
// network row decides), at most the seconds set, before the shell starts. Start-up scripts in
// the shell would otherwise run while DHCP has not answered.
#pragma once

enum class NetworkWaitEnd { NotNeeded, Connected, TimedOut, Skipped };

// Returns at once for 0 seconds or when an address is there; the run log records the wait and
// its end. The box's modal loop handles messages, so the hot keys keep working.
NetworkWaitEnd WaitForNetworkAddress(unsigned seconds);

// The box itself, whatever the adapters say when it opens (for tests).
NetworkWaitEnd ShowNetworkWaitBox(unsigned seconds);
